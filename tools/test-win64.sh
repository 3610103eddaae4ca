#!/usr/bin/env bash
# Builds vorlanth_lang.exe and runs the black-box suite against it under Wine. The Wine server is
# started here, before ctest and with its output elsewhere: started by the first case inside ctest
# it would hold ctest's pipes open, and every case would pay its cold start.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset win64
cmake --build --preset win64

export WINEPREFIX="$PWD/build/win64/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 </dev/null
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine wineboot --init >/dev/null 2>&1 </dev/null
ctest --preset win64
