// The two file formats. A string table is a run of entries, each an id unit, its text units and a
// 0x0000 terminator, closed by the id 0xFFFF. A text dump is the byte-order mark, then one line per
// entry: the id as four upper-case hex digits and "=", the text, and an LF.
#pragma once

#include "io/Unit.h"

#include <cstddef>

inline constexpr Unit TextBom = 0xFEFF;
inline constexpr Unit EndMarkerId = 0xFFFF;
inline constexpr Unit TextTerminator = 0x0000;
inline constexpr Unit LineEnd = 0x000A;
inline constexpr Unit IdFieldEnd = 0x003D; // "="
inline constexpr std::size_t IdFieldUnits = 5;
