#!/usr/bin/env bash
# Installs the client into a scratch root as the Debian package does and checks
# what a desktop reads there: the program answers --version, the menu entry
# names the installed icon, the entry and the AppStream metainfo pass their
# validators (the tree check finds the entry the metainfo launches), the
# development gateway stays out, and the program does not link the libraries
# it loads on first use.
# Usage: installed_tree_test.sh BUILD_DIR DESKTOP_ID VERSION
set -euo pipefail
build="$1" id="$2" version="$3"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
usr="$root/usr"
for f in bin/karv "share/applications/$id.desktop" "share/icons/hicolor/scalable/apps/$id.svg" \
         "share/metainfo/$id.metainfo.xml"; do
  [ -f "$usr/$f" ] || { echo "not installed: $f"; exit 1; }
done
[ -x "$usr/bin/karv" ] || { echo "bin/karv is not executable"; exit 1; }
got="$("$usr/bin/karv" --version)"
[ "$got" = "KARV $version" ] || { echo "karv --version said: $got"; exit 1; }
icon="$(sed -n 's/^Icon=//p' "$usr/share/applications/$id.desktop")"
[ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || { echo "no icon named $icon"; exit 1; }
if find "$root" -iname '*gateway*' | grep .; then echo "the development gateway was installed"; exit 1; fi
# libcurl and NSS are loaded when first needed: linked, they would lengthen every start.
if readelf -d "$usr/bin/karv" | grep -E 'NEEDED.*(libcurl|libnss3|libsmime3|libnspr4)'; then
  echo "karv links a library it should load on first use"
  exit 1
fi

desktop-file-validate "$usr/share/applications/$id.desktop"
appstreamcli validate-tree --no-net "$root"
echo "installed tree OK"
