#pragma once

#include <string>

// Encodes a text dump into a string table, with its progress on the console. Returns only after
// success; a failure, or a dump without its byte-order mark, ends the run inside it.
void EncodeText(const std::string& inputPath, const std::string& outputPath);
