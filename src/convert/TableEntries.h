// A table's entries one at a time, each with its whole text: for the front ends that pair
// entries (the PO bridge, the checker against an original), not for the conversions.
#pragma once

#include "convert/FindUnit.h"
#include "convert/Formats.h"

#include <span>
#include <vector>

// One entry of a table, read from a unit source.
enum class TableStep { Entry, EndMarker, End };
struct TableEntry {
  Unit Id = 0;
  std::vector<Unit> Text;
  bool Terminated = false; // false only for a last entry that the file cuts off
};

template <class Source> TableStep ReadTableEntry(Source& source, TableEntry& entry) {
  std::span<const Unit> chunk = source.Peek();
  if (chunk.empty()) {
    return TableStep::End;
  }
  entry.Id = chunk[0];
  source.Advance(1);
  if (entry.Id == EndMarkerId) {
    return TableStep::EndMarker;
  }
  entry.Text.clear();
  entry.Terminated = false;
  for (chunk = source.Peek(); !chunk.empty(); chunk = source.Peek()) {
    const Unit* const end = FindUnit(chunk.data(), chunk.data() + chunk.size(), TextTerminator);
    entry.Text.insert(entry.Text.end(), chunk.data(), end);
    const auto used = static_cast<std::size_t>(end - chunk.data());
    if (used < chunk.size()) {
      source.Advance(used + 1);
      entry.Terminated = true;
      break;
    }
    source.Advance(used);
  }
  return TableStep::Entry;
}
