#include "io/RecordFile.h"

#include "io/InOutError.h"
#include "platform/Platform.h"

#include <bit>
#include <new>

static_assert(std::endian::native == std::endian::little,
              "units are moved between file and memory without byte swapping");

namespace {

// 1 MiB: measured against 64 KiB and 256 KiB, the larger buffer takes a quarter off the time the
// kernel spends per byte of a large file, and the process still stays under 3 MiB.
constexpr std::size_t BufferUnits = std::size_t{512} * 1024;

constexpr std::align_val_t BufferAlignment{4096};

// Allocated before the file is opened, not zeroed: every unit is written before it is read.
void Allocate(RecordFile& file) {
  if (!file.Buffer) {
    file.Buffer.reset(new (BufferAlignment, std::nothrow) Unit[BufferUnits]);
    if (!file.Buffer) {
      RaiseOutOfMemory();
    }
  }
}

void Attach(RecordFile& file, const std::string& path, FileHandle handle, bool writing) {
  file.Path = path;
  file.Handle = handle;
  file.Open = true;
  file.OpenFailure = 0;
  file.ReadStart = 0;
  file.ReadEnd = 0;
  file.OddByte = false;
  file.DroppedByte = false;
  file.WritePending = 0;
  file.WriteCapacity = writing ? BufferUnits : 0;
  file.WriteFailed = false;
}

void RequireOpen(const RecordFile& file) {
  if (file.OpenFailure != 0) {
    RaiseOsError(file.OpenFailure);
  }
  if (!file.Open) {
    RaiseInOutError(FileNotOpen);
  }
}

bool IsOutput(const RecordFile& file) {
  return file.WriteCapacity != 0;
}

// The checks before reading or writing: the file is open, and open the right way round.
void RequireInput(const RecordFile& file) {
  RequireOpen(file);
  if (IsOutput(file)) {
    RaiseInOutError(NotOpenForInput);
  }
}

void RequireOutput(const RecordFile& file) {
  RequireOpen(file);
  if (!IsOutput(file)) {
    RaiseInOutError(NotOpenForOutput);
  }
}

// Writes out the buffered units. After a failure nothing more is tried on the file.
void WritePending(RecordFile& file) {
  const std::size_t bytes = file.WritePending * sizeof(Unit);
  file.WritePending = 0;
  if (bytes != 0 &&
      PlatformWrite(file.Handle, file.Buffer.get(), bytes) != static_cast<std::int64_t>(bytes)) {
    file.WriteFailed = true;
    RaiseWriteFailure();
  }
}

} // namespace

void RecordFile::BufferRelease::operator()(Unit* units) const {
  ::operator delete[](units, BufferAlignment);
}

RecordFile::~RecordFile() {
  if (!Open) {
    return;
  }
  if (!WriteFailed && WritePending != 0) {
    // Best effort only: a failure is already on its way to the report.
    (void)PlatformWrite(Handle, Buffer.get(), WritePending * sizeof(Unit));
  }
  (void)PlatformClose(Handle);
}

bool OpenExisting(RecordFile& file, const std::string& path) {
  Allocate(file);
  const FileHandle handle = PlatformOpenRead(path);
  if (handle == InvalidFileHandle) {
    const int failure = PlatformLastError();
    if (!PlatformIsExistingFile(path)) {
      return false;
    }
    file.OpenFailure = failure;
    return true;
  }
  bool regular = false;
  if (!PlatformIsRegularFile(handle, regular)) {
    file.OpenFailure = PlatformLastError();
    (void)PlatformClose(handle);
    return true;
  }
  if (!regular) {
    (void)PlatformClose(handle);
    return false;
  }
  Attach(file, path, handle, false);
  return true;
}

bool CreateNew(RecordFile& file, const std::string& path, const RecordFile& other) {
  RequireOpen(other);
  Allocate(file);
  // Opened without truncating: only once it is known not to be the input may it be emptied.
  const FileHandle handle = PlatformOpenWrite(path);
  if (handle == InvalidFileHandle) {
    RaiseLastOsError();
  }
  // Checked on the open handles, not on the names: a link or another spelling of the input is
  // caught too, and nothing can swap the file between the check and the truncation.
  bool same = false;
  if (!PlatformSameFile(handle, other.Handle, same)) {
    RaiseLastOsError();
  }
  if (same) {
    (void)PlatformClose(handle);
    return false;
  }
  if (!PlatformTruncate(handle)) {
    RaiseLastOsError();
  }
  Attach(file, path, handle, true);
  return true;
}

bool CreateExclusive(RecordFile& file, const std::string& path) {
  Allocate(file);
  const FileHandle handle = PlatformCreateExclusive(path);
  if (handle == InvalidFileHandle) {
    if (PlatformLastError() == PlatformExistsError()) {
      return false;
    }
    RaiseLastOsError();
  }
  Attach(file, path, handle, true);
  return true;
}

std::span<const Unit> PeekRecords(RecordFile& file) {
  if (file.ReadStart < file.ReadEnd) {
    return {file.Buffer.get() + file.ReadStart, file.ReadEnd - file.ReadStart};
  }
  RequireInput(file);
  auto* bytes = reinterpret_cast<unsigned char*>(file.Buffer.get());
  std::size_t carried = 0;
  if (file.OddByte) {
    bytes[0] = bytes[file.ReadEnd * sizeof(Unit)];
    carried = 1;
  }
  file.ReadStart = 0;
  file.ReadEnd = 0;
  file.OddByte = false;
  const std::size_t room = BufferUnits * sizeof(Unit);
  for (;;) {
    const std::int64_t got = PlatformRead(file.Handle, bytes + carried, room - carried);
    if (got < 0) {
      RaiseLastOsError();
    }
    if (got == 0) {
      // The end of the file; a byte that never found its partner is dropped.
      if (carried != 0) {
        file.DroppedByte = true;
        file.DroppedByteValue = bytes[0];
      }
      return {};
    }
    const std::size_t total = carried + static_cast<std::size_t>(got);
    if (total >= sizeof(Unit)) {
      file.ReadEnd = total / sizeof(Unit);
      file.OddByte = total % sizeof(Unit) != 0;
      return {file.Buffer.get(), file.ReadEnd};
    }
    carried = total;
  }
}

void ReadRecords(RecordFile& file, Unit* units, std::size_t count) {
  while (count != 0) {
    const std::span<const Unit> ready = PeekRecords(file);
    if (ready.empty()) {
      RaiseInOutError(ReadBeyondEnd);
    }
    const std::size_t take = ready.size() < count ? ready.size() : count;
    std::memcpy(units, ready.data(), take * sizeof(Unit));
    SkipRecords(file, take);
    units += take;
    count -= take;
  }
}

void WriteRecordsSlow(RecordFile& file, const Unit* units, std::size_t count) {
  RequireOutput(file);
  // The buffer is filled to the brim before it is written, so that every write but the last is
  // the whole buffer at a file offset that is a multiple of its size: the kernel then copies whole
  // aligned pages, where writes that ended mid-page spent several times as long in that copy.
  while (count != 0) {
    const std::size_t room = file.WriteCapacity - file.WritePending;
    const std::size_t take = count < room ? count : room;
    std::memcpy(file.Buffer.get() + file.WritePending, units, take * sizeof(Unit));
    file.WritePending += take;
    units += take;
    count -= take;
    if (file.WritePending == file.WriteCapacity) {
      WritePending(file);
    }
  }
}

void WriteBytes(RecordFile& file, std::string_view bytes) {
  RequireOutput(file);
  WritePending(file);
  if (!bytes.empty() && PlatformWrite(file.Handle, bytes.data(), bytes.size()) !=
                            static_cast<std::int64_t>(bytes.size())) {
    file.WriteFailed = true;
    RaiseWriteFailure();
  }
}

void FlushRecords(RecordFile& file) {
  RequireOutput(file);
  WritePending(file);
}

std::size_t ReadRecordsAt(RecordFile& file, Unit* units, std::size_t count, std::uint64_t offset) {
  RequireInput(file);
  auto* bytes = reinterpret_cast<unsigned char*>(units);
  std::size_t done = 0;
  const std::size_t wanted = count * sizeof(Unit);
  while (done < wanted) {
    const std::int64_t got =
        PlatformReadAt(file.Handle, bytes + done, wanted - done, offset * sizeof(Unit) + done);
    if (got < 0) {
      RaiseLastOsError();
    }
    if (got == 0) {
      break;
    }
    done += static_cast<std::size_t>(got);
  }
  return done / sizeof(Unit);
}

void CloseRecordFile(RecordFile& file) {
  RequireOpen(file);
  if (IsOutput(file)) {
    WritePending(file);
  }
  file.Open = false;
  file.ReadStart = 0;
  file.ReadEnd = 0;
  file.WritePending = 0;
  file.WriteCapacity = 0;
  if (!PlatformClose(file.Handle)) {
    RaiseLastOsError();
  }
}

void OpenInputFile(RecordFile& file, const std::string& path) {
  if (!OpenExisting(file, path)) {
    throw Exception(PathKindReason(PlatformPathKind(path)), CodeLocationOf(__FILE__, __LINE__));
  }
  if (file.OpenFailure != 0) {
    RaiseOsError(file.OpenFailure);
  }
}
