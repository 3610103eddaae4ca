#include "hexconvert/HexConvert.h"

#include <gtest/gtest.h>

namespace {

TEST(HexDigitValue, EveryCharacter) {
  for (int c = 0; c < 256; ++c) {
    const auto ch = static_cast<char>(c);
    int expected = 255;
    if (c >= '0' && c <= '9') {
      expected = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      expected = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      expected = c - 'A' + 10;
    }
    EXPECT_EQ(HexDigitValue(ch), expected) << "character " << c;
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
