// vorlanth_check: finds the edits that would corrupt a table silently, before it is encoded.
#include "check/CheckFile.h"
#include "console/CommandLine.h"
#include "console/Console.h"
#include "io/InOutError.h"
#include "platform/Platform.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr int Clean = 0;
constexpr int ErrorsFound = 1;
constexpr int Trouble = 2; // a file could not be read, or the arguments were wrong

const char* const UsageLine = "Usage: vorlanth_check [--strict] [--quiet] FILE...\n";

void ShowHelp() {
  ConsoleWrite(UsageLine);
  ConsoleWrite(
      "Checks text dumps (.txt) and string tables (.lang) for what would break or silently\n"
      "change a table: empty lines, id fields that are not four hex digits and \"=\", line\n"
      "breaks inside a text, FFFF ids, a missing LF or end marker, duplicate ids, and more.\n"
      "Each finding is printed as FILE:LINE:COLUMN: error|warning: MESSAGE.\n"
      "\n"
      "  --strict   count warnings as errors\n"
      "  --quiet    print only the errors\n"
      "  --help     print this help and exit\n"
      "  --version  print the version and exit\n"
      "\n"
      "Exit status: 0 when no file has an error, 1 when one has, 2 when a file could not be\n"
      "read or the arguments were wrong.\n");
}

struct Options {
  bool Strict = false;
  bool Quiet = false;
  std::vector<std::string> Files;
};

// Checks one file and prints its summary; returns its exit status.
int CheckOne(const std::string& name, const Options& options, IdRegister& ids) {
  DiagnosticPrinter printer(name, options.Quiet);
  std::uint64_t entries = 0;
  try {
    if (!CheckFile(name, printer, ids, entries)) {
      ConsoleWriteError("vorlanth_check: " + name + ": no such file\n");
      return Trouble;
    }
  } catch (const Exception& failure) {
    printer.Flush();
    ConsoleWriteError("vorlanth_check: " + name + ": " + failure.Message + "\n");
    return Trouble;
  }
  printer.Flush();
  if (!options.Quiet) {
    ConsoleWrite(name + ": " + std::to_string(entries) + " entries, " +
                 std::to_string(printer.Errors) + " errors, " + std::to_string(printer.Warnings) +
                 " warnings\n");
  }
  const bool failed = printer.Errors != 0 || (options.Strict && printer.Warnings != 0);
  return failed ? ErrorsFound : Clean;
}

int Run(const std::vector<std::string>& arguments) {
  Options options;
  bool optionsEnd = false;
  for (const std::string& argument : arguments) {
    if (optionsEnd || argument.size() < 2 || argument[0] != '-') {
      for (std::string& name : PlatformExpandArgument(argument)) {
        options.Files.push_back(std::move(name));
      }
    } else if (argument == "--") {
      optionsEnd = true;
    } else if (argument == "--help") {
      ShowHelp();
      return Clean;
    } else if (argument == "--version") {
      ConsoleWrite("vorlanth_check " VORLANTH_VERSION "\n");
      return Clean;
    } else if (argument == "--strict") {
      options.Strict = true;
    } else if (argument == "--quiet") {
      options.Quiet = true;
    } else {
      ConsoleWriteError("vorlanth_check: unknown option " + argument + "\n" + UsageLine);
      return Trouble;
    }
  }
  if (options.Files.empty()) {
    ConsoleWriteError(std::string("vorlanth_check: no file to check\n") + UsageLine);
    return Trouble;
  }
  int status = Clean;
  const auto ids = std::make_unique<IdRegister>();
  for (const std::string& name : options.Files) {
    status = std::max(status, CheckOne(name, options, *ids));
  }
  return status;
}

} // namespace

int main(int argc, char** argv) {
  PlatformStartup();
  int status = Trouble;
  try {
    status = Run(ProgramArguments(argc, argv));
  } catch (const Exception& failure) {
    (void)PlatformStdWrite(StdStream::Error, "vorlanth_check: ", 16);
    (void)PlatformStdWrite(StdStream::Error, failure.Message.data(), failure.Message.size());
    (void)PlatformStdWrite(StdStream::Error, "\n", 1);
  } catch (const std::bad_alloc&) {
    (void)PlatformStdWrite(StdStream::Error, "vorlanth_check: Out of memory\n", 30);
  }
  if (PlatformConsoleClosesWithProgram()) {
    // Started by a double click or by files dropped onto it: keep the report on the screen.
    (void)PlatformStdWrite(StdStream::Output, "\nPress Enter to close this window.", 34);
    PlatformWaitForEnter();
  }
  return status;
}
