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
#include <span>
#include <type_traits>

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

// The id field "XXXX=" of every id as the OR of two 8-unit rows, one for each byte of the id:
// the high byte's digits in units 0-1, the low byte's in 2-3, and "=" in unit 4 of both.
struct IdFieldRows {
  struct alignas(16) Row {
    std::array<Unit, 8> Units;
  };
  std::array<Row, 256> High{};
  std::array<Row, 256> Low{};
  constexpr IdFieldRows() {
    for (std::size_t i = 0; i < 256; ++i) {
      const auto& pair = HexPairs.Pairs[i];
      High[i].Units = {pair[0], pair[1], 0, 0, IdFieldEnd, 0, 0, 0};
      Low[i].Units = {0, 0, pair[0], pair[1], IdFieldEnd, 0, 0, 0};
    }
  }
};
inline constexpr IdFieldRows IdRows;

// Writes the id field of the id at `at` as 8 units: the field, and 3 that the text then writes
// over.
inline void WriteIdField(Unit* out, const Unit* at) {
  static_assert(std::endian::native == std::endian::little);
  unsigned char bytes[2];
  std::memcpy(bytes, at, sizeof bytes);
  const IdFieldRows::Row& high = IdRows.High[bytes[1]];
  const IdFieldRows::Row& low = IdRows.Low[bytes[0]];
#if defined(__SSE2__)
  const __m128i field = _mm_or_si128(_mm_load_si128(reinterpret_cast<const __m128i*>(&high)),
                                     _mm_load_si128(reinterpret_cast<const __m128i*>(&low)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), field);
#else
  for (std::size_t i = 0; i < 8; ++i) {
    out[i] = high.Units[i] | low.Units[i];
  }
#endif
}

// Writes a unit and a zero unit as one 32-bit store (one instruction, where a 16-bit constant
// takes two).
inline void PutPair(Unit* out, Unit unit) {
  const std::uint32_t pair = unit;
  std::memcpy(out, &pair, sizeof pair);
}

// Decodes the whole entries at the start of [next, last) straight into the sink's buffer: where
// each text ends comes from a mask of the terminators among 64 units at a time, so that a short
// entry costs little more than its units. Stops at the end marker (setting `ended`), or at the
// first entry whose terminator lies past the scan's last window, which the caller then reads the
// general way; returns where it stopped.
template <bool Wide, class Sink>
[[gnu::always_inline]] inline const Unit*
DecodeBlocks(const Unit* next, const Unit* last, Sink& sink, std::uint64_t& entries, bool& ended) {
  // A terminator, and the next entry's id.
  using Scan = std::conditional_t<Wide, MaskedScan<UnitMaskWide, 2>, MaskedScan<UnitMask, 2>>;
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
  // No more than the chunk holds, for a short one.
  const std::ptrdiff_t firstBlock = std::min(Block, last - next);
  Unit* start = reserve(firstBlock);
  Unit* out = start;
  const Unit* limit = next + firstBlock; // entries that end before it have room; windows end by it
  Scan terminators(next + 1, last, TextTerminator);
  // Each entry gives 4 units more than it takes: the count comes from the totals, not a counter.
  const Unit* const first = next;
  std::uint64_t written = 0;
  for (;;) {
    if (*next == EndMarkerId) {
      ended = true;
      ++next;
      break;
    }
    const Unit* const text = next + 1;
    if (terminators.Empty()) {
      if (!terminators.Refill(text)) {
        break; // the rest goes the general way
      }
      if (terminators.WindowEnd() > limit) [[unlikely]] {
        sink.Commit(static_cast<std::size_t>(out - start));
        written += static_cast<std::uint64_t>(out - start);
        const std::ptrdiff_t units = std::max(Block, terminators.WindowEnd() - next);
        start = reserve(units);
        out = start;
        limit = next + units;
      }
    }
    const Unit* const stop = terminators.Take();
    const auto length = static_cast<std::size_t>(stop - text);
    WriteIdField(out, next);
    CopyInSteps<Wide>(out + IdFieldUnits, text, length);
    PutPair(out + IdFieldUnits + length, LineEnd); // the second unit is written over next
    out += IdFieldUnits + length + 1;
    next = stop + 1;
  }
  sink.Commit(static_cast<std::size_t>(out - start));
  written += static_cast<std::uint64_t>(out - start);
  const auto taken = static_cast<std::uint64_t>(next - first) - (ended ? 1 : 0); // the end marker
  entries += (written - taken) / 4;
  return next;
}

// The block path built twice: for any processor, and for wide ones (whose moves, masks and bit
// operations then take fewer instructions).
template <class Sink>
[[gnu::flatten]] const Unit* DecodeBlocksNarrow(const Unit* next, const Unit* last, Sink& sink,
                                                std::uint64_t& entries, bool& ended) {
  return DecodeBlocks<false>(next, last, sink, entries, ended);
}
template <class Sink>
[[gnu::flatten]] VORLANTH_WIDE const Unit* DecodeBlocksWide(const Unit* next, const Unit* last,
                                                            Sink& sink, std::uint64_t& entries,
                                                            bool& ended) {
  return DecodeBlocks<true>(next, last, sink, entries, ended);
}

template <bool Wide, class Source, class Sink>
std::uint64_t DecodeUnitsWith(Source& source, Sink& sink) {
  constexpr UnitFinder Find = Wide ? FindUnitWide : FindUnit;
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
          next = Wide ? DecodeBlocksWide(next, last, sink, entries, ended)
                      : DecodeBlocksNarrow(next, last, sink, entries, ended);
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
  return WideScanAvailable() ? detail::DecodeUnitsWith<true>(source, sink)
                             : detail::DecodeUnitsWith<false>(source, sink);
}
