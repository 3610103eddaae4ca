#pragma once

#include <string>
#include <string_view>

// The path with its extension replaced by `extension`, or with `extension` appended when it has
// none. Only a "." after the last "\", "/" or ":" starts an extension, so the output always lands
// in the input's own directory.
std::string ReplaceExtension(std::string_view path, std::string_view extension);
