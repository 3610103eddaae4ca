#!/usr/bin/env bash
# The analysers over the program's sources, with no finding allowed: clang-tidy (checks in
# .clang-tidy) over both platform seams, cppcheck, clang-format over everything we wrote, and the
# layering rules. Needs the dev build's compile_commands.json (cmake --preset dev) and, for the
# Win32 seam, Debian's mingw-w64 headers, and for the page's, Debian's emscripten.
set -euo pipefail
cd "$(dirname "$0")/.."

sources=$(git ls-files 'src/*.cpp' | grep -v -e '^src/platform/PlatformWin32.cpp$' -e '^src/web/')
echo "clang-tidy: $(echo "$sources" | wc -l) files"
# A few files a run, one run a core: clang-tidy takes a file at a time.
if ! echo "$sources" | xargs -P "$(nproc)" -n 3 clang-tidy -p build/dev --quiet \
    >build/dev/clang-tidy.log 2>&1; then
  grep -E '(warning|error|note):' -A3 build/dev/clang-tidy.log
  echo "clang-tidy found problems"
  exit 1
fi

# The Win32 seam, parsed by clang as a Windows target against the cross compiler's own headers.
echo "clang-tidy: src/platform/PlatformWin32.cpp (x86_64-w64-mingw32)"
mingw_includes=$(x86_64-w64-mingw32-g++ -xc++ -E -v /dev/null 2>&1 |
  sed -n '/#include <...> search starts here:/,/End of search list./p' |
  grep -vE 'search starts|End of search|/include$|include-fixed' | sed 's/^ */-isystem /')
# shellcheck disable=SC2086
if ! clang-tidy --quiet src/platform/PlatformWin32.cpp -- --target=x86_64-w64-mingw32 -std=c++20 \
    -nostdinc++ $mingw_includes -Isrc -DUNICODE -D_UNICODE >build/dev/clang-tidy-win32.log 2>&1; then
  grep -E '(warning|error|note):' -A3 build/dev/clang-tidy-win32.log
  echo "clang-tidy found problems in the Win32 seam"
  exit 1
fi

# The page's entry points, parsed as a WebAssembly target against Emscripten's own headers. (clang-tidy
# 14 takes a constexpr member of a class template for a dynamic initializer on that target.)
echo "clang-tidy: src/web (wasm32-unknown-emscripten)"
# shellcheck disable=SC2046
if ! NODE_PATH=${NODE_PATH:-/usr/share/nodejs} clang-tidy --quiet \
    --checks=-bugprone-dynamic-static-initializers $(git ls-files 'src/web/*.cpp') -- \
    $(NODE_PATH=${NODE_PATH:-/usr/share/nodejs} em++ --cflags) -std=c++20 -Isrc -fexceptions \
    -msimd128 -msse2 >build/dev/clang-tidy-web.log 2>&1; then
  grep -E '(warning|error|note):' -A3 build/dev/clang-tidy-web.log
  echo "clang-tidy found problems in the page's entry points"
  exit 1
fi

echo "cppcheck"
cppcheck --enable=warning,style,performance,portability --std=c++20 --inline-suppr --quiet \
  --error-exitcode=1 -I src src

echo "clang-format"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

# Includes point down the layers only: platform <- io, hexconvert <- console <- convert <- the
# front ends (app, check), which never include one another. System headers of one platform stay
# in src/platform.
echo "layers"
rank() { case "$1" in platform) echo 0 ;; io | hexconvert) echo 1 ;; console) echo 2 ;; convert) echo 3 ;; *) echo 9 ;; esac; }
problems=""
for file in $(git ls-files 'src/*.cpp' 'src/*.h'); do
  from=$(echo "$file" | cut -d/ -f2)
  for to in $(grep -h -o -E '^#include "[^/"]+/' "$file" | sed -E 's/#include "//; s/\/$//' | sort -u); do
    if [ "$to" != "$from" ] && [ "$(rank "$to")" -ge "$(rank "$from")" ]; then
      problems+="$file includes $to/, which is not below $from/"$'\n'
    fi
  done
  if [ "$from" != platform ] && grep -n -E '^#\s*if(n?def)?\b.*(_WIN32|_WIN64|__linux__|__unix__|__APPLE__|_MSC_VER|__MINGW)|^#include <(windows\.h|unistd\.h|fcntl\.h|sys/[a-z_]+\.h|io\.h)>' "$file" >/dev/null; then
    problems+="$file holds platform code, which belongs in src/platform/"$'\n'
  fi
done
if [ -n "$problems" ]; then
  printf '%s' "$problems"
  exit 1
fi
echo "lint: no findings"
