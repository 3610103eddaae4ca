#include "io/InOutError.h"

#include "platform/Platform.h"

#include <numeric>
#include <string_view>

std::string InOutErrorMessage(int code) {
  switch (code) {
  case 2:
    return "File not found";
  case 3:
    return "Invalid filename";
  case 4:
    return "Too many open files";
  case 5:
    return "File access denied";
  case ReadBeyondEnd:
    return "Read beyond end of file";
  case WriteShort:
    return "Disk full";
  case 106:
    return "Invalid numeric input";
  default:
    return "I/O error " + std::to_string(code);
  }
}

std::string FailureReason(const Exception& failure) {
  const auto* inOut = dynamic_cast<const EInOutError*>(&failure);
  return inOut != nullptr && inOut->OsCode != 0 ? PlatformErrorText(inOut->OsCode)
                                                : failure.Message;
}

std::string PathKindReason(PathKind kind) {
  switch (kind) {
  case PathKind::Folder:
    return "is a directory";
  case PathKind::Other:
  case PathKind::Regular:
    return "is not a regular file";
  case PathKind::Denied:
    return PlatformErrorText(PlatformLastError());
  default:
    return "no such file";
  }
}

std::uint32_t CodeLocationOf(const char* file, unsigned line) {
  // FNV-1a over "File.cpp:123": independent of where the build tree lies.
  std::string_view name = file;
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) {
    name.remove_prefix(slash + 1);
  }
  const std::string key = std::string(name) + ':' + std::to_string(line);
  return std::accumulate(key.begin(), key.end(), std::uint32_t{2166136261U},
                         [](std::uint32_t hash, char c) {
                           return (hash ^ static_cast<unsigned char>(c)) * 16777619U;
                         });
}

void RaiseInOutError(int code, const char* file, unsigned line) {
  throw EInOutError(code, InOutErrorMessage(code), CodeLocationOf(file, line));
}

void RaiseLastOsError(const char* file, unsigned line) {
  RaiseOsError(PlatformLastError(), file, line);
}

std::string OsErrorMessage(int osCode) {
  const int row = PlatformErrorRow(osCode);
  return row != 0 ? InOutErrorMessage(row) : "I/O error " + std::to_string(osCode);
}

void RaiseOsError(int osCode, const char* file, unsigned line) {
  const int row = PlatformErrorRow(osCode);
  throw EInOutError(row != 0 ? row : osCode, OsErrorMessage(osCode), CodeLocationOf(file, line),
                    osCode);
}

void RaiseOutOfMemory(const char* file, unsigned line) {
  throw EOutOfMemory(CodeLocationOf(file, line));
}

void RaiseWriteFailure(const char* file, unsigned line) {
  if (PlatformLastError() != 0) {
    RaiseLastOsError(file, line);
  }
  RaiseInOutError(WriteShort, file, line);
}
