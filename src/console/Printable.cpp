#include "console/Printable.h"

#include <cstdint>

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

// What a terminal or an editor may show as nothing, or as something else, or act on: controls,
// the no-break and invisible spaces, joiners, marks of direction and the bidirectional
// embeddings, overrides and isolates, the byte-order mark, surrogates and non-characters.
bool IsInvisible(std::uint32_t code) {
  return code < 0x20 || (code >= 0x7F && code <= 0xA0) || code == 0x00AD || code == 0x061C ||
         code == 0x180E || (code >= 0x200B && code <= 0x200F) ||
         (code >= 0x2028 && code <= 0x202E) || (code >= 0x2060 && code <= 0x2069) ||
         code == 0xFEFF || (code >= 0xD800 && code <= 0xDFFF) ||
         (code >= 0xFDD0 && code <= 0xFDEF) || (code & 0xFFFE) == 0xFFFE ||
         (code >= 0xFFF9 && code <= 0xFFFB);
}

void AppendCodePoint(std::string& text, std::uint32_t code) {
  constexpr char digits[] = "0123456789ABCDEF";
  std::string hex;
  do {
    hex.insert(hex.begin(), digits[code & 15]);
    code >>= 4;
  } while (code != 0 || hex.size() < 4);
  text += "<U+" + hex + ">";
}

void AppendPrintable(std::string& text, std::uint32_t code, bool quoted) {
  if (code == '\n') {
    text += "\\n";
  } else if (code == '\r') {
    text += "\\r";
  } else if (code == '\t') {
    text += "\\t";
  } else if (quoted && (code == '\\' || code == '"')) {
    text += '\\';
    text += static_cast<char>(code);
  } else if (IsInvisible(code)) {
    AppendCodePoint(text, code);
  } else {
    AppendUtf8(text, code);
  }
}

// The code point of the UTF-8 sequence at `at`, and its length; length 0 for a byte that starts
// none (a stray continuation byte, a sequence cut short, an overlong or a surrogate's form).
std::uint32_t DecodeUtf8(std::string_view text, std::size_t at, std::size_t& length) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  length = 0;
  if (lead < 0x80) {
    length = 1;
    return lead;
  }
  const std::size_t size = lead >= 0xF0 && lead < 0xF5 ? 4
                           : lead >= 0xE0              ? 3
                           : lead >= 0xC2              ? 2
                                                       : 0;
  if (size == 0 || lead >= 0xF5 || at + size > text.size()) {
    return 0;
  }
  std::uint32_t code = lead & (0x7F >> size);
  for (std::size_t i = 1; i < size; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) {
      return 0;
    }
    code = code << 6 | (byte(at + i) & 0x3F);
  }
  const std::uint32_t least = size == 2 ? 0x80 : size == 3 ? 0x800 : 0x10000;
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    return 0;
  }
  length = size;
  return code;
}

std::string PrintableUtf8(std::string_view text, bool quoted) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 0;
    const std::uint32_t code = DecodeUtf8(text, i, length);
    if (length == 0) {
      constexpr char digits[] = "0123456789ABCDEF";
      const auto stray = static_cast<unsigned char>(text[i]);
      out += "\\x";
      out += digits[stray >> 4];
      out += digits[stray & 15];
      ++i;
      continue;
    }
    AppendPrintable(out, code, quoted);
    i += length;
  }
  return out;
}

} // namespace

std::string Printable(std::string_view text) {
  return PrintableUtf8(text, false);
}

std::string Quoted(std::string_view text) {
  return '"' + PrintableUtf8(text, true) + '"';
}

namespace {

// The code point at units[i], a surrogate pair taken whole (i then moves onto its second unit).
std::uint32_t CodeAt(std::span<const Unit> units, std::size_t& i) {
  std::uint32_t code = units[i];
  if (code >= 0xD800 && code <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
      units[i + 1] <= 0xDFFF) {
    code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
  }
  return code;
}

// Whether a terminal gives the character two columns: the East Asian wide and full-width ranges.
bool IsWide(std::uint32_t code) {
  return (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
         (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
         (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
         (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x1F300 && code <= 0x1F64F) ||
         (code >= 0x1F900 && code <= 0x1F9FF) || (code >= 0x20000 && code <= 0x3FFFD);
}

} // namespace

std::string QuotedUnits(std::span<const Unit> units) {
  std::string text = "\"";
  for (std::size_t i = 0; i < units.size(); ++i) {
    AppendPrintable(text, CodeAt(units, i), true);
  }
  return text + "\"";
}

std::string ShownUnits(std::span<const Unit> units, std::size_t caretUnit,
                       std::size_t& caretColumn) {
  std::string text;
  std::size_t column = 0;
  caretColumn = 0;
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (i <= caretUnit) {
      caretColumn = column;
    }
    const std::uint32_t code = CodeAt(units, i);
    const std::size_t before = text.size();
    AppendPrintable(text, code, false);
    // An escape is ASCII, one column a byte; a character shown as itself takes one or two.
    column += text.size() - before > 1 && text[before] != '\\' && text[before] != '<'
                  ? (IsWide(code) ? 2 : 1)
                  : text.size() - before;
  }
  if (caretUnit >= units.size()) {
    caretColumn = column;
  }
  return text;
}

std::string UnitsAsUtf8(std::span<const Unit> units) {
  std::string text;
  text.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const std::uint32_t code = CodeAt(units, i);
    AppendUtf8(text, code >= 0xD800 && code <= 0xDFFF ? 0xFFFD : code);
  }
  return text;
}
