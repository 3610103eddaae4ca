// Checking a text dump before it is encoded. The encoder's own core reads the dump; a trace of
// where it starts each id field, and which id it stores from it, runs beside the lines as the user
// sees them, and a diagnostic names each place where the two readings part, or where the table
// would lose or change something. The checker therefore cannot drift from the converter.
#pragma once

#include "check/Diagnostics.h"
#include "convert/EncodeUnits.h"
#include "convert/Formats.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <span>
#include <string>

struct CheckSummary {
  std::uint64_t Entries = 0;  // the entries the table would hold
  std::uint64_t NextLine = 1; // the line (or entry) after the last one
  bool Checked = false;       // false when the file was refused before its contents were read
  bool EndMarker = false;     // tables: the end marker was found
  bool UnitsAfterEnd = false; // tables: units follow the end marker
};

namespace detail {

// The encoder's output seen only for where each id field starts in the dump (offsets count units
// after the byte-order mark) and the id stored from it.
struct EncoderTrace {
  struct IdField {
    std::uint64_t Offset;
    Unit Id;
  };
  std::deque<IdField> Fields; // at most one chunk's worth: the scanner takes them as it goes
  std::uint64_t Offset = 0;
  bool InText = false;
  bool LastIdWasEndMarker = false;

  void Put(const Unit* /*units*/, std::size_t count) { Offset += count; }
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

// The dump's lines as the user sees them, held against the trace.
template <class Report> class DumpLines {
public:
  DumpLines(Report& report, EncoderTrace& trace, IdRegister& ids)
      : Out(report), Trace(trace), Ids(ids) {}

  void Feed(std::span<const Unit> units) {
    const Unit* next = units.data();
    const Unit* const last = next + units.size();
    while (next != last) {
      if (Column >= IdFieldUnits && PendingEmptyLine == 0) {
        // Inside a text: plain units need no more than to be counted.
        const Unit* const stop = FindSpecialTextUnit(next, last);
        if (stop != next) {
          if (Pairs.HighPending) {
            Take(*next++); // it is no low surrogate: the pending one stands alone
            continue;
          }
          const auto count = static_cast<std::uint64_t>(stop - next);
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
    const bool unfinished = Column != 0;
    if (unfinished) {
      if (!cutShort && !Ended && Aligned && Id != EndMarkerId) {
        Out.Error(Line, Column + 1,
                  "the last line has no LF: its entry would be stored without a "
                  "terminator, and the end marker would follow its text");
      }
      EndLine(false);
    }
    if (cutShort) {
      const bool inLast = Trace.Offset >= LineStart;
      Out.Error(inLast ? LastLine : PreviousLine, 1,
                "the text after the last LF is shorter than an id field: the encoder fails with "
                "\"Read beyond end of file\" and writes no end marker");
    }
    if (PendingEmptyLine != 0) {
      ReportEmptyLine(nullptr);
    }
    const std::uint64_t lines = Line - 1;
    if (FfffLine != 0) {
      if (lines > FfffLine) {
        Out.Error(FfffLine, 1,
                  "an FFFF id ends the table here: the " + std::to_string(lines - FfffLine) +
                      " line(s) after it would be dropped");
      } else {
        Out.Warning(FfffLine, 1, "an FFFF id on the last line ends the table: its text is dropped");
      }
    }
    if (CrCount != 0) {
      Out.Warning(FirstCrLine, FirstCrColumn,
                  "a CR before the LF stays in the entry's text (" + std::to_string(CrCount) +
                      " line(s) end so)");
    }
    NextLine = Line;
  }

  std::uint64_t NextLine = 1;

private:
  void Take(Unit unit) {
    if (Column == 0) {
      StartLine();
    }
    ++Column;
    if (Column <= IdFieldUnits) {
      Head[Column - 1] = unit;
    }
    if (PendingEmptyLine != 0 && Offset == PendingTextStart) {
      ReportEmptyLine(&unit);
    }
    ++Offset;
    if (unit == LineEnd) {
      if (Previous == 0x000D && Column > 1 && !Ended) {
        if (CrCount++ == 0) {
          FirstCrLine = Line;
          FirstCrColumn = Column - 1;
        }
      }
      EndLine(true);
      return;
    }
    if (Column > IdFieldUnits && !Ended) {
      if (unit == TextTerminator) {
        Out.Error(Line, Column,
                  "a NUL in a text: in the table it ends the entry here, and what follows is read "
                  "as the next entry's id");
      } else if (IsSuspectUnit(unit) || Pairs.HighPending) {
        Pairs.Take(unit, Line, Column, Out);
      }
    }
    Previous = unit;
  }

  void StartLine() {
    while (!Trace.Fields.empty() && Trace.Fields.front().Offset < Offset) {
      Trace.Fields.pop_front(); // inside a line that was already reported
    }
    Aligned = !Ended && !Trace.Fields.empty() && Trace.Fields.front().Offset == Offset;
    if (Aligned) {
      Id = Trace.Fields.front().Id;
      Trace.Fields.pop_front();
    }
    PreviousLine = LastLine;
    LastLine = Line;
    LineStart = Offset;
    Previous = 0;
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
    }
    ++Line;
    Column = 0;
  }

  void CheckIdField(std::uint64_t length) {
    if (length == 0) {
      PendingEmptyLine = Line;
      PendingId = Id;
      PendingTextStart = LineStart + IdFieldUnits;
    } else {
      bool wellFormed = length >= IdFieldUnits && Head[4] == IdFieldEnd;
      for (std::size_t i = 0; i < 4 && wellFormed; ++i) {
        wellFormed = IdFieldDigit(Head[i]) != NotAHexDigit;
      }
      if (!wellFormed) {
        const std::size_t shown = Column < IdFieldUnits ? Column : IdFieldUnits;
        Out.Error(Line, 1,
                  "the id field " + QuoteUnits(std::span<const Unit>(Head.data(), shown)) +
                      " is not four hex digits and \"=\": the encoder would store id " +
                      IdText(Id) +
                      (length < IdFieldUnits ? ", reading on into the next line" : ""));
      }
    }
    if (const std::uint64_t first = Ids.Use(Id, Line); first != 0) {
      Out.Warning(Line, 1,
                  "id " + IdText(Id) + " is already used on line " + std::to_string(first));
    }
  }

  void ReportEmptyLine(const Unit* textStart) {
    std::string begins = textStart != nullptr ? " would begin its text with " +
                                                    QuoteUnits(std::span<const Unit>(textStart, 1))
                                              : " would have no text";
    Out.Error(PendingEmptyLine, 1,
              "an empty line: the encoder reads its LF into the next line's id field, and entry " +
                  IdText(PendingId) + begins);
    PendingEmptyLine = 0;
  }

  Report& Out;
  EncoderTrace& Trace;
  std::uint64_t Offset = 0;
  std::uint64_t Line = 1;
  std::uint64_t Column = 0; // of the last unit taken; 0 before a line's first unit
  std::uint64_t LineStart = 0;
  std::uint64_t LastLine = 1;
  std::uint64_t PreviousLine = 1;
  std::array<Unit, IdFieldUnits> Head{};
  Unit Previous = 0;
  bool Aligned = false;
  Unit Id = 0;
  bool Ended = false;
  std::uint64_t FfffLine = 0;
  std::uint64_t PendingEmptyLine = 0;
  Unit PendingId = 0;
  std::uint64_t PendingTextStart = 0;
  std::uint64_t CrCount = 0;
  std::uint64_t FirstCrLine = 0;
  std::uint64_t FirstCrColumn = 0;
  SurrogatePairs Pairs;
  IdRegister& Ids;
};

// Hands the encoder small chunks and shows the lines scanner every unit it has used, once the
// trace has accounted for it: an id field that straddles two chunks is traced only when the
// encoder has read all of it, so the few units of a field still open are held back until then.
template <class Source, class Lines> class TappedSource {
public:
  static constexpr std::size_t Chunk = 4096;

  TappedSource(Source& inner, Lines& scanner, const EncoderTrace& trace)
      : Inner(inner), Scanner(scanner), Trace(trace) {}

  std::span<const Unit> Peek() {
    const std::span<const Unit> ready = Inner.Peek();
    return ready.first(ready.size() < Chunk ? ready.size() : Chunk);
  }

  void Advance(std::size_t count) {
    const std::span<const Unit> used = Inner.Peek().first(count);
    std::copy(used.begin(), used.end(), Held.begin() + static_cast<std::ptrdiff_t>(HeldCount));
    HeldCount += count;
    Used += count;
    Inner.Advance(count);
    const std::uint64_t traced = Trace.Offset < Used ? Trace.Offset : Used;
    Release(static_cast<std::size_t>(traced - Fed));
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
std::string NameMissingByteOrderMark(std::span<const Unit> first);

} // namespace detail

// Checks a dump, its byte-order mark included. `report` takes Error(line, column, message) and
// Warning(line, column, message); `ids` is cleared and then remembers the ids used.
template <class Source, class Report>
CheckSummary CheckDumpUnits(Source& source, Report& report, IdRegister& ids) {
  CheckSummary summary;
  const std::span<const Unit> first = source.Peek();
  if (first.empty()) {
    report.Error(1, 1,
                 "the file is too short for a byte-order mark: the encoder fails with \"Read "
                 "beyond end of file\"");
    return summary;
  }
  if (first[0] != TextBom) {
    report.Error(1, 1, detail::NameMissingByteOrderMark(first));
    return summary;
  }
  source.Advance(1);
  summary.Checked = true;
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
  return summary;
}
