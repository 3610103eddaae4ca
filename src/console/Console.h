// Console output: 8-bit text on the standard output, CR LF line ends, every write checked. Nothing
// is held back, so a progress message shows at once and stands before any failure report.
#pragma once

#include <string_view>

void ConsoleWrite(std::string_view text);

void ConsoleWriteLine(std::string_view text);

// Writes the whole text to the standard error stream, checked like every console write.
void ConsoleWriteError(std::string_view text);

// Whether a write to the standard output has failed: a front end that goes on after a failure in
// one file must not go on after this one.
bool ConsoleOutputFailed();
