#include "io/FailureReport.h"

#include "platform/Platform.h"

#include <array>
#include <cstdio>

std::string FailureReportText(const Exception& failure, const std::string& moduleName) {
  std::array<char, 9> location{};
  std::snprintf(location.data(), location.size(), "%08X",
                static_cast<unsigned>(failure.CodeLocation));
  const std::string& message = failure.Message;
  const bool closed = message.empty() || message.back() == '.';
  return std::string("Exception ") + failure.ClassName() + " in module " + moduleName + " at " +
         location.data() + ".\r\n" + message + (closed ? "" : ".") + "\r\n\r\n";
}

void ReportFailure(const Exception& failure, const std::string& moduleName) {
  // Console text is never buffered, so everything printed so far is already out.
  const std::string text = PlatformToOem(FailureReportText(failure, moduleName));
  (void)PlatformStdWrite(StdStream::Error, text.data(), text.size());
}
