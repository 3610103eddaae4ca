#include "check/FileLines.h"

#include "convert/Formats.h"

bool FileLines::Open(const std::string& name, bool table) {
  Table = table;
  Opened = OpenExisting(File, name);
  // A dump's first line starts after its byte-order mark.
  Offset = table ? 0 : 1;
  Starts.assign(1, Offset);
  return Opened;
}

bool FileLines::Next(Unit& unit) {
  if (BufferAt == BufferEnd) {
    BufferEnd = ReadRecordsAt(File, Buffer.data(), Buffer.size(), Offset);
    BufferAt = 0;
    if (BufferEnd == 0) {
      return false;
    }
  }
  unit = Buffer[BufferAt++];
  ++Offset;
  return true;
}

bool FileLines::Reach(std::uint64_t number) {
  if (number < Current || number - Current > Every) {
    // Back, or far ahead: from the last remembered place at or before the line.
    const std::uint64_t known = std::min<std::uint64_t>((number - 1) / Every, Starts.size() - 1);
    if (known * Every + 1 > Current || number < Current) {
      Offset = Starts[known];
      Current = known * Every + 1;
      BufferAt = BufferEnd = 0;
    }
  }
  Unit unit = 0;
  while (Current < number) {
    // A table's entry is its id, then its text up to the terminator.
    if (Table && !Next(unit)) {
      return false;
    }
    const Unit end = Table ? TextTerminator : LineEnd;
    do {
      if (!Next(unit)) {
        return false;
      }
    } while (unit != end);
    ++Current;
    if ((Current - 1) % Every == 0 && (Current - 1) / Every == Starts.size()) {
      Starts.push_back(Offset);
    }
  }
  return true;
}

bool FileLines::Line(std::uint64_t number, std::vector<Unit>& units) {
  units.clear();
  if (!Opened || number == 0 || !Reach(number)) {
    return false;
  }
  const Unit end = Table ? TextTerminator : LineEnd;
  const std::uint64_t start = Offset;
  Unit unit = 0;
  bool any = false;
  // The line is read through, and the place after it is the next line's start.
  for (bool first = true; Next(unit); first = false) {
    any = true;
    if (unit == end && !(Table && first)) {
      ++Current;
      if ((Current - 1) % Every == 0 && (Current - 1) / Every == Starts.size()) {
        Starts.push_back(Offset);
      }
      return true;
    }
    if (units.size() < Shown) {
      units.push_back(unit);
    }
  }
  // The last line, without its end: read again from its start next time.
  Offset = start;
  BufferAt = BufferEnd = 0;
  return any;
}
