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
#include <span>
#include <type_traits>

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

namespace detail {

// The value of every pair of ASCII units as two hexadecimal digits, the first unit in bits 0-6 of
// the index and the second in bits 7-13; NotADigitPair when either is no digit.
inline constexpr std::uint16_t NotADigitPair = 0x100;
struct AsciiHexPairs {
  std::array<std::uint16_t, std::size_t{128} * 128> Values{};
  constexpr AsciiHexPairs() {
    for (std::size_t index = 0; index < Values.size(); ++index) {
      const unsigned first = AsciiDigits.Values[index & 0x7F];
      const unsigned second = AsciiDigits.Values[index >> 7];
      Values[index] =
          (first | second) < 16 ? static_cast<std::uint16_t>(first << 4 | second) : NotADigitPair;
    }
  }
};
inline constexpr AsciiHexPairs HexPairValues;

} // namespace detail

// Whether a field is four hexadecimal digits and "=", as nearly every one is, and its id if so.
// The four units are read as one 64-bit word; once all are ASCII, each pair of them is one index
// into a table of digit pairs.
inline bool ReadWellFormedIdField(const Unit* field, Unit& id) {
  static_assert(std::endian::native == std::endian::little);
  std::uint64_t units = 0;
  std::memcpy(&units, field, sizeof units);
  if ((units & 0xFF80'FF80'FF80'FF80) != 0 || field[4] != IdFieldEnd) {
    return false;
  }
  // Two units in the low 32 bits of a word: the first in bits 0-6, the second in 16-22.
  const auto index = [](std::uint64_t pair) { return (pair | pair >> 9) & 0x3FFF; };
  const unsigned high = detail::HexPairValues.Values[index(units & 0xFFFF'FFFF)];
  const unsigned low = detail::HexPairValues.Values[index(units >> 32)];
  if (((high | low) & detail::NotADigitPair) != 0) {
    return false;
  }
  id = static_cast<Unit>(high << 8 | low);
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

// A sink that is told of each line that the block path encodes (its id, the length of its text,
// and whether its id field is four digits and "=") instead of taking its units: the checker
// follows the encoder's reading with it.
template <class Sink>
concept TracingSink = requires(Sink& sink, Unit id, std::size_t length, bool wellFormed) {
  sink.Line(id, length, wellFormed);
};

namespace detail {

// Encodes the whole lines at the start of [next, last) straight into the sink's buffer, finding
// each line's end in a mask of the LFs among 64 units at a time (as DecodeBlocks does for
// terminators). Stops after an FFFF id field (setting `ended`), or at the first line whose LF lies
// past the scan's last window; returns where it stopped.
template <bool Wide, class Sink>
[[gnu::always_inline]] inline const Unit*
EncodeBlocks(const Unit* next, const Unit* last, Sink& sink, std::uint64_t& lines, bool& ended) {
  constexpr auto Field = static_cast<std::ptrdiff_t>(IdFieldUnits);
  constexpr unsigned Skip = 1 + IdFieldUnits; // an LF, and the next line's id field
  using Scan = std::conditional_t<Wide, MaskedScan<UnitMaskWide, Skip>, MaskedScan<UnitMask, Skip>>;
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
  const std::ptrdiff_t firstBlock =
      std::min(Block, last - next); // no more than a short chunk holds
  if constexpr (Writes) {
    start = sink.Reserve(static_cast<std::size_t>(firstBlock + Slack));
  }
  Unit* out = start;
  const Unit* limit = next + firstBlock; // windows end by it
  Scan lineEnds(next + Field, last, LineEnd);
  // Each line but an FFFF one takes 4 units more than it gives: where lines are written, their
  // count comes from the totals, not a counter.
  const Unit* const first = next;
  std::uint64_t written = 0;
  std::uint64_t encoded = 0; // lines before an FFFF one
  for (;;) {
    const Unit* const text = next + Field;
    // The field lies before the text, which lies in or before the last window: it is readable.
    Unit id = 0;
    const bool wellFormed = ReadWellFormedIdField(next, id);
    if (!wellFormed) [[unlikely]] {
      id = IdFieldValue(next);
    }
    if (id == EndMarkerId) {
      ended = true;
      next = text;
      break;
    }
    if (lineEnds.Empty()) {
      if (!lineEnds.Refill(text)) {
        break; // the rest goes the general way
      }
      if constexpr (Writes) {
        if (lineEnds.WindowEnd() > limit) [[unlikely]] {
          sink.Commit(static_cast<std::size_t>(out - start));
          written += static_cast<std::uint64_t>(out - start);
          const std::ptrdiff_t units = std::max(Block, lineEnds.WindowEnd() - next);
          start = sink.Reserve(static_cast<std::size_t>(units + Slack));
          out = start;
          limit = next + units;
        }
      }
    }
    const Unit* const stop = lineEnds.Take();
    const auto length = static_cast<std::size_t>(stop - text);
    if constexpr (Writes) {
      out[0] = id;
      CopyInSteps<Wide>(out + 1, text, length);
      PutPair(out + 1 + length, TextTerminator); // the second unit is written over next
      out += length + 2;
    } else {
      sink.Line(id, length, wellFormed);
      ++encoded;
    }
    next = stop + 1;
  }
  if constexpr (Writes) {
    sink.Commit(static_cast<std::size_t>(out - start));
    written += static_cast<std::uint64_t>(out - start);
    // An FFFF line takes its id field and gives nothing.
    const auto taken = static_cast<std::uint64_t>(next - first) - (ended ? IdFieldUnits : 0);
    encoded = (taken - written) / 4;
  }
  lines += encoded + (ended ? 1 : 0);
  return next;
}

// The block path built twice, as the decoder's is.
template <class Sink>
[[gnu::flatten]] const Unit* EncodeBlocksNarrow(const Unit* next, const Unit* last, Sink& sink,
                                                std::uint64_t& lines, bool& ended) {
  return EncodeBlocks<false>(next, last, sink, lines, ended);
}
template <class Sink>
[[gnu::flatten]] VORLANTH_WIDE const Unit* EncodeBlocksWide(const Unit* next, const Unit* last,
                                                            Sink& sink, std::uint64_t& lines,
                                                            bool& ended) {
  return EncodeBlocks<true>(next, last, sink, lines, ended);
}

template <bool Wide, class Source, class Sink>
EncodeResult EncodeUnitsWith(Source& source, Sink& sink) {
  constexpr UnitFinder Find = Wide ? FindUnitWide : FindUnit;
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
            next = Wide ? EncodeBlocksWide(next, last, sink, lines, ended)
                        : EncodeBlocksNarrow(next, last, sink, lines, ended);
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
  return WideScanAvailable() ? detail::EncodeUnitsWith<true>(source, sink)
                             : detail::EncodeUnitsWith<false>(source, sink);
}
