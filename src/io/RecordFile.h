// A data file read or written in 2-byte records (one UTF-16 unit each), every operation checked
// the moment it returns. Reads and writes go through one large buffer per file, so that a run
// makes a few hundred system calls per megabyte instead of one per unit; the bytes on disk are the
// same as if every unit had been written on its own.
#pragma once

#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>

using Unit = std::uint16_t;

struct RecordFile {
  RecordFile() = default;
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;
  // Closes a file left open by a failure, after writing out what it had buffered, so that the
  // output keeps every unit produced before the failure.
  ~RecordFile();

  std::string Path;
  FileHandle Handle = InvalidFileHandle;
  bool Open = false;
  bool Writing = false;
  // Set after a failed write: what is still buffered is not tried again.
  bool WriteFailed = false;
  // Set when a read ended on half a unit; that byte waits just past the buffered units.
  bool OddByte = false;
  // The system's code of an open that failed, raised by the first operation on the file.
  int OpenFailure = 0;

  std::unique_ptr<Unit[]> Buffer;
  std::size_t Capacity = 0; // in units
  std::size_t Start = 0;    // reading: first unread unit
  std::size_t End = 0;      // reading: one past the last buffered unit; writing: units pending
};

// Opens an existing regular file for reading. Returns false, leaving it closed, when the path leads
// to none (nothing there, a folder, a device, a pipe): the open handle itself is checked, so the
// name cannot be swapped in between. A file that is there but cannot be opened is not raised here:
// the failure is kept and raised by the first operation on the file, so that the report follows
// the progress message of the conversion that needed it.
[[nodiscard]] bool OpenExisting(RecordFile& file, const std::string& path);

// Opens or creates a file for writing without changing it. Returns false, leaving it closed and
// untouched, when it is the same file as `other`; otherwise truncates it to length zero. Its
// buffer is allocated first, so that a lack of memory changes nothing on disk.
[[nodiscard]] bool CreateNew(RecordFile& file, const std::string& path, const RecordFile& other);

// The whole units buffered for reading, refilled when none is left; empty only at the end of the
// file (which is how a reader tells it is there). A lone trailing byte is never part of it.
std::span<const Unit> PeekRecords(RecordFile& file);

inline void SkipRecords(RecordFile& file, std::size_t count) {
  file.Start += count;
}

// Reads exactly `count` units; fewer left in the file fails with "Read beyond end of file".
void ReadRecords(RecordFile& file, Unit* units, std::size_t count);

void WriteRecordsSlow(RecordFile& file, const Unit* units, std::size_t count);

inline void WriteRecords(RecordFile& file, const Unit* units, std::size_t count) {
  if (count <= file.Capacity - file.End) {
    std::memcpy(file.Buffer.get() + file.End, units, count * sizeof(Unit));
    file.End += count;
    return;
  }
  WriteRecordsSlow(file, units, count);
}

// Writes out everything buffered.
void FlushRecords(RecordFile& file);

// Writes out everything buffered, then closes the file.
void CloseRecordFile(RecordFile& file);
