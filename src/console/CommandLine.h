// The program's arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits one command-line string: arguments are separated by runs of the characters 0x01 to 0x20;
// a double quote opens a stretch, running to the next double quote or the end of the line, inside
// which those characters belong to the argument. Quotes never become part of an argument, and an
// argument left empty (such as a lone pair of quotes) is dropped.
std::vector<std::string> SplitCommandLine(std::string_view line);

// The arguments after the program's own name, without empty ones, from whatever form the platform
// hands the command line over in.
std::vector<std::string> ProgramArguments(int argc, const char* const* argv);

// Whether a file name ends in `ending` (given in lower case), in any case: ".lang" matches
// "MENU.LANG".
bool HasExtension(std::string_view name, std::string_view ending);
