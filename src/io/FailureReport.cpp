#include "io/FailureReport.h"

#include "platform/Platform.h"

std::string FailureReportText(const Exception& failure, const std::string& moduleName) {
  std::string location(8, '0');
  for (std::size_t i = 0; i < location.size(); ++i) {
    location[7 - i] = "0123456789ABCDEF"[(failure.CodeLocation >> (4 * i)) & 0xF];
  }
  const std::string& message = failure.Message;
  const bool closed = message.empty() || message.back() == '.';
  return std::string("Exception ") + failure.ClassName() + " in module " + moduleName + " at " +
         location + ".\r\n" + message + (closed ? "" : ".") + "\r\n\r\n";
}

void ReportFailure(const Exception& failure, const std::string& moduleName) {
  // Console text is never buffered, so everything printed so far is already out.
  const std::string text = PlatformToOem(FailureReportText(failure, moduleName));
  (void)PlatformStdWrite(StdStream::Error, text.data(), text.size());
}
