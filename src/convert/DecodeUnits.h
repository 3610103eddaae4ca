// The decoder's core: string table units in, text dump units out (without the byte-order mark).
#pragma once

#include "convert/FindUnit.h"
#include "convert/Formats.h"

#include <array>
#include <cstdint>

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

namespace detail {

template <UnitFinder Find, class Source, class Sink>
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
  return WideScanAvailable() ? detail::DecodeUnitsWith<FindUnitWide>(source, sink)
                             : detail::DecodeUnitsWith<FindUnit>(source, sink);
}
