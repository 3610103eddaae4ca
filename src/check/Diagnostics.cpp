#include "check/Diagnostics.h"

#include "convert/DecodeUnits.h"

namespace {

void AppendUtf8(std::string& text, std::uint32_t code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | code >> 6);
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    text += static_cast<char>(0xE0 | code >> 12);
    text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | code >> 18);
    text += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsNonCharacter(std::uint32_t code) {
  return (code >= 0xFDD0 && code <= 0xFDEF) || (code & 0xFFFE) == 0xFFFE;
}

void AppendEscape(std::string& text, std::uint32_t code) {
  constexpr char digits[] = "0123456789ABCDEF";
  std::string hex;
  do {
    hex.insert(hex.begin(), digits[code & 15]);
    code >>= 4;
  } while (code != 0);
  text += "\\u{" + hex + "}";
}

} // namespace

std::string QuoteUnits(std::span<const Unit> units) {
  std::string text = "\"";
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t code = units[i];
    const bool high = code >= 0xD800 && code <= 0xDBFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    if (code == '\n') {
      text += "\\n";
    } else if (code == '\r') {
      text += "\\r";
    } else if (code == '\t') {
      text += "\\t";
    } else if (code == '"' || code == '\\') {
      text += '\\';
      text += static_cast<char>(code);
    } else if (code < 0x20 || (code >= 0x7F && code < 0xA0) || (code >= 0xD800 && code <= 0xDFFF) ||
               IsNonCharacter(code)) {
      AppendEscape(text, code);
    } else {
      AppendUtf8(text, code);
    }
  }
  return text + "\"";
}

std::string IdText(Unit id) {
  const auto field = IdField(id);
  return {field.begin(), field.end() - 1}; // the digits without the "="
}
