// vorlanth_check: finds the edits that would corrupt a table silently, before it is encoded.
#include "check/CheckFile.h"
#include "check/CheckKinds.h"
#include "console/CommandLine.h"
#include "console/Console.h"
#include "console/Printable.h"
#include "console/Reporter.h"
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

const char* const UsageLine = "Usage: vorlanth_check [--strict] [--quiet] [--all] FILE...\n";

void ShowHelp() {
  ConsoleWrite(UsageLine);
  ConsoleWrite(
      "Checks text dumps (.txt) and string tables (.lang) for what would break or silently\n"
      "change a table, and says what the encoder or decoder would make of it.\n"
      "\n"
      "In a dump: a missing or wrong byte-order mark, a byte-order mark inside the file (two\n"
      "dumps joined), an odd number of bytes, empty lines, lines too short for an id field (a\n"
      "line break pasted into a text), id fields that are not four hex digits and \"=\", a NUL\n"
      "in a text, FFFF ids, a last line without LF, CR LF or CR line ends, duplicate ids.\n"
      "In a table: an empty file, a missing end marker, an LF in a text, bytes after the end\n"
      "marker, duplicate ids. In the texts of both: lone surrogates, U+FFFE and U+FFFF, and\n"
      "U+0085, U+2028 and U+2029, which an editor may show as a line break.\n"
      "\n"
      "Each finding is printed as FILE:LINE:COLUMN: error|warning: MESSAGE, in line order, and a\n"
      "duplicate id is followed by a note at its first use. Quoted text shows what cannot be\n"
      "seen as \\n, \\r, \\t or <U+XXXX>.\n"
      "\n"
      "  --strict   count warnings as errors (and print them as errors)\n"
      "  --quiet    print only the errors\n"
      "  --all      print every finding (otherwise at most 100 of one kind a file)\n"
      "  --help     print this help and exit\n"
      "  --version  print the version and exit\n"
      "\n"
      "Exit status: 0 when no file has an error, 1 when one has, 2 when a file could not be\n"
      "read or the arguments were wrong.\n");
}

struct Options {
  ReporterOptions Report{.MoreHint = " (--all shows them)"};
  std::vector<std::string> Files;
};

// Checks one file and prints its findings and summary; returns its exit status.
int CheckOne(const std::string& name, const Options& options, IdRegister& ids) {
  Reporter reporter(name, options.Report);
  // Withdrawn once every line turns out to end in CR LF.
  reporter.HoldUntilEnd(CheckKind::CrBeforeLf);
  FileChecked checked;
  try {
    if (const PathKind kind = CheckFile(name, reporter, ids, checked); kind != PathKind::Regular) {
      ConsoleWriteError("vorlanth_check: " + Printable(name) + ": " + PathKindReason(kind) + "\n");
      return Trouble;
    }
  } catch (const Exception& failure) {
    if (ConsoleOutputFailed()) {
      throw;
    }
    reporter.Flush();
    ConsoleWriteError("vorlanth_check: " + Printable(name) + ": " + FailureReason(failure) + "\n");
    return Trouble;
  }
  reporter.Flush();
  if (!options.Report.Quiet) {
    const char* how = checked.ByName   ? ""
                      : checked.AsDump ? " (read as a dump)"
                                       : " (read as a table)";
    ConsoleWrite(Printable(name) + ": " + Counted(checked.Entries, "entry", "entries") + ", " +
                 Counted(reporter.Errors, "error", "errors") + ", " +
                 Counted(reporter.Warnings, "warning", "warnings") + how + "\n");
  }
  return reporter.Errors != 0 ? ErrorsFound : Clean;
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
      options.Report.Strict = true;
    } else if (argument == "--quiet") {
      options.Report.Quiet = true;
    } else if (argument == "--all") {
      options.Report.All = true;
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

// The standard output failed: a reader that went away ends the run quietly, as it does for
// other filters; anything else is said on the standard error.
void ReportOutputFailure(const Exception& failure) {
  const auto* inOut = dynamic_cast<const EInOutError*>(&failure);
  if (inOut != nullptr && PlatformIsBrokenPipe(inOut->OsCode)) {
    return;
  }
  const std::string reason = inOut != nullptr && inOut->ErrorCode == StdOutputUnusable
                                 ? "it is not open"
                                 : FailureReason(failure);
  ConsoleWriteError("vorlanth_check: cannot write to standard output: " + reason + "\n");
}

} // namespace

int main(int argc, char** argv) {
  PlatformStartup();
  int status = Trouble;
  try {
    status = Run(ProgramArguments(argc, argv));
  } catch (const Exception& failure) {
    try {
      if (ConsoleOutputFailed()) {
        ReportOutputFailure(failure);
      } else {
        ConsoleWriteError("vorlanth_check: " + FailureReason(failure) + "\n");
      }
    } catch (const Exception&) {
      // The standard error failed too: the exit status is all that is left to tell.
    }
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
