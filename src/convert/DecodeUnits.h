// The decoder's core: string table units in, text dump units out (without the byte-order mark).
#pragma once

#include "convert/FindUnit.h"
#include "convert/Formats.h"

#include <algorithm>
#include <array>
#include <bit>
#include <concepts>
#include <cstdint>
#include <cstring>

namespace detail {

// The id field of every possible id byte pair, as units: looked up, not formatted, per line.
struct HexPairTable {
  std::array<std::array<Unit, 2>, 256> Pairs{};
  constexpr HexPairTable() {
    constexpr char digits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < 256; ++i) {
      Pairs[i] = {static_cast<Unit>(digits[i >> 4]), static_cast<Unit>(digits[i & 15])};
    }
  }
};
inline constexpr HexPairTable HexPairs;

} // namespace detail

// The 5 units "XXXX=" for an id.
inline std::array<Unit, IdFieldUnits> IdField(Unit id) {
  const auto& high = detail::HexPairs.Pairs[id >> 8];
  const auto& low = detail::HexPairs.Pairs[id & 0xFF];
  return {high[0], high[1], low[0], low[1], IdFieldEnd};
}

// A sink that lends its buffer: Reserve(n) gives room for n units, Commit(count) keeps the first
// count of them. The conversions write whole blocks of short entries straight into it.
template <class Sink>
concept ReservingSink = requires(Sink& sink, std::size_t count) {
  { sink.Reserve(count) } -> std::same_as<Unit*>;
  sink.Commit(count);
};

namespace detail {

// The id field's digits for each id byte as units in one 64-bit word: the high byte's in the
// first two units, the low byte's (already shifted) in the last two, so a field is one OR.
struct IdFieldWords {
  std::array<std::uint64_t, 256> High{};
  std::array<std::uint64_t, 256> Low{};
  constexpr IdFieldWords() {
    for (std::size_t i = 0; i < 256; ++i) {
      const auto& pair = HexPairs.Pairs[i];
      High[i] = static_cast<std::uint64_t>(pair[0]) | static_cast<std::uint64_t>(pair[1]) << 16;
      Low[i] = High[i] << 32;
    }
  }
};
inline constexpr IdFieldWords IdWords;

// The id field "XXXX" of an id as four little-endian units in one word.
inline std::uint64_t IdDigits(Unit id) {
  return IdWords.High[id >> 8] | IdWords.Low[id & 0xFF];
}

// Decodes the whole entries at the start of [next, last) straight into the sink's buffer: where
// each text ends comes from a mask of the terminators among 64 units at a time, so that a short
// entry costs little more than its units. Stops at the end marker (setting `ended`), or at the
// first entry whose terminator lies past the scan's last window, which the caller then reads the
// general way; returns where it stopped.
template <UnitMasker Mask, class Sink>
const Unit* DecodeBlocks(const Unit* next, const Unit* last, Sink& sink, std::uint64_t& entries,
                         bool& ended) {
  using Scan = MaskedScan<Mask, 2>; // a terminator, and the next entry's id
  // An entry of n input units gives at most 3n output units (an id alone gives six), so room for
  // three times a block's input covers every entry that ends in it; the room is checked once per
  // block, not per entry.
  constexpr std::ptrdiff_t Block = 8192;
  constexpr std::ptrdiff_t Slack = Scan::ReadAhead; // for the texts' fixed-width moves
  if (!Scan::Fits(next + 1, last)) {
    return next;
  }
  const auto reserve = [&sink](std::ptrdiff_t units) {
    return sink.Reserve(static_cast<std::size_t>(3 * units + Slack));
  };
  Unit* start = reserve(Block);
  Unit* out = start;
  const Unit* limit = next + Block; // entries that end before it have room
  Scan terminators(next + 1, last, TextTerminator);
  std::uint64_t decoded = 0;
  for (;;) {
    const Unit id = *next;
    if (id == EndMarkerId) {
      ended = true;
      ++next;
      break;
    }
    const Unit* const text = next + 1;
    if (terminators.Empty() && !terminators.Refill(text)) {
      break; // the rest goes the general way
    }
    const Unit* const stop = terminators.Take();
    if (stop >= limit) [[unlikely]] {
      sink.Commit(static_cast<std::size_t>(out - start));
      const std::ptrdiff_t units = std::max(Block, stop + 1 - next);
      start = reserve(units);
      out = start;
      limit = next + units;
    }
    const auto length = static_cast<std::size_t>(stop - text);
    const std::uint64_t digits = IdDigits(id);
    std::memcpy(out, &digits, sizeof digits);
    out[4] = IdFieldEnd;
    CopyInSteps(out + IdFieldUnits, text, length);
    out[IdFieldUnits + length] = LineEnd;
    out += IdFieldUnits + length + 1;
    ++decoded;
    next = stop + 1;
  }
  sink.Commit(static_cast<std::size_t>(out - start));
  entries += decoded;
  return next;
}

template <UnitFinder Find, UnitMasker Mask, class Source, class Sink>
std::uint64_t DecodeUnitsWith(Source& source, Sink& sink) {
  std::uint64_t entries = 0;
  bool inText = false;
  for (;;) {
    const std::span<const Unit> chunk = source.Peek();
    if (chunk.empty()) {
      return entries;
    }
    const Unit* next = chunk.data();
    const Unit* const last = next + chunk.size();
    while (next != last) {
      if (!inText) {
        if constexpr (ReservingSink<Sink>) {
          // Whole entries go the block way, from the start of a chunk or once an entry that
          // straddled two chunks is done.
          bool ended = false;
          const Unit* const from = next;
          next = DecodeBlocks<Mask>(next, last, sink, entries, ended);
          if (ended) {
            source.Advance(static_cast<std::size_t>(next - chunk.data()));
            return entries;
          }
          if (next != from) {
            continue;
          }
        }
        const Unit id = *next++;
        if (id == EndMarkerId) {
          source.Advance(static_cast<std::size_t>(next - chunk.data()));
          return entries;
        }
        const auto field = IdField(id);
        sink.Put(field.data(), field.size());
        ++entries;
        inText = true;
        continue;
      }
      const Unit* const stop = Find(next, last, TextTerminator);
      sink.Put(next, static_cast<std::size_t>(stop - next));
      if (stop == last) {
        break;
      }
      sink.PutUnit(LineEnd);
      next = stop + 1;
      inText = false;
    }
    source.Advance(chunk.size());
  }
}

} // namespace detail

// Converts entries until the end marker or the end of the input; returns the number of entries.
// An entry cut short by the end of the input still counts, its line without an LF.
template <class Source, class Sink> std::uint64_t DecodeUnits(Source& source, Sink& sink) {
  return WideScanAvailable() ? detail::DecodeUnitsWith<FindUnitWide, UnitMaskWide>(source, sink)
                             : detail::DecodeUnitsWith<FindUnit, UnitMask>(source, sink);
}
