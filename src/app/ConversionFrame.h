// The start and the end of a conversion's work with its two files, the same in both directions.
#pragma once

#include "io/RecordFile.h"

#include <cstdint>
#include <string>

// Creates (or empties) the output. When the output name leads to the input file itself, by its
// own name, a link or another spelling, the run stops with a message and exit status 1 before a
// byte of either file changes.
void CreateOutput(RecordFile& output, const std::string& outputPath, const RecordFile& input);

// Writes out the output, prints the count line, closes both files and prints "Done".
void FinishConversion(RecordFile& input, RecordFile& output, std::uint64_t count);
