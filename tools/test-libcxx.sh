#!/usr/bin/env bash
# Builds the programs with clang and libc++, the standard library the web build compiles against,
# and runs the black-box suite against them, so that the code stays portable between standard
# libraries and no output depends on one library's choices (a hash table's order, say).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --workflow --preset libcxx
programs=$PWD/build/libcxx
cmake -S . -B build/libcxx-tests -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVORLANTH_TEST_COMMAND="$programs/vorlanth_lang" \
  -DVORLANTH_CHECK_TEST_COMMAND="$programs/vorlanth_check" \
  -DVORLANTH_PO_TEST_COMMAND="$programs/vorlanth_po"
cmake --build build/libcxx-tests --target blackbox_tests
ctest --test-dir build/libcxx-tests -R '^blackbox\.' -j2 --output-on-failure
