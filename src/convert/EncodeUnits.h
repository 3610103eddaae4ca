// The encoder's core: text dump units in (after the byte-order mark), string table units out.
#pragma once

#include "convert/DecodeUnits.h"
#include "convert/FindUnit.h"
#include "convert/Formats.h"
#include "hexconvert/HexConvert.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

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

// Whether a field is four hexadecimal digits and "=", as nearly every one is, and its id if so.
// The four units are read together as the lanes of one 64-bit word. A lane's 16 bits leave room
// for the tests to be sums: bit 15 of (unit + 0x8000 - low) is set exactly when unit >= low, for
// any ASCII unit.
inline bool ReadWellFormedIdField(const Unit* field, Unit& id) {
  static_assert(std::endian::native == std::endian::little);
  constexpr std::uint64_t Lanes = 0x0001'0001'0001'0001;
  constexpr std::uint64_t Top = 0x8000 * Lanes;
  const auto atLeast = [](std::uint64_t units, std::uint64_t low) {
    return units + (0x8000 - low) * Lanes;
  };
  std::uint64_t units = 0;
  std::memcpy(&units, field, sizeof units);
  if ((units & (0xFF80 * Lanes)) != 0 || field[4] != IdFieldEnd) {
    return false;
  }
  const std::uint64_t digit = atLeast(units, '0') & ~atLeast(units, '9' + 1);
  const std::uint64_t upper = units & (0xFFDF * Lanes); // a-f as A-F
  const std::uint64_t letter = atLeast(upper, 'A') & ~atLeast(upper, 'F' + 1);
  if (((digit | letter) & Top) != Top) {
    return false;
  }
  // '0'-'9' and 'A'-'F' or 'a'-'f' end in 0-9 and 1-6: the letters' values are 9 more.
  const std::uint64_t values = (units & (0x000F * Lanes)) + ((letter & Top) >> 15) * 9;
  // One multiplication moves the first lane's digit to bits 60-63, the second's to 56-59, and so
  // on, with nothing else reaching bits 48 and up.
  id = static_cast<Unit>((values * 0x1000'0100'0010'0001) >> 48);
  return true;
}

// The id of a line from its fixed 5-unit field: only hexadecimal digits count, and a unit outside
// ASCII is never one, whatever the system's character set, so a dump means the same everywhere.
inline Unit IdFieldValue(const Unit* field) {
  if (Unit id = 0; ReadWellFormedIdField(field, id)) {
    return id;
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

// A sink that is told of each line that the block path encodes, its id and the length of its
// text, instead of taking its units: the checker follows the encoder's reading with it.
template <class Sink>
concept TracingSink = requires(Sink& sink, Unit id, std::size_t length) {
  sink.Line(id, length);
};

namespace detail {

// Encodes the whole lines at the start of [next, last) straight into the sink's buffer, finding
// each line's end in a mask of the LFs among 64 units at a time (as DecodeBlocks does for
// terminators). Stops after an FFFF id field (setting `ended`), or at the first line whose LF lies
// past the scan's last window; returns where it stopped.
template <UnitMasker Mask, class Sink>
const Unit* EncodeBlocks(const Unit* next, const Unit* last, Sink& sink, std::uint64_t& lines,
                         bool& ended) {
  constexpr auto Field = static_cast<std::ptrdiff_t>(IdFieldUnits);
  using Scan = MaskedScan<Mask, 1 + IdFieldUnits>; // an LF, and the next line's id field
  // A line gives fewer units than it has (its 5-unit id field becomes one), so room for a block's
  // input covers every line that ends in it.
  constexpr std::ptrdiff_t Block = 8192;
  constexpr std::ptrdiff_t Slack = Scan::ReadAhead;
  if (!Scan::Fits(next + Field, last)) {
    return next;
  }
  // A tracing sink is told of each line and takes no units.
  constexpr bool Writes = !TracingSink<Sink>;
  Unit* start = nullptr;
  if constexpr (Writes) {
    start = sink.Reserve(static_cast<std::size_t>(Block + Slack));
  }
  Unit* out = start;
  const Unit* limit = next + Block;
  Scan lineEnds(next + Field, last, LineEnd);
  std::uint64_t encoded = 0;
  for (;;) {
    const Unit* const text = next + Field;
    // The field lies before the text, which lies in or before the last window: it is readable.
    const Unit id = IdFieldValue(next);
    if (id == EndMarkerId) {
      ++encoded;
      ended = true;
      next = text;
      break;
    }
    if (lineEnds.Empty() && !lineEnds.Refill(text)) {
      break; // the rest goes the general way
    }
    const Unit* const stop = lineEnds.Take();
    const auto length = static_cast<std::size_t>(stop - text);
    if constexpr (Writes) {
      if (stop >= limit) [[unlikely]] {
        sink.Commit(static_cast<std::size_t>(out - start));
        const std::ptrdiff_t units = std::max(Block, stop + 1 - next);
        start = sink.Reserve(static_cast<std::size_t>(units + Slack));
        out = start;
        limit = next + units;
      }
      out[0] = id;
      CopyInSteps(out + 1, text, length);
      out[1 + length] = TextTerminator;
      out += length + 2;
    } else {
      sink.Line(id, length);
    }
    ++encoded;
    next = stop + 1;
  }
  if constexpr (Writes) {
    sink.Commit(static_cast<std::size_t>(out - start));
  }
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
        if constexpr (ReservingSink<Sink> || TracingSink<Sink>) {
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
