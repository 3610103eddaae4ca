#!/usr/bin/env bash
# Builds vorlanth_lang.exe and runs the black-box suite against it under Wine, in a brand-new
# prefix every time.
#
# The prefix is booted first with an ordinary Wine server, and `wineserver -w` waits until that
# server has exited: `wineboot --init` returns while services and drivers of the new prefix are
# still starting, and a case run during that start-up is not a test of the program. Only then is a
# persistent server started for the suite, before ctest and with its output elsewhere: started by
# the first case inside ctest it would hold ctest's pipes open, and every case would pay its cold
# start.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset win64
cmake --build --preset win64

export WINEPREFIX="$PWD/build/win64/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wine wineboot --init >/dev/null 2>&1 </dev/null
wineserver -w
wineserver -p >/dev/null 2>&1 </dev/null
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
ctest --preset win64
