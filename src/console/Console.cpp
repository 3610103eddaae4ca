#include "console/Console.h"

#include "io/InOutError.h"
#include "platform/Platform.h"

#include <string>

namespace {

bool OutputChecked = false;
bool OutputFailed = false;

} // namespace

void ConsoleWrite(std::string_view text) {
  if (!OutputChecked) {
    // The standard output is opened on the first write; a handle of no known kind fails there.
    if (!PlatformStdStreamUsable(StdStream::Output)) {
      OutputFailed = true;
      RaiseInOutError(StdOutputUnusable);
    }
    OutputChecked = true;
  }
  if (!PlatformStdWrite(StdStream::Output, text.data(), text.size())) {
    OutputFailed = true;
    RaiseWriteFailure();
  }
}

bool ConsoleOutputFailed() {
  return OutputFailed;
}

void ConsoleWriteLine(std::string_view text) {
  std::string line(text);
  line += "\r\n";
  ConsoleWrite(line);
}

void ConsoleWriteError(std::string_view text) {
  if (!PlatformStdWrite(StdStream::Error, text.data(), text.size())) {
    RaiseWriteFailure();
  }
}
