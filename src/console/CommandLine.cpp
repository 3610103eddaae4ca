#include "console/CommandLine.h"

#include "platform/Platform.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsSeparator(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code >= 0x01 && code <= 0x20;
}

} // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> arguments;
  std::string current;
  bool quoted = false;
  for (const char c : line) {
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && IsSeparator(c)) {
      if (!current.empty()) {
        arguments.push_back(std::move(current));
        current.clear();
      }
    } else {
      current += c;
    }
  }
  if (!current.empty()) {
    arguments.push_back(std::move(current));
  }
  return arguments;
}

std::vector<std::string> ProgramArguments(int argc, const char* const* argv) {
  std::string line;
  if (PlatformCommandLine(line)) {
    std::vector<std::string> arguments = SplitCommandLine(line);
    if (!arguments.empty()) {
      arguments.erase(arguments.begin()); // the program itself
    }
    return arguments;
  }
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] != nullptr && argv[i][0] != '\0') {
      arguments.emplace_back(argv[i]);
    }
  }
  return arguments;
}

bool HasExtension(std::string_view name, std::string_view ending) {
  return name.size() >= ending.size() &&
         std::equal(
             ending.begin(), ending.end(), name.end() - static_cast<long>(ending.size()),
             [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}
