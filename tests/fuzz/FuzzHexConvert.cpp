// Reading hex leniently: the value of the digits among the first 16 characters, checked against
// the C library's reading of just those digits.
#include "Promise.h"
#include "hexconvert/HexConvert.h"

#include <cctype>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string digits;
  for (std::size_t i = 0; i < text.size() && i < 16; ++i) {
    if (std::isxdigit(static_cast<unsigned char>(text[i])) != 0) {
      digits += text[i];
    }
  }
  const std::uint64_t expected = digits.empty() ? 0 : std::strtoull(digits.c_str(), nullptr, 16);
  Promise(static_cast<std::uint64_t>(HexStrToInt64(text)) == expected);
  return 0;
}
