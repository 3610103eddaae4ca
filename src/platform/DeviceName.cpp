#include "platform/DeviceName.h"

#include <algorithm>
#include <array>
#include <string>

bool IsDeviceName(std::string_view path) {
  const std::size_t separator = path.find_last_of("\\/:");
  std::string_view name = separator == std::string_view::npos ? path : path.substr(separator + 1);
  // The system reads only what comes before the first dot, without trailing spaces.
  name = name.substr(0, name.find('.'));
  while (!name.empty() && name.back() == ' ') {
    name.remove_suffix(1);
  }
  std::string upper(name);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  });
  constexpr std::array<std::string_view, 6> plain = {"CON", "PRN",    "AUX",
                                                     "NUL", "CONIN$", "CONOUT$"};
  if (std::find(plain.begin(), plain.end(), upper) != plain.end()) {
    return true;
  }
  if (!upper.starts_with("COM") && !upper.starts_with("LPT")) {
    return false;
  }
  const std::string_view number = std::string_view(upper).substr(3);
  // A digit, or the superscripts one, two and three in UTF-8.
  return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
         number == "\xC2\xB2" || number == "\xC2\xB3";
}
