// The unit source and sink that the conversions run over. A source offers the units it has ready
// (Peek, empty only at the end of the input) and is told how many were used (Advance); a sink takes
// runs of units (Put) or single ones (PutUnit). The files below serve the program; the tests run
// the same conversions over memory.
#pragma once

#include "io/RecordFile.h"

#include <span>
#include <vector>

struct FileUnitSource {
  RecordFile& File;
  std::span<const Unit> Peek() { return PeekRecords(File); }
  void Advance(std::size_t count) { SkipRecords(File, count); }
};

struct FileUnitSink {
  explicit FileUnitSink(RecordFile& file) : File(file) {}

  RecordFile& File;
  void Put(const Unit* units, std::size_t count) { WriteRecords(File, units, count); }
  void PutUnit(Unit unit) { WriteRecords(File, &unit, 1); }

  // Room in the file's own buffer where it has enough; otherwise a side buffer, whose units are
  // then written the ordinary way (so that the file's buffer still goes out only when full).
  Unit* Reserve(std::size_t count) {
    if (File.WriteCapacity - File.WritePending >= count) {
      Lent = nullptr;
      return File.Buffer.get() + File.WritePending;
    }
    if (Side.size() < count) {
      Side.resize(count);
    }
    Lent = Side.data();
    return Lent;
  }
  void Commit(std::size_t count) {
    if (Lent != nullptr) {
      WriteRecords(File, Lent, count);
    } else {
      File.WritePending += count;
    }
  }

  Unit* Lent = nullptr;
  std::vector<Unit> Side;
};
