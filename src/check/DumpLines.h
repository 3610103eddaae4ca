// The dump's lines as the user sees them, held against the encoder's trace of where it starts
// each id field: a diagnostic names each place where the two readings part, or where the table
// would lose or change something.
#pragma once

#include "check/Diagnostics.h"
#include "check/EncoderTrace.h"
#include "check/SlipReport.h"
#include "console/Reporter.h"
#include "convert/FindUnit.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

class DumpLines {
public:
  DumpLines(Reporter& report, EncoderTrace& trace, IdRegister& ids)
      : Out(report), Trace(trace), Ids(ids) {}

  void Feed(std::span<const Unit> units);

  // The end of the dump; `cutShort`: the encoder ran out of input inside an id field.
  void Finish(bool cutShort);

  std::uint64_t NextLine = 1;
  bool CrLfEverywhere = false;
  bool LastLineOpen = false;
  std::uint64_t LastLineStart = 0;

private:
  // Takes the lines from `next` on that need no more than their id noted: each starts where the
  // encoder starts an id field, with a well-formed one, and its text holds no unit that needs a
  // closer look before its LF. Returns where the first other line starts, which the unit-at-a-time
  // path then takes.
  const Unit* TakePlainLines(const Unit* next, const Unit* last);

  // Built a second time for processors with AVX2, as the conversions' block paths are.
  [[gnu::flatten]] VORLANTH_WIDE const Unit* TakePlainLinesWide(const Unit* next, const Unit* last,
                                                                bool& other);

  template <UnitMasker Mask>
  const Unit* TakePlainLinesMasked(const Unit* next, const Unit* last, bool& other);

  // Whether a line at `next`, with its id field readable, starts where the encoder starts a
  // field, with a well-formed one that is not FFFF.
  [[nodiscard]] bool PlainStart(const Unit* next) const;

  void TakePlainLine(const Unit* next, const Unit* stop);

  void Take(Unit unit);

  // Keeps the last units of a text, which a "=" may show to be an id field.
  void Remember(const Unit* from, const Unit* to);

  // Whether the "=" at `at` ends four upper-case hex digits that lie in the text (from
  // `textStart`): an id field inside a text, where two lines were joined.
  static bool JoinedAt(const Unit* at, const Unit* textStart);

  // "XXXX=" inside the text of this line, the "=" just taken: two lines joined, perhaps.
  void ReportJoined();

  // A byte-order mark in a text: where a second dump starts, when an id field follows it.
  void ReportMarkInText();

  // A unit read while the id fields are out of step with the lines.
  void TakeOutOfStep(Unit unit);

  void StartLine();

  void EndLine(bool withLf);

  // A NUL ends its entry in the table; what follows on the line becomes an entry of its own,
  // whose id is the unit after the NUL (none at the end of the file).
  void ReportNul(std::optional<Unit> next);

  [[nodiscard]] bool WellFormed() const;

  void CheckIdField(std::uint64_t length);

  // Remembers the line's id, and says where it was used before if it was.
  [[gnu::always_inline]] void NoteId();

  // Says what the encoder makes of the lines since the slip began.
  void CloseSlip(bool atEnd, bool cutShort) { ReportSlip(Slipped, atEnd, cutShort, Out); }

  Reporter& Out;
  EncoderTrace& Trace;
  std::uint64_t Offset = 0;
  std::uint64_t Line = 1;
  std::uint64_t Column = 0; // of the last unit taken; 0 before a line's first unit
  std::uint64_t LineStart = 0;
  std::array<Unit, IdFieldUnits> Head{};
  // The start of the text of a line whose id field is not well formed, for its message.
  bool CaptureText = false;
  std::array<Unit, Slip::TextShown> Text{};
  std::size_t TextLength = 0;
  Unit Previous = 0;
  bool Aligned = false;
  Unit Id = 0;
  // A NUL in a text, reported at the next unit, which names the entry it makes.
  std::uint64_t NulLine = 0;
  std::uint64_t NulColumn = 0;
  // A byte-order mark in a text, reported once the units after it are seen.
  std::uint64_t MarkLine = 0;
  std::uint64_t MarkColumn = 0;
  std::array<Unit, IdFieldUnits> MarkNext{};
  std::size_t MarkNextCount = 0;
  std::array<Unit, 5> Recent{}; // the last units taken
  bool Ended = false;
  std::uint64_t FfffLine = 0;
  Slip Slipped;
  bool RealignPending = false;
  std::uint64_t TrailingEmptyLines = 0; // empty lines at no id field, just before this line
  std::uint64_t LfLines = 0;
  std::uint64_t CrLines = 0; // lines that end in CR LF
  std::uint64_t CrUnits = 0;
  SurrogatePairs Pairs;
  IdRegister& Ids;
  bool CountOnly = false;              // duplicate ids of plain lines are only counted
  std::uint64_t CountedDuplicates = 0; // not yet told to the reporter
};
