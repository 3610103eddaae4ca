#include "io/InOutError.h"

#include "platform/Platform.h"

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

std::uint32_t CodeLocationOf(const std::source_location& site) {
  // FNV-1a over "File.cpp:123": independent of where the build tree lies.
  std::string_view file = site.file_name();
  const std::size_t slash = file.find_last_of("/\\");
  if (slash != std::string_view::npos) {
    file.remove_prefix(slash + 1);
  }
  const std::string key = std::string(file) + ':' + std::to_string(site.line());
  std::uint32_t hash = 2166136261U;
  for (const char c : key) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619U;
  }
  return hash;
}

void RaiseInOutError(int code, std::source_location site) {
  throw EInOutError(code, InOutErrorMessage(code), CodeLocationOf(site));
}

void RaiseLastOsError(std::source_location site) {
  const int osCode = PlatformLastError();
  const int row = PlatformErrorRow(osCode);
  if (row != 0) {
    throw EInOutError(row, InOutErrorMessage(row), CodeLocationOf(site));
  }
  throw EInOutError(osCode, "I/O error " + std::to_string(osCode), CodeLocationOf(site));
}
