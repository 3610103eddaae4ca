#pragma once

#include <string>

// Decodes a string table into a text dump, with its progress on the console. Returns only after
// success; a failure ends the run inside it.
void DecodeLang(const std::string& inputPath, const std::string& outputPath);
