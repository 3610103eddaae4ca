#!/usr/bin/env bash
# Builds vorlanth_lang.exe and runs the black-box suite against it under Wine, in a brand-new
# prefix every time.
#
# One persistent Wine server serves the whole suite, started here before anything else and with
# its output elsewhere: a server started by a case inherits that case's pipes. The prefix is booted
# under it, so that its services start with their output elsewhere too, and the suite waits until
# the prefix has stopped starting processes (wineboot returns while services and drivers are still
# coming up). At the end the script checks that the same server is still there: a suite during
# which the server was replaced is reported, not passed.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset win64
cmake --build --preset win64

export WINEPREFIX="$PWD/build/win64/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"

# Wine's processes in this prefix, as "PID EXECUTABLE COMMAND" lines: those whose executable is one
# of Wine's own (its server, or the loader that runs a Windows program), not the tools reading them.
prefix_processes() {
  local environ pid exe
  { grep -lzxF "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null || true; } | while read -r environ; do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || continue
    case "${exe##*/}" in
      wine*) echo "$pid ${exe##*/} $(tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | cut -c1-80)" ;;
    esac
  done
}
server_pid() { prefix_processes | awk '$2 ~ /^wineserver/ { print $1; exit }'; }

wineserver -p >/dev/null 2>&1 </dev/null
server=$(server_pid)
[ -n "$server" ] || { echo "the persistent Wine server did not start" >&2; exit 1; }
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# Booting a new prefix now and then fails inside Wine; it is tried again before the run is failed.
booted=0
for _ in 1 2 3; do
  if wine wineboot --init >/dev/null 2>&1 </dev/null; then booted=1; break; fi
  sleep 2
done
[ "$booted" = 1 ] || { echo "the new Wine prefix did not boot" >&2; exit 1; }

# Settled: the same processes for three checks in a row, a second apart (at most two minutes).
previous="" same=0
for _ in $(seq 120); do
  now=$(prefix_processes | sort)
  if [ "$now" = "$previous" ]; then same=$((same + 1)); else same=0; fi
  [ "$same" -ge 3 ] && break
  previous=$now
  sleep 1
done
[ "$same" -ge 3 ] || { echo "the new Wine prefix did not settle in two minutes" >&2; exit 1; }

status=0
ctest --preset win64 || status=$?
if [ "$(server_pid)" != "$server" ]; then
  echo "the Wine server was replaced during the suite: its results are not a test of the program" >&2
  status=1
fi
exit "$status"
