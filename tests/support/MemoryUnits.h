// The conversions' unit source and sink over memory, and a plain unit-at-a-time reading of both
// formats to hold the fast conversions against.
#pragma once

#include "io/RecordFile.h"

#include <cstdio>
#include <random>
#include <span>
#include <string_view>
#include <vector>

using UnitVector = std::vector<Unit>;

// Hands out the input in chunks of a fixed size, so that a test chooses where boundaries fall.
struct MemorySource {
  const UnitVector& Input;
  std::size_t ChunkSize = static_cast<std::size_t>(-1);
  std::size_t Position = 0;
  std::span<const Unit> Peek() {
    const std::size_t left = Input.size() - Position;
    return {Input.data() + Position, left < ChunkSize ? left : ChunkSize};
  }
  void Advance(std::size_t count) { Position += count; }
};

struct MemorySink {
  UnitVector Output;
  void Put(const Unit* units, std::size_t count) {
    Output.insert(Output.end(), units, units + count);
  }
  void PutUnit(Unit unit) { Output.push_back(unit); }
  Unit* Reserve(std::size_t count) {
    Reserved = Output.size();
    Output.resize(Reserved + count);
    return Output.data() + Reserved;
  }
  void Commit(std::size_t count) { Output.resize(Reserved + count); }
  std::size_t Reserved = 0;
};

struct ReferenceResult {
  UnitVector Output;
  std::uint64_t Count = 0;
  bool ReadBeyondEnd = false;
};

inline ReferenceResult ReferenceDecode(const UnitVector& input) {
  ReferenceResult result;
  std::size_t i = 0;
  while (i < input.size()) {
    const Unit id = input[i++];
    if (id == 0xFFFF) {
      break;
    }
    for (int shift = 12; shift >= 0; shift -= 4) {
      result.Output.push_back(static_cast<Unit>("0123456789ABCDEF"[(id >> shift) & 15]));
    }
    result.Output.push_back('=');
    ++result.Count;
    while (i < input.size()) {
      const Unit unit = input[i++];
      result.Output.push_back(unit == 0 ? Unit{0x0A} : unit);
      if (unit == 0) {
        break;
      }
    }
  }
  return result;
}

inline ReferenceResult ReferenceEncode(const UnitVector& input) {
  ReferenceResult result;
  std::size_t i = 0;
  while (i < input.size()) {
    if (input.size() - i < 5) {
      result.ReadBeyondEnd = true;
      return result;
    }
    std::uint64_t value = 0;
    for (int k = 0; k < 5; ++k) {
      const Unit c = input[i++];
      const std::size_t digit = std::string_view("0123456789abcdef0123456789ABCDEF")
                                    .find(c < 0x80 ? static_cast<char>(c) : '?');
      if (digit != std::string_view::npos) {
        value = value * 16 + digit % 16;
      }
    }
    ++result.Count;
    const auto id = static_cast<Unit>(value & 0xFFFF);
    if (id == 0xFFFF) {
      break;
    }
    result.Output.push_back(id);
    while (i < input.size()) {
      const Unit unit = input[i++];
      result.Output.push_back(unit == 0x0A ? Unit{0} : unit);
      if (unit == 0x0A) {
        break;
      }
    }
  }
  result.Output.push_back(0xFFFF);
  return result;
}

// A table whose every entry is terminated and whose texts hold no 0x0000 and no LF, closed by the
// end marker: one that comes back through a round trip byte for byte. It has `entries` entries,
// or when that is not given, as many as make it at least `minUnits` long; texts are shorter than
// `maxText` units.
inline constexpr std::size_t AnyNumber = static_cast<std::size_t>(-1);
inline UnitVector WellFormedTable(std::mt19937& random, std::size_t minUnits, std::size_t maxText,
                                  std::size_t entries = AnyNumber) {
  UnitVector table;
  const bool counted = entries != AnyNumber;
  for (std::size_t e = 0; counted ? e < entries : table.size() < minUnits; ++e) {
    table.push_back(static_cast<Unit>(random() % 0xFFFF)); // never the end marker
    const std::size_t length = maxText == 0 ? 0 : random() % maxText;
    for (std::size_t k = 0; k < length; ++k) {
      Unit unit = 0;
      while (unit == 0 || unit == 0x0A) {
        unit = static_cast<Unit>(random());
      }
      table.push_back(unit);
    }
    table.push_back(0);
  }
  table.push_back(0xFFFF);
  return table;
}

// A fuzzer's bytes as units, after a first byte that picks the chunk size: small ones, where
// every entry straddles chunks, or ones of 60 units and up, where the block paths run (they take
// a chunk's entries by masks of 64 units when it has some 100 units left).
inline UnitVector FuzzUnits(const std::uint8_t* data, std::size_t size, std::size_t& chunk) {
  const unsigned pick = size == 0 ? 0 : data[0];
  chunk = pick < 128 ? 1 + pick % 37 : 60 + (pick - 128) * 8;
  UnitVector units;
  for (std::size_t i = 1; i + 1 < size; i += 2) {
    units.push_back(static_cast<Unit>(data[i] | data[i + 1] << 8));
  }
  return units;
}
