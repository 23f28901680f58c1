#!/usr/bin/env bash
# Start-up benchmark: the time from exec to a usable login window (the
# development gateway has answered the version check and the client logs
# "login window ready") and the resident memory at that moment, next to a bare
# Qt Widgets window built the same way (same compiler, flags and build type).
# Target: the client starts within 1.5 times the bare window. Two more
# yardsticks show where the difference lies: the bare window linked like the
# client (the shared libraries loaded before main), and the client's login
# window alone (its layout and font, no gateway). Medians over ROUNDS launches
# of each, interleaved, after one warm-up launch each; QT_QPA_PLATFORM is
# offscreen unless set. The load average comes first: other work on the
# machine lengthens every figure.
# Usage: startup.sh BUILD_DIR [ROUNDS]
#
# It runs in a private network namespace (needs root): the gateway listens on
# the client's built-in port there, out of the way of anyone else's gateway.
set -euo pipefail
build="$(cd "$1" && pwd)"
rounds="${2:-9}"
if [ -z "${KARV_BENCH_NETNS:-}" ]; then
  exec unshare --net env KARV_BENCH_NETNS=1 "$0" "$build" "$rounds"
fi
ip link set lo up

scratch="$(mktemp -d)"
gateway=""
cleanup() {
  [ -n "$gateway" ] && kill "$gateway" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
port=$(sed -n 's/^KARV_DEV_GATEWAY_PORT:STRING=//p' "$build/CMakeCache.txt")
"$build/gateway/karv-gateway" --port "$port" >/dev/null &
gateway=$!
for _ in $(seq 100); do
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
  sleep 0.1
done

export HOME="$scratch" XDG_CONFIG_HOME="$scratch/.config" XDG_DATA_HOME="$scratch/.local/share"
export XDG_RUNTIME_DIR="$scratch" QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
unset DBUS_SESSION_BUS_ADDRESS

micros() { local t="$1"; echo $((10#${t/./})); }

# One launch of PROGRAM...: prints "<microseconds to MARKER> <RSS kB then>
# <CPU microseconds of all its threads then>". The CPU time depends less on
# what else the machine runs than the time does.
launch() {
  local marker="$1" line found="" fd pid start end rss cpu
  shift
  start=$EPOCHREALTIME
  exec {fd}< <(exec "$@" 2>&1 >/dev/null)
  pid=$!
  while IFS= read -r -u "$fd" line; do
    if [[ $line == *"$marker"* ]]; then found=1; break; fi
  done
  end=$EPOCHREALTIME
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
  cpu=$(cat /proc/"$pid"/task/*/schedstat 2>/dev/null | awk '{ns += $1} END {print int(ns / 1000)}')
  kill "$pid" 2>/dev/null || true
  exec {fd}<&-
  wait "$pid" 2>/dev/null || true
  if [ -z "$found" ]; then
    echo "startup: $1 never said \"$marker\"" >&2
    return 1
  fi
  echo "$(($(micros "$end") - $(micros "$start"))) $rss $cpu"
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# label | marker | program and arguments
runs=(
  "bare Qt Widgets window|window ready|$build/bench/bare_window"
  "bare window, client's libraries|window ready|$build/bench/bare_window_linked"
  "login window alone, no gateway|window ready|$build/bench/login_form_window"
  "karv login window|login window ready|$build/app/karv --verbose"
)
declare -A times rss cpus
for run in "${runs[@]}"; do  # warm-up
  IFS='|' read -r _ marker cmd <<<"$run"
  launch "$marker" $cmd >/dev/null
done
for _ in $(seq "$rounds"); do
  for run in "${runs[@]}"; do
    IFS='|' read -r label marker cmd <<<"$run"
    read -r t r c < <(launch "$marker" $cmd)
    times[$label]+="$t " rss[$label]+="$r " cpus[$label]+="$c "
  done
done

printf 'start-up, exec to usable window (median of %d, QT_QPA_PLATFORM=%s, load average %s)\n' \
  "$rounds" "$QT_QPA_PLATFORM" "$(cut -d' ' -f1-3 /proc/loadavg)"
declare -A ms
for run in "${runs[@]}"; do
  IFS='|' read -r label _ _ <<<"$run"
  t=$(printf '%s\n' ${times[$label]} | median)
  r=$(printf '%s\n' ${rss[$label]} | median)
  c=$(printf '%s\n' ${cpus[$label]} | median)
  ms[$label]=$t
  awk -v l="$label" -v t="$t" -v r="$r" -v c="$c" \
    'BEGIN { printf "  %-33s %6.1f ms  (CPU %5.1f ms)  RSS %6.1f MB\n", l, t / 1000, c / 1000, r / 1024 }'
done
client=${ms["karv login window"]}
awk -v c="$client" -v b="${ms["bare Qt Widgets window"]}" -v l="${ms["bare window, client's libraries"]}" \
  -v f="${ms["login window alone, no gateway"]}" 'BEGIN {
  printf "  karv / bare window                 %5.2f (target at most 1.50: %s)\n", c / b, c / b <= 1.5 ? "met" : "MISSED"
  printf "  karv / bare window, its libraries  %5.2f\n", c / l
  printf "  karv / login window alone          %5.2f\n", c / f
  exit c / b <= 1.5 ? 0 : 1
}'
