#include "hexconvert/HexConvert.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

namespace {

TEST(HexDigitValue, EveryCharacter) {
  // Held against the C library's own reading of one hexadecimal digit.
  for (int c = 0; c < 256; ++c) {
    const char text[2] = {static_cast<char>(c), '\0'};
    const int expected =
        std::isxdigit(c) != 0 ? static_cast<int>(std::strtol(text, nullptr, 16)) : 255;
    EXPECT_EQ(HexDigitValue(text[0]), expected) << "character " << c;
  }
}

struct HexCase {
  const char* Text;
  std::size_t Length;
  std::int64_t Value;
};

TEST(HexStrToInt64, Table) {
  const HexCase cases[] = {
      {"00AB=", 5, 0xAB},
      {"ab", 2, 0xAB},
      {"AB", 2, 0xAB},
      {"G1", 2, 1},
      {"", 0, 0},
      {"xyz= -", 6, 0},
      {"12345", 5, 0x12345},
      {"FFFF=", 5, 0xFFFF},
      {" 1 2 3 ", 7, 0x123},
      {"\0\0"
       "7",
       3, 7}, // a NUL is a non-digit, not the end of the text
      {"FFFFFFFFFFFFFFFFF", 17, -1},
      {"0000000000000000F", 17, 0}, // the 17th character is not looked at
      {"8000000000000000", 16, INT64_MIN},
      {"zzzzzzzzzzzzzzzz1", 17, 0},
  };
  for (const HexCase& c : cases) {
    EXPECT_EQ(HexStrToInt64(std::string_view(c.Text, c.Length)), c.Value)
        << "text \"" << std::string(c.Text, c.Length) << '"';
  }
}

} // namespace
