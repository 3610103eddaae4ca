#!/usr/bin/env bash
# Builds both Linux packages and checks them: the .deb with Debian's own checker (no error and no
# warning allowed), and the contents of both against the programs and manual pages the project
# installs; the .tar.gz's programs must be static.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --workflow --preset tarball >/dev/null
cmake --workflow --preset deb >/dev/null
version=$(sed -n 's/^project(vorlanth_lang VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=build/deb/vorlanth-lang_${version}_amd64.deb
tarball=build/release/vorlanth_lang-${version}-linux-x86_64.tar.gz

echo "lintian $deb"
lintian --fail-on error,warning "$deb"

# What every package must hold: each program and its manual page.
programs=$(sed -n 's/^  install(TARGETS \(.*\) RUNTIME DESTINATION \${CMAKE_INSTALL_BINDIR})$/\1/p' CMakeLists.txt)
[ -n "$programs" ] || { echo "no programs found in CMakeLists.txt" >&2; exit 1; }
status=0
expect() { # package listing, path
  if ! grep -qxF "$2" <<<"$1"; then
    echo "$3 lacks $2" >&2
    status=1
  fi
}
deb_files=$(dpkg-deb --fsys-tarfile "$deb" | tar t | sed 's|^\./||')
tar_files=$(tar tzf "$tarball")
for program in $programs; do
  expect "$deb_files" "usr/bin/$program" "$deb"
  expect "$deb_files" "usr/share/man/man1/$program.1.gz" "$deb"
  expect "$tar_files" "bin/$program" "$tarball"
  expect "$tar_files" "share/man/man1/$program.1.gz" "$tarball"
  if ! file "build/release/$program" | grep -q 'statically linked'; then
    echo "$tarball: $program is not static" >&2
    status=1
  fi
done
for paper in copyright changelog.gz; do
  expect "$deb_files" "usr/share/doc/vorlanth-lang/$paper" "$deb"
done
# The page, once the web preset has built it, is in every package, the Windows zip included.
if [ -f build/web/vorlanth.html ]; then
  expect "$deb_files" "usr/share/vorlanth-lang/vorlanth.html" "$deb"
  expect "$tar_files" "share/vorlanth-lang/vorlanth.html" "$tarball"
  zip=build/win64/win64-program/vorlanth_lang-${version}-win64.zip
  if [ -f "$zip" ]; then
    expect "$(unzip -Z1 "$zip")" "vorlanth.html" "$zip"
  fi
fi
[ "$status" = 0 ] && echo "packages: $(echo $programs | wc -w) programs with their manual pages in both"
exit "$status"
