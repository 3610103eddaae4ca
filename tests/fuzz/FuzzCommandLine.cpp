// Splitting a command line: no argument is empty or holds a quote, and every character that is
// neither a quote nor a separator outside quotes reaches an argument, in order.
#include "Promise.h"
#include "console/CommandLine.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> arguments = SplitCommandLine(line);
  std::string kept;
  bool quoted = false;
  for (const char c : line) {
    const auto code = static_cast<unsigned char>(c);
    if (c == '"') {
      quoted = !quoted;
    } else if (quoted || code < 0x01 || code > 0x20) {
      kept += c;
    }
  }
  std::string joined;
  for (const std::string& argument : arguments) {
    Promise(!argument.empty() && argument.find('"') == std::string::npos);
    joined += argument;
  }
  Promise(joined == kept);
  return 0;
}
