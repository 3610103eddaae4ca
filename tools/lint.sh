#!/usr/bin/env bash
# The analysers over the program's sources, with no finding allowed: clang-tidy (checks in
# .clang-tidy), cppcheck, and clang-format over everything we wrote. Needs the dev build's
# compile_commands.json (cmake --preset dev).
set -euo pipefail
cd "$(dirname "$0")/.."

sources=$(git ls-files 'src/*.cpp' | grep -v '^src/platform/PlatformWin32.cpp$')
echo "clang-tidy: $(echo "$sources" | wc -l) files"
# shellcheck disable=SC2086
if ! clang-tidy -p build/dev --quiet $sources >build/dev/clang-tidy.log 2>&1; then
  grep -E '(warning|error|note):' -A3 build/dev/clang-tidy.log
  echo "clang-tidy found problems"
  exit 1
fi

echo "cppcheck"
cppcheck --enable=warning,style,performance,portability --std=c++20 --inline-suppr --quiet \
  --error-exitcode=1 -I src src

echo "clang-format"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
echo "lint: no findings"
