// Paths beyond Windows' classic limit of 260 characters. Pure, so that it is tested on every build.
#pragma once

#include <string>
#include <string_view>

// The longest path Windows takes in its classic form, terminator excluded; a folder to be created
// must leave room for an 8.3 file name, so paths are extended from this length on.
inline constexpr std::size_t ClassicPathLimit = 247;

// A full path (as GetFullPathNameW returns it: absolute, ".." resolved) in the extended form that
// lifts the limit, when it is longer than the classic one: "\\?\C:\dir" for a drive, and
// "\\?\UNC\server\share\dir" for a share. Forward slashes become backslashes, which the
// extended form requires. Short paths, paths already extended and device paths ("\\.\pipe")
// come back unchanged.
std::wstring ExtendedPath(std::wstring_view fullPath);
