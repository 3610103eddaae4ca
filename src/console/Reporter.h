// Diagnostics as FILE:LINE:COLUMN: error|warning|note: MESSAGE, for every front end that names
// places in a file. Each kind of finding has one entry in its front end's table (severity, short
// name, text with numbered arguments); call sites name the kind and give the arguments. The
// reporter keeps records rather than text, prints them sorted by line and column, caps each kind,
// and keeps counting past the cap, so that the summary and the exit status stay true.
#pragma once

#include "io/Unit.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class Severity : std::uint8_t { Error, Warning, Note };

struct DiagnosticKind {
  Severity Level;
  const char* Name; // a short name, for tests and for the reader of the table
  const char* Text; // {0}, {1}, ... stand for the arguments
};

// The text with each {N} replaced by the N-th argument.
std::string FormatDiagnostic(std::string_view text, std::span<const std::string> arguments);

// "1 error", "2 errors": the count and the word, singular or plural as the count asks.
std::string Counted(std::uint64_t count, std::string_view one, std::string_view many);

struct ReporterOptions {
  bool Quiet = false;   // print only errors
  bool Strict = false;  // a warning is an error: printed and counted as one
  bool All = false;     // no cap on the diagnostics of one kind
  bool ToError = false; // printed on the standard error stream, as gettext's tools print theirs
  const char* MoreHint = ""; // after "N more like this": how to see them
  bool KindNames = false;    // each message ends in its kind's short name: "[crlf]"
};

// The lines of the file a reporter reports on, shown under each finding with a caret under its
// column, as compilers show theirs.
class SourceLines {
public:
  SourceLines() = default;
  SourceLines(const SourceLines&) = delete;
  SourceLines& operator=(const SourceLines&) = delete;
  virtual ~SourceLines() = default;
  // The units of line `number` (from 1), without its line end; false when there is no such line.
  virtual bool Line(std::uint64_t number, std::vector<Unit>& units) = 0;
};

class Reporter {
public:
  static constexpr std::uint64_t CapPerKind = 100;

  // The file's name is printed as Printable makes it.
  Reporter(std::string_view fileName, ReporterOptions options);

  // A finding of `kind` (found by argument-dependent lookup through Describe(kind)).
  template <class Kind>
  void Report(Kind kind, std::uint64_t line, std::uint64_t column,
              std::initializer_list<std::string> arguments = {}) {
    const DiagnosticKind& described = Describe(kind);
    if (Count(described)) {
      Keep(described, line, column, FormatDiagnostic(described.Text, List(arguments)));
    }
  }

  // The same for a finding that may come in great numbers: its arguments are made, by
  // `arguments()` (a std::vector<std::string>), only for a finding that is printed.
  template <class Kind, class MakeArguments>
  void ReportMany(Kind kind, std::uint64_t line, std::uint64_t column, MakeArguments arguments) {
    const DiagnosticKind& described = Describe(kind);
    if (Count(described)) {
      KeepMade(described, line, column, arguments);
    }
  }

  // Whether a finding of `kind` would be kept and printed now; once not, never again.
  template <class Kind> [[nodiscard]] bool Keeps(Kind kind) {
    const DiagnosticKind& described = Describe(kind);
    const KindCount& counted = CountOf(described);
    return !counted.Muted && (CountsAsError(described) || !Options.Quiet) &&
           (Options.All || counted.Kept < CapPerKind);
  }

  // Counts `count` findings of a kind that Keeps says is not kept.
  template <class Kind> void CountMany(Kind kind, std::uint64_t count) {
    const DiagnosticKind& described = Describe(kind);
    KindCount& counted = CountOf(described);
    if (!counted.Muted) {
      (CountsAsError(described) ? Errors : Warnings) += count;
      counted.Found += count;
    }
    LastKept = false;
  }

  // A second place for the finding reported last, printed right after it, never counted, and
  // dropped with it.
  template <class Kind>
  void Note(Kind kind, std::uint64_t line, std::uint64_t column,
            std::initializer_list<std::string> arguments = {}) {
    if (LastKept) {
      AddNote(line, column, Describe(kind), List(arguments));
    }
  }

  // What to do about the finding reported last, where it is certain: "join lines 4 and 5".
  void FixIt(std::string fix) {
    if (LastKept && !Records.empty()) {
      Records.back().Fix = std::move(fix);
    }
  }

  // Shows each finding's line from `lines` (which outlives the reporter's last Flush), or none.
  void ShowLines(SourceLines* lines) { Lines = lines; }

  // Neither counts nor keeps the findings of a kind from now on, until it is withdrawn: for a
  // kind that a later pass decides again, which would otherwise be held to the end.
  template <class Kind> void Mute(Kind kind) { CountOf(Describe(kind)).Muted = true; }

  // Takes back every finding of a kind, when one finding found later says it all better, and
  // lets a muted kind be reported again; returns how many there were.
  template <class Kind> std::uint64_t Withdraw(Kind kind) { return WithdrawKind(Describe(kind)); }

  // Keeps the findings of a kind that may be withdrawn until the end, even where --all prints
  // the others in blocks as they come, so that a withdrawn finding is never printed.
  template <class Kind> void HoldUntilEnd(Kind kind) { Held.push_back(&Describe(kind)); }

  // Prints what is held, in line and column order, with a line for each kind past its cap.
  void Flush();

  std::uint64_t Errors = 0;
  std::uint64_t Warnings = 0;

private:
  static std::span<const std::string> List(std::initializer_list<std::string> arguments) {
    return {arguments.begin(), arguments.size()};
  }

  struct Place {
    std::uint64_t Line;
    std::uint64_t Column;
    std::string Message;
  };
  struct Record {
    Place At;
    const DiagnosticKind* Kind;
    bool Error;
    std::optional<Place> NoteAt;
    std::string Fix;
  };

  struct KindCount {
    const DiagnosticKind* Kind;
    std::uint64_t Found; // cap or not
    std::uint64_t Kept;
    bool Muted = false;
  };

  KindCount& CountOf(const DiagnosticKind& kind) {
    if (LastCount != nullptr && LastCount->Kind == &kind) {
      return *LastCount;
    }
    return FindCount(kind);
  }
  KindCount& FindCount(const DiagnosticKind& kind);
  // Counts a finding; true when it is to be kept and printed. Inline: a file may hold millions.
  // A kind of severity Note stands alone (a list the user asked for): printed, never counted.
  bool Count(const DiagnosticKind& kind) {
    KindCount& count = CountOf(kind);
    if (count.Muted) {
      LastKept = false;
      return false;
    }
    const bool error = CountsAsError(kind);
    if (kind.Level != Severity::Note) {
      ++(error ? Errors : Warnings);
    }
    ++count.Found;
    LastKept = (error || !Options.Quiet) && (Options.All || count.Kept < CapPerKind);
    return LastKept;
  }
  void Keep(const DiagnosticKind& kind, std::uint64_t line, std::uint64_t column,
            std::string message);
  // Out of line, so that a finding that is only counted costs its caller no more than a test.
  template <class MakeArguments>
  [[gnu::noinline]] void KeepMade(const DiagnosticKind& kind, std::uint64_t line,
                                  std::uint64_t column, MakeArguments& arguments) {
    const std::vector<std::string> made = arguments();
    Keep(kind, line, column, FormatDiagnostic(kind.Text, made));
  }
  void AddNote(std::uint64_t line, std::uint64_t column, const DiagnosticKind& kind,
               std::span<const std::string> arguments);
  std::uint64_t WithdrawKind(const DiagnosticKind& kind);
  [[nodiscard]] bool CountsAsError(const DiagnosticKind& kind) const {
    return kind.Level == Severity::Error || (Options.Strict && kind.Level == Severity::Warning);
  }
  void Print(const Record& record, std::string& text) const;
  // The line `at` names and a caret under its column, when the file has that line.
  void ShowLine(const Place& at, std::string& text) const;
  // Prints what is held, in line and column order; all of it, or all but the held kinds.
  void PrintRecords(bool all);
  void Write(std::string_view text) const;

  std::string FileName;
  ReporterOptions Options;
  std::vector<Record> Records;
  std::vector<const DiagnosticKind*> Held;
  SourceLines* Lines = nullptr;
  bool LastKept = false;
  std::vector<KindCount> Counts;  // a file meets few kinds: looked through, the last one first
  KindCount* LastCount = nullptr; // into Counts, set again whenever Counts grows
};
