#!/usr/bin/env bash
# Builds the page with Debian's emscripten and tests it in headless Chromium, offline: in a network
# namespace of its own with only the loopback device, driven over the DevTools protocol on a pipe.
# Needs the native build (build/dev) to compare with, and axe-core from the npm registry, which only
# the test uses. Leaves build/web/vorlanth.html, its zip, and a screenshot after a check.
set -euo pipefail
cd "$(dirname "$0")/.."

export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
cmake --workflow --preset web
npm install --silent --no-save --no-audit --no-fund --prefix build/web/npm axe-core@4 >/dev/null
axe=$PWD/build/web/npm/node_modules/axe-core/axe.min.js
unshare --net sh -c "ip link set lo up && python3 tests/web/PageTest.py build/web/vorlanth.html build/dev build/web/test '$axe'"
cp build/web/test/page-after-check.png build/web/page-after-check.png
