#pragma once

#include "io/RecordFile.h"

#include <string>

// Encodes a text dump into a string table, with its progress on the console. The input comes opened
// by OpenExisting (a failed open is raised here, after the progress message). Returns only after
// success; a failure, or a dump without its byte-order mark, ends the run inside it.
void EncodeText(RecordFile& input, const std::string& outputPath);
