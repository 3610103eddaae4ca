// vorlanth_check: finds the edits that would corrupt a table silently, before it is encoded.
#include "check/CheckAgainst.h"
#include "check/CheckFile.h"
#include "check/CheckKinds.h"
#include "check/FileLines.h"
#include "console/CommandLine.h"
#include "console/Console.h"
#include "console/Printable.h"
#include "console/Reporter.h"
#include "io/InOutError.h"
#include "io/RecordFile.h"
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

const char* const UsageLine = "Usage: vorlanth_check [--against ORIGINAL.lang [--untranslated]] "
                              "[--strict] [--quiet] [--all]\n"
                              "                      [--brief] FILE...\n";

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
      "With --against, each file is also held against the table it was decoded from: entries\n"
      "missing, added, joined, moved or given another id, and texts that lost a placeholder, a\n"
      "tag, an escape, a space at either end or a number; a finding the original has too is only\n"
      "counted.\n"
      "\n"
      "Each finding is printed as FILE:LINE:COLUMN: error|warning: MESSAGE [KIND], in line order,\n"
      "then the line with a caret under the column, and what to do where that is certain; a\n"
      "duplicate id is followed by a note at its first use. Quoted text shows what cannot be\n"
      "seen as \\n, \\r, \\t or <U+XXXX>.\n"
      "\n"
      "  --against ORIGINAL.lang  compare with the original table\n"
      "  --untranslated  with --against, list the entries whose text is still the original\n"
      "  --strict   count warnings as errors (and print them as errors)\n"
      "  --quiet    print only the errors\n"
      "  --all      print every finding (otherwise at most 100 of one kind a file)\n"
      "  --brief    one line a finding, without the line, caret and fix\n"
      "  --help     print this help and exit\n"
      "  --version  print the version and exit\n"
      "\n"
      "Exit status: 0 when no file has an error, 1 when one has, 2 when a file could not be\n"
      "read or the arguments were wrong.\n");
}

struct Options {
  ReporterOptions Report{.MoreHint = " (--all shows them)", .KindNames = true};
  std::vector<std::string> Files;
  std::string Original; // --against
  bool ListStillOriginal = false;
  bool Brief = false;
};

// Checks one file and prints its findings and summary; returns its exit status.
int CheckOne(const std::string& name, const Options& options, IdRegister& ids) {
  Reporter reporter(name, options.Report);
  // Withdrawn once every line turns out to end in CR LF.
  reporter.HoldUntilEnd(CheckKind::CrBeforeLf);
  reporter.HoldUntilEnd(CheckKind::NoLfAtEnd); // withdrawn when a byte was lost on the last line
  const bool against = !options.Original.empty();
  if (against) {
    // Decided again against the original once the file has been read.
    for (const CheckKind kind : AgainstRedecides) {
      reporter.Mute(kind);
    }
    reporter.HoldUntilEnd(CheckKind::CrLfEverywhere);
    reporter.HoldUntilEnd(CheckKind::MarkOnly);
  }
  FileChecked checked;
  FileLines lines;
  AgainstCounts counts;
  try {
    if (const PathKind kind = CheckFile(name, reporter, ids, checked); kind != PathKind::Regular) {
      ConsoleWriteError("vorlanth_check: " + Printable(name) + ": " + PathKindReason(kind) + "\n");
      return Trouble;
    }
    if (!options.Brief && lines.Open(name, !checked.AsDump)) {
      reporter.ShowLines(&lines);
    }
    if (against && checked.Read) {
      counts = CheckAgainst(name, options.Original,
                            {.Table = !checked.AsDump,
                             .CrLfEverywhere = checked.CrLfEverywhere,
                             .ListStillOriginal = options.ListStillOriginal},
                            ids, reporter);
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
    std::string compared;
    if (against && checked.Read) {
      compared = "; " + std::to_string(counts.StillOriginal) + " of " +
                 std::to_string(counts.Paired) + " entries still the original";
      if (counts.AlsoInOriginal != 0) {
        compared += "; " + Counted(counts.AlsoInOriginal, "finding", "findings") +
                    " also in the original, not shown";
      }
    }
    ConsoleWrite(Printable(name) + ": " + Counted(checked.Entries, "entry", "entries") + ", " +
                 Counted(reporter.Errors, "error", "errors") + ", " +
                 Counted(reporter.Warnings, "warning", "warnings") + how + compared + "\n");
  }
  return reporter.Errors != 0 ? ErrorsFound : Clean;
}

// Why the table given to --against cannot serve as the original, or nothing.
std::string RefuseOriginal(const std::string& name) {
  if (HasExtension(name, ".txt")) {
    return "is a dump; --against takes the table (.lang) the dump was decoded from";
  }
  try {
    RecordFile file;
    OpenInputFile(file, name);
  } catch (const Exception& failure) {
    return FailureReason(failure);
  }
  return "";
}

int Run(const std::vector<std::string>& arguments) {
  Options options;
  bool optionsEnd = false;
  bool originalNext = false;
  for (const std::string& argument : arguments) {
    if (originalNext) {
      options.Original = argument;
      originalNext = false;
    } else if (!optionsEnd && argument.starts_with("--against=")) {
      options.Original = argument.substr(10);
    } else if (optionsEnd || argument.size() < 2 || argument[0] != '-') {
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
    } else if (argument == "--against") {
      originalNext = true;
    } else if (argument == "--untranslated") {
      options.ListStillOriginal = true;
    } else if (argument == "--brief") {
      options.Brief = true;
    } else {
      ConsoleWriteError("vorlanth_check: unknown option " + argument + "\n" + UsageLine);
      return Trouble;
    }
  }
  if (originalNext || (options.ListStillOriginal && options.Original.empty())) {
    ConsoleWriteError(std::string("vorlanth_check: --against needs the original table (--against "
                                  "ORIGINAL.lang)\n") +
                      UsageLine);
    return Trouble;
  }
  if (options.Files.empty()) {
    ConsoleWriteError(std::string("vorlanth_check: no file to check\n") + UsageLine);
    return Trouble;
  }
  if (!options.Original.empty()) {
    if (const std::string refused = RefuseOriginal(options.Original); !refused.empty()) {
      ConsoleWriteError("vorlanth_check: " + Printable(options.Original) + ": " + refused + "\n");
      return Trouble;
    }
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
