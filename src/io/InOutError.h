// The failure classes. A failed file operation or console write raises an EInOutError right where
// it happened; nothing catches it but the top level, which turns it into the failure report.
#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <string>

class TObject {
public:
  TObject() = default;
  TObject(const TObject&) = default;
  TObject& operator=(const TObject&) = default;
  virtual ~TObject() = default;
  [[nodiscard]] virtual const char* ClassName() const { return "TObject"; }
};

class Exception : public TObject {
public:
  explicit Exception(std::string message, std::uint32_t codeLocation)
      : Message(std::move(message)), CodeLocation(codeLocation) {}
  [[nodiscard]] const char* ClassName() const override { return "Exception"; }

  std::string Message;
  // Identifies the failing call site; stable from one run of the same build to the next.
  std::uint32_t CodeLocation;
};

class EInOutError : public Exception {
public:
  EInOutError(int errorCode, std::string message, std::uint32_t codeLocation, int osCode = 0)
      : Exception(std::move(message), codeLocation), ErrorCode(errorCode), OsCode(osCode) {}
  [[nodiscard]] const char* ClassName() const override { return "EInOutError"; }

  int ErrorCode;
  // The operating system's own code when it reported the failure, 0 otherwise.
  int OsCode;
};

// A memory allocation that failed: reported like an I/O failure, never an abort.
class EOutOfMemory : public Exception {
public:
  explicit EOutOfMemory(std::uint32_t codeLocation) : Exception("Out of memory", codeLocation) {}
  [[nodiscard]] const char* ClassName() const override { return "EOutOfMemory"; }
};

// The layer's own codes, beside the operating system's.
inline constexpr int ReadBeyondEnd = 100;
inline constexpr int WriteShort = 101;
inline constexpr int FileNotOpen = 103;
inline constexpr int NotOpenForInput = 104;  // a read from an output
inline constexpr int NotOpenForOutput = 105; // a write to an input
// The standard output is not open for output either when its handle is of no known kind.
inline constexpr int StdOutputUnusable = NotOpenForOutput;

// The message for one of the table's codes: "File not found", ..., or "I/O error N".
std::string InOutErrorMessage(int code);

// The message for an operating system's code: its row's message where it has one, otherwise
// "I/O error N" with the system's own number.
std::string OsErrorMessage(int osCode);

// Why a failure happened, for a front end that says it in one line: the system's own words where
// it gave a code ("permission denied"), the failure's message otherwise.
std::string FailureReason(const Exception& failure);

// Why a name that PlatformPathKind judged is not a file to read: "is a directory", "is not a
// regular file", "no such file", or the system's words for a denied lookup.
std::string PathKindReason(PathKind kind);

// A stable 32-bit value for a place in the source, from its file name (without directory) and line.
std::uint32_t CodeLocationOf(const char* file, unsigned line);

// Each Raise takes the place it is called from (the compilers fill in the default arguments there)
// as the failure's code location.

// Raises one of the layer's own codes (100, 101, 103, 105, ...).
[[noreturn]] void RaiseInOutError(int code, const char* file = __builtin_FILE(),
                                  unsigned line = __builtin_LINE());

// Raises the operating system's code of the last failed platform call. A code that means what one
// of the table's rows means is reported as that row; any other as "I/O error N" with the
// system's own number, even where that number happens to equal a row of the table.
[[noreturn]] void RaiseLastOsError(const char* file = __builtin_FILE(),
                                   unsigned line = __builtin_LINE());

// The same for an operating system's code kept from an earlier call.
[[noreturn]] void RaiseOsError(int osCode, const char* file = __builtin_FILE(),
                               unsigned line = __builtin_LINE());

[[noreturn]] void RaiseOutOfMemory(const char* file = __builtin_FILE(),
                                   unsigned line = __builtin_LINE());

// Raises a failed or incomplete write: the system's code, or "Disk full" when the system just
// stopped taking bytes without saying why.
[[noreturn]] void RaiseWriteFailure(const char* file = __builtin_FILE(),
                                    unsigned line = __builtin_LINE());
