// Text from a file or a name, made safe to print: nothing in it can end the line, forge another,
// reorder what the terminal shows or drive the terminal. Line breaks and tabs become the usual
// escapes; control characters, bidirectional controls, invisible and non-characters, lone
// surrogates and bytes that are not UTF-8 become <U+XXXX> (or \xNN for a stray byte). Quoted text
// also escapes its quotes and backslashes, so that it reads back exactly.
#pragma once

#include "io/Unit.h"

#include <span>
#include <string>
#include <string_view>

// UTF-8 text (a file name, a PO key or string), printable as it stands in a message.
std::string Printable(std::string_view text);

// The same in double quotes, with a quote inside escaped.
std::string Quoted(std::string_view text);

// UTF-16 units (a table's or a dump's text), quoted, as UTF-8.
std::string QuotedUnits(std::span<const Unit> units);

// UTF-16 units (a line of a dump) as they read on a terminal, escaped as QuotedUnits escapes them
// but without quotes; `caretUnit` (an index into `units`, or units.size()) is turned into the
// terminal column (from 0) where its character is shown, wide characters taking two.
std::string ShownUnits(std::span<const Unit> units, std::size_t caretUnit,
                       std::size_t& caretColumn);

// UTF-16 units as UTF-8, a lone surrogate as U+FFFD: for comparing texts, not for writing them.
std::string UnitsAsUtf8(std::span<const Unit> units);
