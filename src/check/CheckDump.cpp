#include "check/CheckDump.h"

namespace {

// Whether bytes read as text: no NUL, and valid UTF-8 (a sequence cut by the end may stand).
bool LooksLikeUtf8(const std::string& bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead == 0) {
      return false;
    }
    const std::size_t length = lead < 0x80         ? 1
                               : (lead >> 5) == 6  ? 2
                               : (lead >> 4) == 14 ? 3
                               : (lead >> 3) == 30 ? 4
                                                   : 0;
    if (length == 0) {
      return false;
    }
    for (std::size_t k = 1; k < length && i + k < bytes.size(); ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) >> 6) != 2) {
        return false;
      }
    }
    i += length;
  }
  return true;
}

} // namespace

CheckKind detail::NameMissingByteOrderMark(std::span<const Unit> first) {
  std::string bytes;
  for (std::size_t i = 0; i < first.size() && bytes.size() < 4096; ++i) {
    bytes += static_cast<char>(first[i] & 0xFF);
    bytes += static_cast<char>(first[i] >> 8);
  }
  if (bytes.starts_with("\xFE\xFF")) {
    return CheckKind::Utf16BigEndian;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    return CheckKind::Utf8WithMark;
  }
  return LooksLikeUtf8(bytes) ? CheckKind::Utf8Text : CheckKind::NoByteOrderMark;
}
