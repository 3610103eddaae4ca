#include "check/DumpLines.h"

#include "check/CheckKinds.h"
#include "check/TextMasks.h"
#include "convert/EncodeUnits.h"

#include <algorithm>
#include <string>
#include <vector>

void DumpLines::Feed(std::span<const Unit> units) {
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

void DumpLines::Finish(bool cutShort) {
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

const Unit* DumpLines::TakePlainLines(const Unit* next, const Unit* last) {
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

[[gnu::flatten]] VORLANTH_WIDE const Unit*
DumpLines::TakePlainLinesWide(const Unit* next, const Unit* last, bool& other) {
  return TakePlainLinesMasked<SpecialTextMaskWide<true>>(next, last, other);
}

template <UnitMasker Mask>
const Unit* DumpLines::TakePlainLinesMasked(const Unit* next, const Unit* last, bool& other) {
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

bool DumpLines::PlainStart(const Unit* next) const {
  if (Trace.Fields.empty()) {
    return false;
  }
  const EncoderTrace::IdField& field = Trace.Fields.front();
  Unit written = 0;
  return field.Offset == Offset && field.Id != EndMarkerId &&
         (field.WellFormed || ReadWellFormedIdField(next, written));
}

void DumpLines::TakePlainLine(const Unit* next, const Unit* stop) {
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

void DumpLines::Take(Unit unit) {
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

void DumpLines::Remember(const Unit* from, const Unit* to) {
  const auto count = static_cast<std::size_t>(to - from);
  if (count >= Recent.size()) {
    std::copy(to - Recent.size(), to, Recent.begin());
  } else {
    std::copy(Recent.begin() + static_cast<std::ptrdiff_t>(count), Recent.end(), Recent.begin());
    std::copy(from, to, Recent.end() - static_cast<std::ptrdiff_t>(count));
  }
}

bool DumpLines::JoinedAt(const Unit* at, const Unit* textStart) {
  if (at - textStart < 4) {
    return false;
  }
  return std::all_of(at - 4, at, [](Unit unit) {
    return (unit >= '0' && unit <= '9') || (unit >= 'A' && unit <= 'F');
  });
}

void DumpLines::ReportJoined() {
  const Unit second = IdFieldValue(
      std::array<Unit, IdFieldUnits>{Recent[1], Recent[2], Recent[3], Recent[4], IdFieldEnd}
          .data());
  const std::uint64_t column = Column - 4;
  Out.Report(CheckKind::JoinedLinesGuess, Line, column, {IdText(second), IdText(Id)});
  Out.FixIt("press Enter before \"" + IdText(second) + "=\" (line " + std::to_string(Line) +
            ", column " + std::to_string(column) + ")");
}

void DumpLines::ReportMarkInText() {
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

void DumpLines::TakeOutOfStep(Unit unit) {
  // An id field the encoder starts inside a line.
  if (Column > 1 && !Trace.Fields.empty() && Trace.Fields.front().Offset == Offset) {
    Slipped.Make(Trace.Fields.front().Id, Offset + IdFieldUnits);
    Trace.Fields.pop_front();
  }
  Slipped.Take(unit, Offset);
}

void DumpLines::StartLine() {
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

void DumpLines::EndLine(bool withLf) {
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

void DumpLines::ReportNul(std::optional<Unit> next) {
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

bool DumpLines::WellFormed() const {
  Unit id = 0;
  return ReadWellFormedIdField(Head.data(), id);
}

void DumpLines::CheckIdField(std::uint64_t length) {
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
    // (A deleted "=" leaves the text's first character there instead, which the table then
    // loses: that stays an error.)
    const Unit fifth = Head[4];
    const bool standIn = IsIdFieldStandIn(fifth);
    if (!mark && standIn && std::all_of(Head.begin(), Head.begin() + 4, hexDigit)) {
      // The encoder skips what is no digit, so the table comes out as meant.
      Out.Report(CheckKind::OddIdSeparator, Line, 5,
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

[[gnu::always_inline]] inline void DumpLines::NoteId() {
  if (const std::uint64_t first = Ids.Use(Id, Line); first != 0) {
    Out.ReportMany(CheckKind::DuplicateIdLine, Line, 1, [this, first] {
      return std::vector<std::string>{IdText(Id), std::to_string(first)};
    });
    Out.Note(CheckKind::FirstUsedHere, first, 1);
  }
}
