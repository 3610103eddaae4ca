// The encoder's core: text dump units in (after the byte-order mark), string table units out.
#pragma once

#include "convert/DecodeUnits.h"
#include "convert/FindUnit.h"
#include "convert/Formats.h"
#include "hexconvert/HexConvert.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace detail {

// The digit value of every ASCII unit, NotAHexDigit for the others.
struct AsciiHexDigits {
  std::array<std::uint8_t, 128> Values{};
  constexpr AsciiHexDigits() {
    for (std::size_t c = 0; c < Values.size(); ++c) {
      Values[c] = HexDigitValue(static_cast<char>(c));
    }
  }
};
inline constexpr AsciiHexDigits AsciiDigits;

} // namespace detail

// The digit value of one unit of an id field, or NotAHexDigit; the encoder and the checker both
// read id fields with it.
inline unsigned IdFieldDigit(Unit unit) {
  return unit < 0x80 ? detail::AsciiDigits.Values[unit] : NotAHexDigit;
}

// The id of a line from its fixed 5-unit field: only hexadecimal digits count, and a unit outside
// ASCII is never one, whatever the system's character set, so a dump means the same everywhere.
inline Unit IdFieldValue(const Unit* field) {
  // Nearly every field is four digits and "=": read those without the general loop, with one
  // test for all four units being ASCII instead of one each.
  if ((field[0] | field[1] | field[2] | field[3]) < 0x80 && field[4] == IdFieldEnd) {
    const auto& values = detail::AsciiDigits.Values;
    const unsigned d0 = values[field[0]];
    const unsigned d1 = values[field[1]];
    const unsigned d2 = values[field[2]];
    const unsigned d3 = values[field[3]];
    if ((d0 | d1 | d2 | d3) < 16) {
      return static_cast<Unit>(d0 << 12 | d1 << 8 | d2 << 4 | d3);
    }
  }
  char text[IdFieldUnits];
  for (std::size_t i = 0; i < IdFieldUnits; ++i) {
    text[i] = field[i] < 0x80 ? static_cast<char>(field[i]) : '?';
  }
  return static_cast<Unit>(HexStrToInt64(std::string_view(text, IdFieldUnits)) & 0xFFFF);
}

struct EncodeResult {
  std::uint64_t Lines = 0; // lines read, an FFFF line included
  // The input ended inside an id field: the earlier entries are written, the end marker is not.
  bool IdFieldCutShort = false;
};

namespace detail {

// Encodes the whole lines at the start of [next, last) straight into the sink's buffer, finding
// each line's end in a mask of the LFs among 64 units at a time (as DecodeBlocks does for
// terminators). Stops after an FFFF id field (setting `ended`), or at the first line whose LF lies
// past the last full 64 units; returns where it stopped.
template <UnitMasker Mask, class Sink>
const Unit* EncodeBlocks(const Unit* next, const Unit* last, Sink& sink, std::uint64_t& lines,
                         bool& ended) {
  // A line gives fewer units than it has (its 5-unit id field becomes one), so room for a block's
  // input covers every line that ends in it.
  constexpr std::ptrdiff_t Block = 8192;
  constexpr std::ptrdiff_t Slack = 16;
  constexpr auto Field = static_cast<std::ptrdiff_t>(IdFieldUnits);
  if (last - next < Field + 66) {
    return next;
  }
  Unit* start = sink.Reserve(static_cast<std::size_t>(Block + Slack));
  Unit* out = start;
  const Unit* limit = next + Block;
  MaskedScan<Mask> lineEnds(next + Field, last, LineEnd);
  std::uint64_t encoded = 0;
  while (last - next >= Field + 1) {
    const Unit* const text = next + Field;
    const Unit* const stop = lineEnds.Next(text);
    if (stop == nullptr) {
      break; // the rest goes the general way
    }
    const Unit id = IdFieldValue(next);
    ++encoded;
    if (id == EndMarkerId) {
      ended = true;
      next = text;
      break;
    }
    if (stop >= limit) [[unlikely]] {
      sink.Commit(static_cast<std::size_t>(out - start));
      const std::ptrdiff_t units = std::max(Block, stop + 1 - next);
      start = sink.Reserve(static_cast<std::size_t>(units + Slack));
      out = start;
      limit = next + units;
    }
    const auto length = static_cast<std::size_t>(stop - text);
    out[0] = id;
    CopyShortText(out + 1, text, length, last - text >= 16);
    out[1 + length] = TextTerminator;
    out += length + 2;
    next = stop + 1;
  }
  sink.Commit(static_cast<std::size_t>(out - start));
  lines += encoded;
  return next;
}

template <UnitFinder Find, UnitMasker Mask, class Source, class Sink>
EncodeResult EncodeUnitsWith(Source& source, Sink& sink) {
  std::uint64_t lines = 0;
  bool inText = false;
  std::array<Unit, IdFieldUnits> field{};
  std::size_t fieldUnits = 0;
  for (;;) {
    const std::span<const Unit> chunk = source.Peek();
    if (chunk.empty()) {
      break;
    }
    const Unit* next = chunk.data();
    const Unit* const last = next + chunk.size();
    while (next != last) {
      if (!inText) {
        if constexpr (ReservingSink<Sink>) {
          if (fieldUnits == 0) {
            bool ended = false;
            const Unit* const from = next;
            next = EncodeBlocks<Mask>(next, last, sink, lines, ended);
            if (ended) {
              source.Advance(static_cast<std::size_t>(next - chunk.data()));
              sink.PutUnit(EndMarkerId);
              return {lines, false};
            }
            if (next != from) {
              continue;
            }
          }
        }
        Unit id = 0;
        if (fieldUnits == 0 && static_cast<std::size_t>(last - next) >= IdFieldUnits) {
          id = IdFieldValue(next);
          next += IdFieldUnits;
        } else {
          // The field straddles two chunks.
          while (fieldUnits < IdFieldUnits && next != last) {
            field[fieldUnits++] = *next++;
          }
          if (fieldUnits < IdFieldUnits) {
            break;
          }
          fieldUnits = 0;
          id = IdFieldValue(field.data());
        }
        ++lines;
        if (id == EndMarkerId) {
          source.Advance(static_cast<std::size_t>(next - chunk.data()));
          sink.PutUnit(EndMarkerId);
          return {lines, false};
        }
        sink.PutUnit(id);
        inText = true;
        continue;
      }
      const Unit* const stop = Find(next, last, LineEnd);
      sink.Put(next, static_cast<std::size_t>(stop - next));
      if (stop == last) {
        break;
      }
      sink.PutUnit(TextTerminator);
      next = stop + 1;
      inText = false;
    }
    source.Advance(chunk.size());
  }
  if (fieldUnits != 0) {
    return {lines, true};
  }
  sink.PutUnit(EndMarkerId);
  return {lines, false};
}

} // namespace detail

// Converts lines until an FFFF id or the end of the input, then writes the end marker. Text after
// the last LF that is too short for an id field is not converted: the result says so.
template <class Source, class Sink> EncodeResult EncodeUnits(Source& source, Sink& sink) {
  return WideScanAvailable() ? detail::EncodeUnitsWith<FindUnitWide, UnitMaskWide>(source, sink)
                             : detail::EncodeUnitsWith<FindUnit, UnitMask>(source, sink);
}
