// The units the checker reads, from a file or from memory, behind one interface: the scanners are
// compiled once, and the fuzz targets and the page give them memory or their own files.
#pragma once

#include "io/RecordFile.h"
#include "io/Unit.h"

#include <cstddef>
#include <span>

// As the conversions' unit sources: Peek offers what is ready (empty only at the end of the
// input), Advance says how many were used.
class UnitReader {
public:
  UnitReader() = default;
  UnitReader(const UnitReader&) = delete;
  UnitReader& operator=(const UnitReader&) = delete;
  virtual ~UnitReader() = default;
  virtual std::span<const Unit> Peek() = 0;
  virtual void Advance(std::size_t count) = 0;
};

// The units of an open file.
class FileUnitReader final : public UnitReader {
public:
  explicit FileUnitReader(RecordFile& file) : File(file) {}
  std::span<const Unit> Peek() override { return PeekRecords(File); }
  void Advance(std::size_t count) override { SkipRecords(File, count); }

private:
  RecordFile& File;
};
