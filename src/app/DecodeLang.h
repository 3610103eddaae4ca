#pragma once

#include "io/RecordFile.h"

#include <string>

// Decodes a string table into a text dump, with its progress on the console. The input comes opened
// by OpenExisting (a failed open is raised here, after the progress message). Returns only after
// success; a failure ends the run inside it.
void DecodeLang(RecordFile& input, const std::string& outputPath);
