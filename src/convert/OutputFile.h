// Creating a conversion's output beside its input.
#pragma once

#include "io/RecordFile.h"

#include <string>

// Creates (or empties) the output. When the output name leads to the input file itself, by its
// own name, a link or another spelling, the run stops with a message and exit status 1 before a
// byte of either file changes.
void CreateOutput(RecordFile& output, const std::string& outputPath, const RecordFile& input);
