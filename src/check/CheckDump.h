// Checking a text dump before it is encoded. The encoder's own core reads the dump; a trace of
// where it starts each id field, and which id it stores from it, runs beside the lines as the user
// sees them, and a diagnostic names each place where the two readings part, or where the table
// would lose or change something. The checker therefore cannot drift from the converter.
#pragma once

#include "check/Diagnostics.h"
#include "check/TextMasks.h"
#include "convert/EncodeUnits.h"
#include "convert/Formats.h"
#include "hexconvert/HexConvert.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct CheckSummary {
  std::uint64_t Entries = 0;       // the entries the table would hold
  std::uint64_t NextLine = 1;      // the line (or entry) after the last one
  bool Checked = false;            // false when the file was refused before its contents were read
  bool EndMarker = false;          // tables: the end marker was found
  bool UnitsAfterEnd = false;      // tables: units follow the end marker
  bool CrLfEverywhere = false;     // dumps: every line ends in CR LF
  bool LastLineOpen = false;       // dumps: the last line has units and no LF
  std::uint64_t LastLineStart = 0; // dumps: the unit offset of the last line, mark included
};

namespace detail {

// The encoder's output seen only for where each id field starts in the dump (offsets count units
// after the byte-order mark) and the id stored from it.
struct EncoderTrace {
  struct IdField {
    std::uint64_t Offset;
    Unit Id;
    bool WellFormed = false; // known to be four digits and "="; unknown when false
  };
  // A queue of at most about one chunk's worth, as the scanner takes them as it goes: kept in one
  // vector that starts over whenever all is taken (or drops its taken front once that is half of
  // it), so that a field costs a store.
  struct FieldQueue {
    std::vector<IdField> Items;
    std::size_t Taken = 0;
    [[nodiscard]] bool empty() const { return Taken == Items.size(); }
    [[nodiscard]] const IdField& front() const { return Items[Taken]; }
    [[nodiscard]] const IdField& back() const { return Items.back(); }
    void pop_front() { ++Taken; }
    void pop_back() { Items.pop_back(); }
    void push_back(IdField field) {
      if (Taken == Items.size()) {
        Items.clear();
        Taken = 0;
      } else if (Taken >= 4096 && 2 * Taken >= Items.size()) {
        Items.erase(Items.begin(), Items.begin() + static_cast<std::ptrdiff_t>(Taken));
        Taken = 0;
      }
      Items.push_back(field);
    }
  };
  FieldQueue Fields;
  std::uint64_t Offset = 0;
  bool InText = false;
  bool LastIdWasEndMarker = false;

  void Put(const Unit* /*units*/, std::size_t count) { Offset += count; }
  // A whole line from the encoder's block path.
  void Line(Unit id, std::size_t length, bool wellFormed) {
    Fields.push_back({Offset, id, wellFormed});
    Offset += IdFieldUnits + length + 1;
  }
  void PutUnit(Unit unit) {
    if (!InText) {
      // An id, or the end marker written at the end of the input (told apart afterwards).
      Fields.push_back({Offset, unit});
      LastIdWasEndMarker = unit == EndMarkerId;
      Offset += IdFieldUnits;
      InText = true;
    } else if (unit == TextTerminator) {
      Offset += 1; // the LF it came from
      InText = false;
    }
    // Otherwise the end marker after a last line without LF: it stands for no unit of the dump.
  }
};

// The entries the encoder would make once a line too short for an id field has put its id fields
// out of step with the lines: from the short line (or the first of a run of empty lines) until an
// id field starts a line again, or the file ends. Bounded: a few entries are described, the rest
// counted.
struct Slip {
  static constexpr std::size_t Described = 3;
  static constexpr std::size_t TextShown = 16;
  struct Entry {
    Unit Id = 0;
    std::uint64_t TextStart = 0;
    std::array<Unit, TextShown> Text{};
    std::size_t Length = 0;
    bool Cut = false;        // the text is longer than shown
    bool Terminated = false; // an LF ended it
  };

  bool Open = false;
  std::uint64_t FirstLine = 0;
  std::uint64_t LastEmptyLine = 0;        // 0 unless the slip begins with empty lines
  std::array<Unit, IdFieldUnits> Field{}; // the units of the first id field read out of step
  std::size_t FieldLength = 0;
  std::uint64_t NextLine = 0; // the first line after the short or empty ones
  std::array<Unit, IdFieldUnits> NextHead{};
  std::size_t NextHeadLength = 0;
  std::array<Entry, Described> Made{};
  std::size_t MadeCount = 0;
  std::uint64_t MoreMade = 0;

  void Start(std::uint64_t line, bool empty) {
    *this = Slip{};
    Open = true;
    FirstLine = line;
    LastEmptyLine = empty ? line : 0;
  }

  void Make(Unit id, std::uint64_t textStart) {
    if (MadeCount < Described) {
      Made[MadeCount].Id = id;
      Made[MadeCount++].TextStart = textStart;
    } else {
      ++MoreMade;
    }
  }

  // A unit at `offset`, read out of step.
  void Take(Unit unit, std::uint64_t offset) {
    if (FieldLength < IdFieldUnits) {
      Field[FieldLength++] = unit;
    }
    for (std::size_t i = 0; i < MadeCount; ++i) {
      Entry& entry = Made[i];
      if (entry.Terminated || entry.Cut || offset < entry.TextStart) {
        continue;
      }
      if (unit == LineEnd) {
        entry.Terminated = true;
      } else if (entry.Length < TextShown) {
        entry.Text[entry.Length++] = unit;
      } else {
        entry.Cut = true;
      }
    }
  }
};

// The dump's lines as the user sees them, held against the trace.
template <class Report> class DumpLines {
public:
  DumpLines(Report& report, EncoderTrace& trace, IdRegister& ids)
      : Out(report), Trace(trace), Ids(ids) {}

  void Feed(std::span<const Unit> units) {
    const Unit* next = units.data();
    const Unit* const last = next + units.size();
    while (next != last) {
      if (Column == 0 && !Slipped.Open && !RealignPending && !Ended) {
        next = TakePlainLines(next, last);
        if (next == last) {
          break;
        }
      }
      // (The unit after a NUL is looked at: it names the entry the rest of the line becomes.)
      if (Column >= IdFieldUnits && !Slipped.Open && NulColumn == 0 && MarkColumn == 0 &&
          (!CaptureText || TextLength == Slip::TextShown)) {
        // Inside a text: plain units need no more than to be counted.
        const Unit* const stop = FindSpecialTextUnit<true>(next, last);
        if (stop != next) {
          if (Pairs.HighPending) {
            Take(*next++); // it is no low surrogate: the pending one stands alone
            continue;
          }
          const auto count = static_cast<std::uint64_t>(stop - next);
          Remember(next, stop);
          Column += count;
          Offset += count;
          Previous = stop[-1];
          next = stop;
          if (next == last) {
            break;
          }
        }
      }
      Take(*next++);
    }
  }

  // The end of the dump; `cutShort`: the encoder ran out of input inside an id field.
  void Finish(bool cutShort) {
    if (NulColumn != 0) {
      ReportNul(std::nullopt);
    }
    if (MarkColumn != 0) {
      ReportMarkInText();
    }
    const bool unfinished = Column != 0;
    LastLineOpen = unfinished;
    LastLineStart = LineStart + 1;
    if (unfinished) {
      const bool crLineEnds = LfLines == 0 && CrUnits != 0; // said below, for the whole file
      if (!cutShort && !Ended && Aligned && Id != EndMarkerId && !crLineEnds) {
        Out.Report(CheckKind::NoLfAtEnd, Line, Column + 1);
        Out.FixIt("press Enter at the end of line " + std::to_string(Line));
      }
      EndLine(false);
    }
    if (Slipped.Open) {
      CloseSlip(true, cutShort);
    } else if (cutShort && !unfinished && TrailingEmptyLines != 0) {
      // Fewer LFs than an id field takes: the encoder never starts the field it runs out in.
      const std::uint64_t first = Line - TrailingEmptyLines;
      Out.Report(TrailingEmptyLines == 1 ? CheckKind::EmptyLineAtEnd : CheckKind::EmptyLinesAtEnd,
                 first, 1, {LineRange(first, Line - 1)});
    } else if (cutShort) {
      Out.Report(CheckKind::ShortLastLine, unfinished ? Line - 1 : Line, 1);
    }
    const std::uint64_t lines = Line - 1;
    if (FfffLine != 0) {
      if (lines > FfffLine) {
        Out.Report(CheckKind::FfffEndsTable, FfffLine, 1,
                   {Counted(lines - FfffLine, "line", "lines")});
      } else {
        Out.Report(CheckKind::FfffOnLastLine, FfffLine, 1);
      }
    }
    if (LfLines == 0 && CrUnits != 0) {
      Out.Report(CheckKind::CrLineEnds, 1, 1);
    } else if (LfLines != 0 && CrLines == LfLines) {
      // Not a CR here and there but the editor's line ends: one error says it for every line.
      Out.Withdraw(CheckKind::CrBeforeLf);
      Out.Report(CheckKind::CrLfEverywhere, 1, 1);
      CrLfEverywhere = true;
    }
    NextLine = Line;
  }

  std::uint64_t NextLine = 1;
  bool CrLfEverywhere = false;
  bool LastLineOpen = false;
  std::uint64_t LastLineStart = 0;

private:
  // Takes the lines from `next` on that need no more than their id noted: each starts where the
  // encoder starts an id field, with a well-formed one, and its text holds no unit that needs a
  // closer look before its LF. Returns where the first other line starts, which the unit-at-a-time
  // path then takes.
  const Unit* TakePlainLines(const Unit* next, const Unit* last) {
    while (!Trace.Fields.empty() && Trace.Fields.front().Offset < Offset) {
      Trace.Fields.pop_front(); // inside a line that was already reported
    }
    // Once duplicate ids are only counted, they are counted without a branch on each.
    CountOnly = !Out.Keeps(CheckKind::DuplicateIdLine);
    // Runs of lines by masks of their special units; the few lines at the end one at a time.
    bool other = false;
    next = WideScanAvailable() ? TakePlainLinesWide(next, last, other)
                               : TakePlainLinesMasked<SpecialTextMask<true>>(next, last, other);
    while (!other && last - next > static_cast<std::ptrdiff_t>(IdFieldUnits) && PlainStart(next)) {
      const Unit* const stop = FindSpecialTextUnit<true>(next + IdFieldUnits, last);
      if (stop == last || *stop != LineEnd) {
        break;
      }
      TakePlainLine(next, stop);
      next = stop + 1;
    }
    if (CountedDuplicates != 0) {
      Out.CountMany(CheckKind::DuplicateIdLine, CountedDuplicates);
      CountedDuplicates = 0;
    }
    return next;
  }

  // Built a second time for processors with AVX2, as the conversions' block paths are.
  [[gnu::flatten]] VORLANTH_WIDE const Unit* TakePlainLinesWide(const Unit* next, const Unit* last,
                                                                bool& other) {
    return TakePlainLinesMasked<SpecialTextMaskWide<true>>(next, last, other);
  }

  template <UnitMasker Mask>
  const Unit* TakePlainLinesMasked(const Unit* next, const Unit* last, bool& other) {
    using Scan = MaskedScan<Mask, 1 + IdFieldUnits>; // an LF, and the next line's id field
    if (!Scan::Fits(next + IdFieldUnits, last)) {
      return next;
    }
    Scan specials(next + IdFieldUnits, last, 0);
    for (;;) {
      // The field lies before the text, which lies in or before the scan's last window.
      if (!PlainStart(next)) {
        other = true;
        return next;
      }
      // Surrogate pairs and a CR inside a text are plain too; each needs only a look.
      std::uint64_t carriageReturns = 0;
      const Unit* stop = nullptr;
      for (;;) {
        if (specials.Empty() && !specials.Refill(next + IdFieldUnits)) {
          return next;
        }
        stop = specials.Peek();
        if (*stop == LineEnd) {
          specials.Take();
          break;
        }
        const unsigned plain = *stop == IdFieldEnd ? (JoinedAt(stop, next + IdFieldUnits) ? 0 : 1)
                                                   : PlainSpecialUnits(stop);
        if (plain == 0) {
          other = true;
          return next;
        }
        carriageReturns += plain == 1 ? 1 : 0;
        specials.Drop(plain);
      }
      CrUnits += carriageReturns;
      TakePlainLine(next, stop);
      next = stop + 1;
    }
  }

  // Whether a line at `next`, with its id field readable, starts where the encoder starts a
  // field, with a well-formed one that is not FFFF.
  [[nodiscard]] bool PlainStart(const Unit* next) const {
    if (Trace.Fields.empty()) {
      return false;
    }
    const EncoderTrace::IdField& field = Trace.Fields.front();
    Unit written = 0;
    return field.Offset == Offset && field.Id != EndMarkerId &&
           (field.WellFormed || ReadWellFormedIdField(next, written));
  }

  void TakePlainLine(const Unit* next, const Unit* stop) {
    Id = Trace.Fields.front().Id;
    Trace.Fields.pop_front();
    if (CountOnly) {
      CountedDuplicates += Ids.UseCounted(Id, Line) ? 1 : 0;
    } else {
      NoteId();
    }
    Offset += static_cast<std::uint64_t>(stop + 1 - next);
    ++LfLines;
    ++Line;
    TrailingEmptyLines = 0;
  }

  void Take(Unit unit) {
    if (NulColumn != 0) {
      // The unit after a NUL is the id of the entry the rest of the line becomes (the LF's
      // terminator when the NUL ends the text).
      ReportNul(unit == LineEnd ? TextTerminator : unit);
    }
    if (MarkColumn != 0) {
      // The units after a byte-order mark in a text tell whether a second dump starts there.
      MarkNext[MarkNextCount++] = unit;
      if (unit == LineEnd || MarkNextCount == IdFieldUnits) {
        ReportMarkInText();
      }
    }
    if (Column == 0) {
      StartLine();
    }
    ++Column;
    if (Column <= IdFieldUnits) {
      Head[Column - 1] = unit;
    }
    if (Column == 1 && RealignPending) {
      RealignPending = false;
      if (unit == LineEnd) {
        // One more empty line: the id field the encoder starts here is made of LFs too.
        Aligned = false;
        Slipped.Make(Id, Offset + IdFieldUnits);
      } else {
        CloseSlip(false, false);
      }
    }
    if (Slipped.Open) {
      TakeOutOfStep(unit);
    }
    if (Column == IdFieldUnits && Aligned && !Ended && !WellFormed()) {
      CaptureText = true; // the text the encoder would store goes into the message
      TextLength = 0;
    }
    ++Offset;
    if (unit == LineEnd) {
      ++LfLines;
      if (Previous == 0x000D && Column > 1 && !Ended) {
        ++CrLines;
        const Unit id = Id;
        Out.ReportMany(CheckKind::CrBeforeLf, Line, Column - 1,
                       [id] { return std::vector<std::string>{IdText(id)}; });
      }
      EndLine(true);
      return;
    }
    if (unit == 0x000D) {
      ++CrUnits;
    }
    if (Column > IdFieldUnits && !Ended) {
      if (CaptureText && TextLength < Slip::TextShown) {
        Text[TextLength++] = unit;
      }
      if (unit == TextTerminator) {
        NulLine = Line;
        NulColumn = Column;
      } else if (unit == TextBom) {
        MarkLine = Line;
        MarkColumn = Column;
        MarkNextCount = 0;
      } else if (unit == IdFieldEnd) {
        // (After a CR or a byte-order mark, the line end or the second dump is named instead.)
        if (Aligned && Column > 2 * IdFieldUnits - 1 &&
            JoinedAt(Recent.data() + Recent.size(), Recent.data() + 1) &&
            (Column == 2 * IdFieldUnits || (Recent[0] != 0x000D && Recent[0] != TextBom))) {
          ReportJoined();
        }
      } else if (IsLineBreakCharacter(unit)) {
        Out.Report(CheckKind::LineBreakCharacter, Line, Column, {LineBreakCharacterName(unit)});
      } else if (IsSuspectUnit(unit) || Pairs.HighPending) {
        Pairs.Take(unit, Line, Column, Out);
      }
    }
    Previous = unit;
    Remember(&unit, &unit + 1);
  }

  // Keeps the last units of a text, which a "=" may show to be an id field.
  void Remember(const Unit* from, const Unit* to) {
    const auto count = static_cast<std::size_t>(to - from);
    if (count >= Recent.size()) {
      std::copy(to - Recent.size(), to, Recent.begin());
    } else {
      std::copy(Recent.begin() + static_cast<std::ptrdiff_t>(count), Recent.end(), Recent.begin());
      std::copy(from, to, Recent.end() - static_cast<std::ptrdiff_t>(count));
    }
  }

  // Whether the "=" at `at` ends four upper-case hex digits that lie in the text (from
  // `textStart`): an id field inside a text, where two lines were joined.
  static bool JoinedAt(const Unit* at, const Unit* textStart) {
    if (at - textStart < 4) {
      return false;
    }
    return std::all_of(at - 4, at, [](Unit unit) {
      return (unit >= '0' && unit <= '9') || (unit >= 'A' && unit <= 'F');
    });
  }

  // "XXXX=" inside the text of this line, the "=" just taken: two lines joined, perhaps.
  void ReportJoined() {
    const Unit second = IdFieldValue(
        std::array<Unit, IdFieldUnits>{Recent[1], Recent[2], Recent[3], Recent[4], IdFieldEnd}
            .data());
    const std::uint64_t column = Column - 4;
    Out.Report(CheckKind::JoinedLinesGuess, Line, column, {IdText(second), IdText(Id)});
    Out.FixIt("press Enter before \"" + IdText(second) + "=\" (line " + std::to_string(Line) +
              ", column " + std::to_string(column) + ")");
  }

  // A byte-order mark in a text: where a second dump starts, when an id field follows it.
  void ReportMarkInText() {
    Unit id = 0;
    const bool field = MarkNextCount == IdFieldUnits && ReadWellFormedIdField(MarkNext.data(), id);
    Out.Report(CheckKind::ByteOrderMarkInText, MarkLine, MarkColumn,
               {field ? ", as where two dumps were joined (an id field follows it)" : ""});
    if (field) {
      Out.FixIt("press Enter before the byte-order mark, then delete it (line " +
                std::to_string(MarkLine) + ", column " + std::to_string(MarkColumn) + ")");
    }
    MarkColumn = 0;
  }

  // A unit read while the id fields are out of step with the lines.
  void TakeOutOfStep(Unit unit) {
    // An id field the encoder starts inside a line.
    if (Column > 1 && !Trace.Fields.empty() && Trace.Fields.front().Offset == Offset) {
      Slipped.Make(Trace.Fields.front().Id, Offset + IdFieldUnits);
      Trace.Fields.pop_front();
    }
    Slipped.Take(unit, Offset);
  }

  void StartLine() {
    while (!Trace.Fields.empty() && Trace.Fields.front().Offset < Offset) {
      Trace.Fields.pop_front(); // inside a line that was already reported
    }
    Aligned = !Ended && !Trace.Fields.empty() && Trace.Fields.front().Offset == Offset;
    if (Aligned) {
      Id = Trace.Fields.front().Id;
      Trace.Fields.pop_front();
      if (Slipped.Open) {
        // In step again, unless this line turns out empty too (decided at its first unit).
        if (Slipped.LastEmptyLine != 0 && Slipped.LastEmptyLine + 1 == Line &&
            Slipped.NextLine == 0) {
          RealignPending = true;
        } else {
          CloseSlip(false, false);
        }
      }
    }
    LineStart = Offset;
    Previous = 0;
    CaptureText = false;
  }

  void EndLine(bool withLf) {
    Pairs.End(Out);
    const std::uint64_t length = Column - (withLf ? 1 : 0);
    if (Aligned && !Ended) {
      if (Id == EndMarkerId) {
        Ended = true;
        FfffLine = Line;
      } else {
        CheckIdField(length);
      }
    } else if (Slipped.Open && Slipped.NextLine == 0) {
      if (length == 0 && Slipped.LastEmptyLine != 0 && Slipped.LastEmptyLine + 1 == Line) {
        Slipped.LastEmptyLine = Line;
      } else {
        Slipped.NextLine = Line;
        Slipped.NextHeadLength = std::min<std::uint64_t>(length, IdFieldUnits);
        std::copy_n(Head.begin(), Slipped.NextHeadLength, Slipped.NextHead.begin());
      }
    }
    TrailingEmptyLines = length == 0 && !Aligned && !Slipped.Open ? TrailingEmptyLines + 1 : 0;
    ++Line;
    Column = 0;
  }

  // A NUL ends its entry in the table; what follows on the line becomes an entry of its own,
  // whose id is the unit after the NUL (none at the end of the file).
  void ReportNul(std::optional<Unit> next) {
    std::string rest;
    if (!next.has_value()) {
      rest = ", and the table ends there";
    } else if (*next == TextTerminator) {
      rest = ", and the line's end becomes an empty entry 0000";
    } else {
      rest = ", and the rest of the line becomes entry " + IdText(*next) +
             " (the character after the NUL read as its id)";
      if (const std::uint64_t first = Ids.FirstLine(*next); first != 0) {
        rest += ", the id line " + std::to_string(first) + " already uses";
      }
    }
    Out.Report(CheckKind::NulInText, NulLine, NulColumn, {rest});
    NulColumn = 0;
  }

  [[nodiscard]] bool WellFormed() const {
    Unit id = 0;
    return ReadWellFormedIdField(Head.data(), id);
  }

  void CheckIdField(std::uint64_t length) {
    if (length < IdFieldUnits) {
      // The id field runs on past the LF: from here the fields are out of step with the lines.
      Slipped.Start(Line, length == 0);
      for (std::uint64_t i = 0; i < length; ++i) {
        Slipped.Field[Slipped.FieldLength++] = Head[i];
      }
      Slipped.Field[Slipped.FieldLength++] = LineEnd;
      Slipped.Make(Id, LineStart + IdFieldUnits);
    } else if (!WellFormed()) {
      const std::string field = QuotedUnits(std::span<const Unit>(Head.data(), IdFieldUnits));
      const std::string text = QuotedUnits(std::span<const Unit>(Text.data(), TextLength)) +
                               (length - IdFieldUnits > TextLength ? "..." : "");
      const bool mark = std::find(Head.begin(), Head.end(), TextBom) != Head.end();
      const auto hexDigit = [](Unit unit) {
        return unit < 0x80 && HexDigitValue(static_cast<char>(unit)) != NotAHexDigit;
      };
      // What an editor or a keyboard puts where "=" was meant: a tab, a space, a full-width or
      // small equals sign. (A deleted "=" leaves the text's first character there instead,
      // which the table then loses: that stays an error.)
      const Unit fifth = Head[4];
      const bool standIn = fifth == '\t' || fifth == ' ' || fifth == 0x00A0 || fifth == 0x3000 ||
                           fifth == 0xFF1D || fifth == 0xFE66;
      if (!mark && standIn && std::all_of(Head.begin(), Head.begin() + 4, hexDigit)) {
        // The encoder skips what is no digit, so the table comes out as meant.
        Out.Report(
            CheckKind::OddIdSeparator, Line, 5,
            {field, QuotedUnits(std::span<const Unit>(Head.data() + 4, 1)), IdText(Id), text});
      } else if (!mark && fifth != IdFieldEnd && !standIn && Line > 1 &&
                 !std::all_of(Head.begin(), Head.begin() + 4, hexDigit)) {
        // Nothing of an id field at all: the text of the line before, cut by a line break.
        Out.Report(CheckKind::TextOnNextLine, Line, 1,
                   {std::to_string(Line), std::to_string(Line - 1), field, IdText(Id), text});
        Out.FixIt("join lines " + std::to_string(Line - 1) + " and " + std::to_string(Line));
      } else {
        Out.Report(mark ? CheckKind::ByteOrderMarkInIdField : CheckKind::BadIdField, Line, 1,
                   {field, IdText(Id), text});
      }
    }
    // A short line's id is a misreading, which its own error names.
    if (length >= IdFieldUnits) {
      NoteId();
    }
  }

  // Remembers the line's id, and says where it was used before if it was.
  [[gnu::always_inline]] void NoteId() {
    if (const std::uint64_t first = Ids.Use(Id, Line); first != 0) {
      Out.ReportMany(CheckKind::DuplicateIdLine, Line, 1, [this, first] {
        return std::vector<std::string>{IdText(Id), std::to_string(first)};
      });
      Out.Note(CheckKind::FirstUsedHere, first, 1);
    }
  }

  // Says what the encoder makes of the lines since the slip began.
  void CloseSlip(bool atEnd, bool cutShort) {
    Slip& slip = Slipped;
    slip.Open = false;
    const bool empty = slip.LastEmptyLine != 0;
    const std::uint64_t line = slip.FirstLine;
    if (atEnd && cutShort) {
      if (empty && slip.NextLine == 0) {
        Out.Report(slip.LastEmptyLine == line ? CheckKind::EmptyLineAtEnd
                                              : CheckKind::EmptyLinesAtEnd,
                   line, 1, {LineRange(line, slip.LastEmptyLine)});
      } else {
        Out.Report(CheckKind::ShortLineAtEnd, line, 1, {std::to_string(line)});
      }
      return;
    }
    std::vector<std::string> made;
    for (std::size_t i = 0; i < slip.MadeCount; ++i) {
      const Slip::Entry& entry = slip.Made[i];
      made.push_back(DescribeEntry(entry.Id, std::span<const Unit>(entry.Text.data(), entry.Length),
                                   entry.Cut));
    }
    const Slip::Entry& last = slip.Made[slip.MadeCount - 1];
    if (atEnd && slip.MoreMade == 0 && !last.Terminated && !last.Cut && last.Id != EndMarkerId) {
      if (empty && slip.NextLine == 0) {
        Out.Report(CheckKind::EmptyLinesCutTable, line, 1,
                   {LineRange(line, slip.LastEmptyLine), IdText(last.Id)});
      } else {
        Out.Report(CheckKind::ShortLineCutsTable, line, 1, {std::to_string(line), IdText(last.Id)});
      }
      return;
    }
    const std::string entries = JoinEntries(made, slip.MoreMade);
    // The entry the user meant to start on the next line, when the encoder makes none with its id.
    std::string lost;
    if (slip.NextHeadLength >= 4) {
      bool digits = true;
      for (std::size_t i = 0; i < 4; ++i) {
        digits = digits && IdFieldDigit(slip.NextHead[i]) != NotAHexDigit;
      }
      const Unit meant = IdFieldValue(slip.NextHead.data());
      const bool madeOne = std::any_of(slip.Made.begin(), slip.Made.begin() + slip.MadeCount,
                                       [meant](const Slip::Entry& e) { return e.Id == meant; });
      if (digits && !madeOne) {
        lost = LostEntry(meant, slip.NextLine);
      }
    }
    if (empty) {
      Out.Report(slip.LastEmptyLine == line ? CheckKind::EmptyLine : CheckKind::EmptyLines, line, 1,
                 {LineRange(line, slip.LastEmptyLine), entries + lost});
      Out.FixIt(slip.LastEmptyLine == line ? "delete line " + std::to_string(line)
                                           : "delete lines " + LineRange(line, slip.LastEmptyLine));
    } else {
      Out.Report(CheckKind::ShortLine, line, 1,
                 {std::to_string(line), line > 1 ? TextGoesOn(line - 1) : "",
                  QuotedUnits(std::span<const Unit>(slip.Field.data(), slip.FieldLength)), entries,
                  lost});
      if (line > 1) {
        Out.FixIt("join lines " + std::to_string(line - 1) + " and " + std::to_string(line));
      }
    }
  }

  Report& Out;
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

// Hands the encoder small chunks and shows the lines scanner every unit it has used, once the
// trace has accounted for it: an id field that straddles two chunks is traced only when the
// encoder has read all of it, so the few units of a field still open are held back until then.
template <class Source, class Lines> class TappedSource {
public:
  static constexpr std::size_t Chunk = 16384;

  TappedSource(Source& inner, Lines& scanner, const EncoderTrace& trace)
      : Inner(inner), Scanner(scanner), Trace(trace) {}

  std::span<const Unit> Peek() {
    const std::span<const Unit> ready = Inner.Peek();
    return ready.first(ready.size() < Chunk ? ready.size() : Chunk);
  }

  void Advance(std::size_t count) {
    const std::span<const Unit> used = Inner.Peek().first(count);
    Used += count;
    const std::uint64_t traced = Trace.Offset < Used ? Trace.Offset : Used;
    // The units held back come first; the traced part of this chunk is shown where it lies, and
    // only the rest (a few units at most) is copied to be held.
    auto ready = static_cast<std::size_t>(traced - Fed);
    const std::size_t fromHeld = ready < HeldCount ? ready : HeldCount;
    Release(fromHeld);
    ready -= fromHeld;
    Scanner.Feed(used.first(ready));
    Fed += ready;
    std::copy(used.begin() + static_cast<std::ptrdiff_t>(ready), used.end(),
              Held.begin() + static_cast<std::ptrdiff_t>(HeldCount));
    HeldCount += count - ready;
    Inner.Advance(count);
  }

  // After the encoder has finished: the units it held back, then the rest of the dump.
  void Drain() {
    Release(HeldCount);
    for (std::span<const Unit> rest = Inner.Peek(); !rest.empty(); rest = Inner.Peek()) {
      Scanner.Feed(rest);
      Used += rest.size();
      Fed += rest.size();
      Inner.Advance(rest.size());
    }
  }

  std::uint64_t Used = 0;

private:
  void Release(std::size_t count) {
    Scanner.Feed(std::span<const Unit>(Held.data(), count));
    std::copy(Held.begin() + static_cast<std::ptrdiff_t>(count),
              Held.begin() + static_cast<std::ptrdiff_t>(HeldCount), Held.begin());
    HeldCount -= count;
    Fed += count;
  }

  Source& Inner;
  Lines& Scanner;
  const EncoderTrace& Trace;
  std::uint64_t Fed = 0;
  std::array<Unit, Chunk + IdFieldUnits> Held{};
  std::size_t HeldCount = 0;
};

// The first units of a dump without its byte-order mark, as bytes, named when recognisable.
CheckKind NameMissingByteOrderMark(std::span<const Unit> first);

} // namespace detail

// Checks a dump, its byte-order mark included. `report` takes Report(kind, line, column,
// arguments), Note(...) and Withdraw(kind), as a Reporter does; `ids` is cleared and then
// remembers the ids used.
template <class Source, class Report>
CheckSummary CheckDumpUnits(Source& source, Report& report, IdRegister& ids) {
  CheckSummary summary;
  const std::span<const Unit> first = source.Peek();
  if (first.empty()) {
    report.Report(CheckKind::EmptyDump, 1, 1);
    return summary;
  }
  if (first[0] != TextBom) {
    report.Report(detail::NameMissingByteOrderMark(first), 1, 1);
    return summary;
  }
  source.Advance(1);
  summary.Checked = true;
  if (source.Peek().empty()) {
    report.Report(CheckKind::MarkOnly, 1, 2);
    return summary;
  }
  detail::EncoderTrace trace;
  ids.Clear();
  detail::DumpLines<Report> lines(report, trace, ids);
  detail::TappedSource<Source, detail::DumpLines<Report>> tapped(source, lines, trace);
  const EncodeResult encoded = EncodeUnits(tapped, trace);
  const bool stoppedAtEndMarker =
      !encoded.IdFieldCutShort && trace.LastIdWasEndMarker && trace.Offset == tapped.Used;
  summary.Entries = encoded.Lines - (stoppedAtEndMarker ? 1 : 0);
  if (!encoded.IdFieldCutShort) {
    // The end marker written at the end of the input stands for no id field of the dump.
    while (!trace.Fields.empty() && trace.Fields.back().Offset >= tapped.Used) {
      trace.Fields.pop_back();
    }
  }
  tapped.Drain();
  lines.Finish(encoded.IdFieldCutShort);
  summary.NextLine = lines.NextLine;
  summary.CrLfEverywhere = lines.CrLfEverywhere;
  summary.LastLineOpen = lines.LastLineOpen;
  summary.LastLineStart = lines.LastLineStart;
  return summary;
}
