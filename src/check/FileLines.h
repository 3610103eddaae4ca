// The lines of a dump, or the entries of a table, read again from the file to be shown under the
// findings. The findings come mostly in line order, so the file is read forward; a note that
// points back (a duplicate's first use) starts again from the nearest of the places it passed.
#pragma once

#include "console/Reporter.h"
#include "io/RecordFile.h"

#include <cstdint>
#include <string>
#include <vector>

class FileLines final : public SourceLines {
public:
  // False when the file cannot be opened again; the findings are then shown without their lines.
  bool Open(const std::string& name, bool table);

  bool Line(std::uint64_t number, std::vector<Unit>& units) override;

private:
  // The next unit, or false at the end of the file.
  bool Next(Unit& unit);
  // Moves to the start of line `number`; false when the file ends first.
  bool Reach(std::uint64_t number);

  static constexpr std::uint64_t Every = 4096; // lines between the places remembered
  static constexpr std::size_t Shown = 4096;   // units of a line shown at most

  RecordFile File;
  bool Table = false;
  bool Opened = false;
  std::vector<Unit> Buffer = std::vector<Unit>(32768);
  std::size_t BufferAt = 0;
  std::size_t BufferEnd = 0;
  std::uint64_t Offset = 0;          // of the next unit
  std::uint64_t Current = 1;         // the line that starts at Offset
  std::vector<std::uint64_t> Starts; // the offset of line 1 + k * Every
};
