// The element of both file formats: one UTF-16 unit, stored little-endian (low byte first).
#pragma once

#include <cstdint>

using Unit = std::uint16_t;

// The two halves of a character beyond U+FFFF.
constexpr bool IsHighSurrogate(Unit unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool IsLowSurrogate(Unit unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}
