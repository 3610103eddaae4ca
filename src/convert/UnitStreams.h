// The unit source and sink that the conversions run over. A source offers the units it has ready
// (Peek, empty only at the end of the input) and is told how many were used (Advance); a sink takes
// runs of units (Put) or single ones (PutUnit). The files below serve the program; the tests run
// the same conversions over memory.
#pragma once

#include "io/RecordFile.h"

#include <span>

struct FileUnitSource {
  RecordFile& File;
  std::span<const Unit> Peek() { return PeekRecords(File); }
  void Advance(std::size_t count) { SkipRecords(File, count); }
};

struct FileUnitSink {
  RecordFile& File;
  void Put(const Unit* units, std::size_t count) { WriteRecords(File, units, count); }
  void PutUnit(Unit unit) { WriteRecords(File, &unit, 1); }
};
