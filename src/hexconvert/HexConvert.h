// Reading hexadecimal text leniently: characters that are not hexadecimal digits are skipped, so
// the "=" after a dump line's id, stray spaces and other marks do not count.
#pragma once

#include <cstdint>
#include <string_view>

inline constexpr std::uint8_t NotAHexDigit = 255;

constexpr std::uint8_t HexDigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return static_cast<std::uint8_t>(c - '0');
  }
  if (c >= 'a' && c <= 'f') {
    return static_cast<std::uint8_t>(c - 'a' + 10);
  }
  if (c >= 'A' && c <= 'F') {
    return static_cast<std::uint8_t>(c - 'A' + 10);
  }
  return NotAHexDigit;
}

// The value of the hexadecimal digits among the first 16 characters, most significant first. At
// most 16 digits fit, so no overflow is possible; a top bit set comes back negative.
constexpr std::int64_t HexStrToInt64(std::string_view text) {
  std::uint64_t value = 0;
  for (const char c : text.substr(0, 16)) {
    const std::uint8_t digit = HexDigitValue(c);
    if (digit != NotAHexDigit) {
      value = (value << 4) | digit;
    }
  }
  return static_cast<std::int64_t>(value);
}
