// A data file read or written in 2-byte records (one UTF-16 unit each), every operation checked
// the moment it returns. An input is only read and an output only written; a file is one or the
// other for as long as it is open, and using it the other way fails through the same check.
//
// Reads and writes go through one large buffer per file, so that a run makes a few hundred system
// calls per megabyte instead of one per unit; the bytes on disk are the same as if every unit had
// been written on its own, and a failure still leaves every unit produced before it in the output
// (the destructor writes out what is buffered while the failure travels to the report).
#pragma once

#include "io/Unit.h"
#include "platform/Platform.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

struct RecordFile {
  RecordFile() = default;
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;
  // Closes a file left open by a failure, after writing out what it had buffered.
  ~RecordFile();

  std::string Path;
  FileHandle Handle = InvalidFileHandle;
  bool Open = false;
  // The system's code of an open that failed, raised by the first operation on the file.
  int OpenFailure = 0;
  // Page-aligned: the kernel copies between the buffer and its page cache fastest when both sides
  // are aligned alike.
  struct BufferRelease {
    void operator()(Unit* units) const;
  };
  std::unique_ptr<Unit[], BufferRelease> Buffer;

  // Reading (an input): the buffered units not yet used are [ReadStart, ReadEnd). When a read
  // ended on half a unit, that byte waits just past them.
  std::size_t ReadStart = 0;
  std::size_t ReadEnd = 0;
  bool OddByte = false;
  // Set once the end is reached with a lone byte left over, which no unit holds; its value is
  // kept for a caller that must carry the file over whole.
  bool DroppedByte = false;
  unsigned char DroppedByteValue = 0;

  // Writing (an output): WritePending units wait in the buffer, which holds WriteCapacity. The
  // capacity is 0 for anything but an open output, so that the inline fast path below sends every
  // other write to the checked one.
  std::size_t WritePending = 0;
  std::size_t WriteCapacity = 0;
  // Set after a failed write: what is still buffered is not tried again.
  bool WriteFailed = false;
};

// Opens an existing regular file for reading: the program never writes its input, so a read-only
// input converts too. Returns false, leaving it closed, when the path leads to no regular file
// (nothing there, a folder, a device, a pipe): the open handle itself is checked, so the name
// cannot be swapped in between. A file that is there but cannot be opened is not raised here: the
// failure is kept and raised by the first operation on the file, so that the report follows the
// progress message of the conversion that needed it.
[[nodiscard]] bool OpenExisting(RecordFile& file, const std::string& path);

// OpenExisting for a file that is read at once: raises why it cannot be, whether the path leads
// to no regular file or the open failed.
void OpenInputFile(RecordFile& file, const std::string& path);

// Opens or creates a file for writing without changing it. Returns false, leaving it closed and
// untouched, when it is the same file as `other`; otherwise truncates it to length zero. Its
// buffer is allocated first, so that a lack of memory changes nothing on disk.
[[nodiscard]] bool CreateNew(RecordFile& file, const std::string& path, const RecordFile& other);

// Creates a new file for writing, beside which no file of that name may exist. Returns false,
// leaving it closed, when one does.
[[nodiscard]] bool CreateExclusive(RecordFile& file, const std::string& path);

// The whole units buffered for reading, refilled when none is left; empty only at the end of the
// file (which is how a reader tells it is there). A lone trailing byte is never part of it.
std::span<const Unit> PeekRecords(RecordFile& file);

// Uses `count` of the units PeekRecords offered.
inline void SkipRecords(RecordFile& file, std::size_t count) {
  file.ReadStart += count;
}

// Reads exactly `count` units; fewer left in the file fails with "Read beyond end of file".
void ReadRecords(RecordFile& file, Unit* units, std::size_t count);

// The checked path of WriteRecords: writes out a full buffer, and fails a write to anything but
// an open output.
void WriteRecordsSlow(RecordFile& file, const Unit* units, std::size_t count);

inline void WriteRecords(RecordFile& file, const Unit* units, std::size_t count) {
  if (count <= file.WriteCapacity - file.WritePending) {
    std::memcpy(file.Buffer.get() + file.WritePending, units, count * sizeof(Unit));
    file.WritePending += count;
    return;
  }
  WriteRecordsSlow(file, units, count);
}

// Reads up to `count` units starting at unit `offset` of an input, apart from its sequential
// reading; returns how many, fewer only at the end of the file.
std::size_t ReadRecordsAt(RecordFile& file, Unit* units, std::size_t count, std::uint64_t offset);

// Writes out everything buffered, then bytes that need not make whole units (a text in UTF-8, or
// a lone last byte).
void WriteBytes(RecordFile& file, std::string_view bytes);

// Writes out everything buffered.
void FlushRecords(RecordFile& file);

// Writes out everything buffered, then closes the file.
void CloseRecordFile(RecordFile& file);
