#!/usr/bin/env bash
# Installs, removes, reinstalls and purges the Debian package with dpkg in a
# scratch root, its maintainer scripts run as dpkg runs them (outside a chroot,
# DPKG_ROOT naming the root): the reminder's timer is enabled for every user
# after each install, masked while removed, and purge leaves nothing of KARV
# behind. The package is made by cpack from this build.
# Usage: package_lifecycle_test.sh BUILD_DIR   (root: dpkg sets owners)
set -euo pipefail
build="$1"
[ "$(id -u)" -eq 0 ] || { echo "skipped: dpkg needs root"; exit 77; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

log="$work/log"
# Quiet unless it fails: then everything cpack and dpkg said.
quiet() { "$@" >>"$log" 2>&1 || { cat "$log"; echo "failed: $*"; exit 1; }; }
quiet cpack --config "$build/CPackConfig.cmake" -B "$work/deb"
deb=("$work"/deb/karv_*.deb)
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The libraries the package depends on live outside the scratch root.
pkg() { quiet dpkg --root="$root" --force-script-chrootless --force-depends --log=/dev/null "$@"; }

wants="$root/etc/systemd/user/timers.target.wants/karv-expiry-check.timer"
mask="$root/etc/systemd/user/karv-expiry-check.timer"
fail() { echo "$*"; exit 1; }
enabled() {
  [ "$(readlink "$wants")" = /usr/lib/systemd/user/karv-expiry-check.timer ] || fail "$1: the timer is not enabled"
  [ ! -e "$mask" ] && [ ! -L "$mask" ] || fail "$1: the timer is masked"
}

pkg --install "${deb[0]}"
enabled "install"
autostart="$root/etc/xdg/autostart/karv-expiry-check.desktop"
grep -qx 'TryExec=/usr/bin/karv' "$autostart" || fail "autostart entry: $(cat "$autostart")"
grep -qx 'Exec=/usr/bin/karv --check-expiry' "$autostart" || fail "autostart entry: $(cat "$autostart")"
grep -qx 'ExecStart=/usr/bin/karv --check-expiry' "$root/usr/lib/systemd/user/karv-expiry-check.service" ||
  fail "the service does not start /usr/bin/karv"
[ -x "$root/usr/bin/karv" ] || fail "no /usr/bin/karv"

pkg --remove karv
[ "$(readlink "$mask")" = /dev/null ] || fail "remove: the timer is not masked"
pkg --install "${deb[0]}"
enabled "reinstall"

pkg --purge karv
left="$(find "$root" \( -iname '*karv*' -o -lname /dev/null \) -print)"
[ -z "$left" ] || fail "purge left: $left"
state="$(find "$root/var/lib/systemd" -type f 2>/dev/null)"
[ -z "$state" ] || fail "purge left state: $state"
echo "package lifecycle OK"
