#include "io/SafeOutput.h"

#include "io/InOutError.h"
#include "platform/Platform.h"

#include <cstdint>

namespace {

[[noreturn]] void Refuse(const std::string& why) {
  throw Exception(why, CodeLocationOf(__FILE__, __LINE__));
}

std::string FolderOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\");
  if (separator != std::string::npos) {
    return path.substr(0, separator + 1);
  }
  // "C:name" on Windows: the drive's current folder.
  return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string();
}

std::string Hex(std::uint32_t value) {
  constexpr char digits[] = "0123456789abcdef";
  std::string text(8, '0');
  for (std::size_t i = 8; i-- > 0; value >>= 4) {
    text[i] = digits[value & 15];
  }
  return text;
}

// Refuses what may not be replaced; true when there is a file to replace.
bool RefuseWhatCannotBeReplaced(const SafeOutput& output,
                                std::span<const RecordFile* const> inputs) {
  const PathKind kind = PlatformPathKind(output.Target);
  switch (kind) {
  case PathKind::Missing:
    return false;
  case PathKind::Folder:
    Refuse("is a directory");
  case PathKind::Other:
    Refuse("is a device, a pipe or a socket, not a regular file: it is not replaced");
  case PathKind::Denied:
    RaiseLastOsError();
  case PathKind::Regular:
    break;
  }
  RecordFile existing;
  if (OpenExisting(existing, output.Target) && existing.OpenFailure == 0) {
    for (const RecordFile* input : inputs) {
      bool same = false;
      if (!PlatformSameFile(existing.Handle, input->Handle, same)) {
        RaiseLastOsError();
      }
      if (same) {
        Refuse("is one of the input files");
      }
    }
  }
  if (!PlatformCanWrite(output.Target)) {
    RaiseLastOsError();
  }
  std::uint64_t links = 0;
  if (!PlatformLinkCount(output.Target, links)) {
    RaiseLastOsError();
  }
  if (links > 1) {
    Refuse("has " + std::to_string(links - 1) + (links == 2 ? " other name" : " other names") +
           " (hard links), which a new file in its place would split off: it is not replaced");
  }
  return true;
}

} // namespace

SafeOutput::~SafeOutput() {
  if (Committed || Temporary.empty()) {
    return;
  }
  if (File.Open) {
    // What it buffered is not written out: the file is going anyway.
    File.WritePending = 0;
    (void)PlatformClose(File.Handle);
    File.Open = false;
  }
  (void)PlatformRemove(Temporary);
  PlatformRemoveOnInterrupt("");
}

void BeginSafeOutput(SafeOutput& output, const std::string& path,
                     std::span<const RecordFile* const> inputs) {
  output.Target = PlatformFollowLinks(path);
  output.Replaces = RefuseWhatCannotBeReplaced(output, inputs);
  // A short name of its own, never built from the output's: it cannot make a name that fits too
  // long, nor be a device name (aux.lang's would be one on Windows).
  const std::string stem = FolderOf(output.Target) + ".vorlanth-" + Hex(PlatformProcessId()) + "-";
  constexpr int Attempts = 100;
  for (int attempt = 0; attempt < Attempts; ++attempt) {
    const std::string name = stem + std::to_string(attempt) + ".tmp";
    if (CreateExclusive(output.File, name)) {
      output.Temporary = name;
      PlatformRemoveOnInterrupt(name);
      return;
    }
  }
  Refuse("no free name for a temporary file beside it (" + stem + "0.tmp to " +
         std::to_string(Attempts - 1) + ".tmp all exist)");
}

void FinishSafeOutput(SafeOutput& output) {
  FlushRecords(output.File);
  if (!PlatformSync(output.File.Handle)) {
    RaiseLastOsError();
  }
  if (output.Replaces && !PlatformCopyPermissions(output.Target, output.File.Handle)) {
    RaiseLastOsError();
  }
  CloseRecordFile(output.File);
  output.Finished = true;
}

void CommitSafeOutput(SafeOutput& output) {
  if (!output.Finished) {
    FinishSafeOutput(output);
  }
  if (!PlatformReplace(output.Temporary, output.Target)) {
    RaiseLastOsError();
  }
  output.Committed = true;
  PlatformRemoveOnInterrupt("");
}
