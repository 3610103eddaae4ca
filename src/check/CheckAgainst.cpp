#include "check/CheckAgainst.h"

#include "check/TextMasks.h"
#include "console/Printable.h"
#include "convert/EncodeUnits.h"
#include "convert/FindUnit.h"
#include "convert/Formats.h"
#include "convert/TableEntries.h"
#include "convert/TextCompare.h"
#include "io/InOutError.h"
#include "io/RecordFile.h"
#include "platform/Platform.h"

#include <algorithm>
#include <bitset>
#include <deque>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace {

// Where a piece of an entry's text stands in its file: a dump entry's text may run over lines
// that the plain check found to be the rest of it.
struct Piece {
  std::size_t TextIndex;
  std::uint64_t Line;
  std::uint64_t Column;
};

struct Entry {
  Unit Id = 0;
  std::vector<Unit> Text;
  std::vector<Piece> Pieces;
  bool Repeat = false; // its id came earlier in the same file
};

struct Place {
  std::uint64_t Line;
  std::uint64_t Column;
};

Place PlaceOf(const Entry& entry, std::size_t index) {
  // The last piece that starts at or before the unit (the pieces are in text order).
  const auto after =
      std::upper_bound(entry.Pieces.begin(), entry.Pieces.end(), index,
                       [](std::size_t unit, const Piece& piece) { return unit < piece.TextIndex; });
  const Piece& at = after == entry.Pieces.begin() ? entry.Pieces.front() : *(after - 1);
  return {at.Line, at.Column + (index - at.TextIndex)};
}

// A text longer than this is compared by its start: a window of entries stays small whatever
// the file holds (a dump whose line ends were lost is one line).
constexpr std::size_t TextKept = std::size_t{1} << 20;

// The original is not the file the report is about: its failure names it.
void OpenToRead(RecordFile& file, const std::string& name) {
  try {
    OpenInputFile(file, name);
  } catch (const Exception& failure) {
    throw Exception(Printable(name) + ": " + FailureReason(failure),
                    CodeLocationOf(__FILE__, __LINE__));
  }
}

class EntryReader {
public:
  EntryReader() = default;
  EntryReader(const EntryReader&) = delete;
  EntryReader& operator=(const EntryReader&) = delete;
  virtual ~EntryReader() = default;
  // The next entry, or false after the last.
  virtual bool Next(Entry& entry) = 0;

  // Where the two files agree entry for entry, as they mostly do, the entries are compared where
  // they lie: the next entry when the reader's buffer holds it whole and nothing could join it
  // (its id, its text and where the text starts), or false; Take then moves past it.
  virtual bool PeekWhole(Unit& id, std::span<const Unit>& text, Piece& at) = 0;
  virtual void Take() = 0;
};

// The entries of a table, up to its end marker; an entry's "line" is its number.
class TableReader final : public EntryReader {
public:
  explicit TableReader(UnitReader& source) : Source(source) {}

  bool Next(Entry& entry) override {
    if (Done || ReadTableEntry(Source, Read) != TableStep::Entry) {
      Done = true;
      return false;
    }
    ++Count;
    entry.Id = Read.Id;
    // The entry's buffer goes to the next read: no text is copied, and none allocated once the
    // window's entries have grown to their texts.
    std::swap(entry.Text, Read.Text);
    if (entry.Text.size() > TextKept) {
      entry.Text.resize(TextKept);
    }
    entry.Pieces.assign(1, {0, Count, 2}); // the id is column 1
    return true;
  }

  bool PeekWhole(Unit& id, std::span<const Unit>& text, Piece& at) override {
    const std::span<const Unit> chunk = Source.Peek();
    if (Done || chunk.empty() || chunk[0] == EndMarkerId) {
      return false;
    }
    const Unit* const end = FindUnit(chunk.data() + 1, chunk.data() + chunk.size(), TextTerminator);
    if (end == chunk.data() + chunk.size() ||
        end - chunk.data() > static_cast<std::ptrdiff_t>(TextKept)) {
      return false;
    }
    id = chunk[0];
    text = {chunk.data() + 1, end};
    at = {0, Count + 1, 2};
    WholeUnits = static_cast<std::size_t>(end - chunk.data()) + 1;
    return true;
  }

  void Take() override {
    Source.Advance(WholeUnits);
    ++Count;
  }

private:
  UnitReader& Source;
  std::size_t WholeUnits = 0;
  TableEntry Read;
  std::uint64_t Count = 0;
  bool Done = false;
};

// The entries of a dump as its lines show them: a line that starts with four hex digits and "="
// (or what stands in for it) starts an entry, up to an FFFF id; any other line but an empty one
// is the rest of the entry before it, cut by a line break.
class DumpReader final : public EntryReader {
public:
  DumpReader(UnitReader& source, bool crLfEverywhere) : Source(source), StripCr(crLfEverywhere) {
    const std::span<const Unit> first = Source.Peek();
    if (!first.empty() && first[0] == TextBom) {
      Source.Advance(1);
    }
  }

  bool Next(Entry& entry) override {
    for (;;) {
      // An entry is given out once the line after it is seen to start another (or the file
      // ends), so that a line holding the rest of its text joins it first.
      if (HavePending && (Ended || NextStartsEntry())) {
        std::swap(entry, Pending); // the buffers of `entry` serve the next one
        HavePending = false;
        return true;
      }
      if (Ended) {
        return false;
      }
      if (!ReadLine()) {
        Ended = true;
        continue;
      }
      std::span<const Unit> units(Line);
      std::uint64_t column = 1;
      if (!units.empty() && units[0] == TextBom) {
        // A second dump joined at a line start: its mark is the plain check's finding.
        units = units.subspan(1);
        ++column;
      }
      if (StartsEntry(units)) {
        const Unit id = IdFieldValue(units.data());
        if (id == EndMarkerId) {
          Ended = true;
          continue;
        }
        const bool had = HavePending;
        if (had) {
          std::swap(entry, Pending);
        }
        Pending.Id = id;
        Pending.Text.clear();
        Pending.Pieces.assign(1, {0, LineNumber, column + IdFieldUnits});
        Append(units.subspan(IdFieldUnits));
        HavePending = true;
        if (had) {
          return true;
        }
      } else if (!units.empty() && HavePending) {
        Pending.Text.push_back(LineEnd);
        Pending.Pieces.push_back({Pending.Text.size(), LineNumber, column});
        Append(units);
      }
    }
  }

  // Whether the next line starts an entry, as far as the buffer tells (false when it cannot).
  bool NextStartsEntry() {
    const std::span<const Unit> next = Source.Peek();
    return next.empty() || StartsEntry(next);
  }

  bool PeekWhole(Unit& id, std::span<const Unit>& text, Piece& at) override {
    if (HavePending || Ended) {
      return false;
    }
    const std::span<const Unit> chunk = Source.Peek();
    const Unit* const last = chunk.data() + chunk.size();
    if (!StartsEntry(chunk) || IdFieldValue(chunk.data()) == EndMarkerId) {
      return false;
    }
    const Unit* const end = FindUnit(chunk.data() + IdFieldUnits, last, LineEnd);
    // The next line must start an entry too, or it might be the rest of this one's text.
    if (last - end <= static_cast<std::ptrdiff_t>(IdFieldUnits) ||
        !StartsEntry(std::span<const Unit>(end + 1, last)) ||
        end - chunk.data() > static_cast<std::ptrdiff_t>(TextKept)) {
      return false;
    }
    id = IdFieldValue(chunk.data());
    const bool cr = StripCr && end - chunk.data() > static_cast<std::ptrdiff_t>(IdFieldUnits) &&
                    end[-1] == 0x000D;
    text = {chunk.data() + IdFieldUnits, end - (cr ? 1 : 0)};
    at = {0, LineNumber + 1, 1 + IdFieldUnits};
    WholeUnits = static_cast<std::size_t>(end - chunk.data()) + 1;
    return true;
  }

  void Take() override {
    Source.Advance(WholeUnits);
    ++LineNumber;
  }

private:
  static bool StartsEntry(std::span<const Unit> units) {
    if (units.size() < IdFieldUnits) {
      return false;
    }
    return (units[4] == IdFieldEnd || IsIdFieldStandIn(units[4])) &&
           std::all_of(units.begin(), units.begin() + 4,
                       [](Unit unit) { return IdFieldDigit(unit) != NotAHexDigit; });
  }

  void Append(std::span<const Unit> units) {
    const std::size_t room = TextKept - std::min(TextKept, Pending.Text.size());
    units = units.first(std::min(room, units.size()));
    Pending.Text.insert(Pending.Text.end(), units.begin(), units.end());
  }

  // The next line into Line, without its LF (and its CR, where every line has one); false at
  // the end of the file.
  bool ReadLine() {
    Line.clear();
    bool any = false;
    for (std::span<const Unit> chunk = Source.Peek(); !chunk.empty(); chunk = Source.Peek()) {
      any = true;
      const Unit* const end = FindUnit(chunk.data(), chunk.data() + chunk.size(), LineEnd);
      const auto used = static_cast<std::size_t>(end - chunk.data());
      const std::size_t kept = std::min(used, TextKept + 8 - std::min(TextKept + 8, Line.size()));
      Line.insert(Line.end(), chunk.data(), chunk.data() + kept);
      if (used < chunk.size()) {
        Source.Advance(used + 1);
        ++LineNumber;
        if (StripCr && !Line.empty() && Line.back() == 0x000D) {
          Line.pop_back();
        }
        return true;
      }
      Source.Advance(used);
    }
    if (any) {
      ++LineNumber;
    }
    return any;
  }

  UnitReader& Source;
  bool StripCr;
  std::size_t WholeUnits = 0;
  std::vector<Unit> Line;
  std::uint64_t LineNumber = 0;
  Entry Pending;
  bool HavePending = false;
  bool Ended = false;
};

// A finding in a text that the plain check makes, found again so that it can be held against
// the original's text.
struct Mark {
  CheckKind Kind;
  std::size_t Index;
  std::string Argument;
};

// Calls `each(kind, index)` for each place of a text that the plain check reports.
template <class Each> void ForEachMark(std::span<const Unit> text, bool table, Each each) {
  // The plain check's own pairing of surrogates, told through a reporter of places.
  struct Places {
    Each& Call;
    void Report(CheckKind kind, std::uint64_t /*line*/, std::uint64_t at,
                std::initializer_list<std::string> /*arguments*/ = {}) {
      Call(kind, static_cast<std::size_t>(at));
    }
  } places{each};
  SurrogatePairs pairs;
  const Unit* const first = text.data();
  const Unit* const last = first + text.size();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!pairs.HighPending) {
      i = static_cast<std::size_t>(FindSpecialTextUnit<>(first + i, last) - first);
      if (i == text.size()) {
        break;
      }
    }
    const Unit unit = text[i];
    if (IsLineBreakCharacter(unit)) {
      each(CheckKind::LineBreakCharacter, i);
    } else if (unit == TextBom) {
      each(CheckKind::ByteOrderMarkInText, i);
    } else if (unit == LineEnd && table) {
      each(CheckKind::LfInTableText, i);
    } else if (unit == 0x000D && !table && i + 1 == text.size()) {
      each(CheckKind::CrBeforeLf, i);
    } else if (IsSuspectUnit(unit) || pairs.HighPending) {
      pairs.Take(unit, 0, i, places);
    }
  }
  pairs.End(places);
}

std::vector<Mark> MarksOf(const Entry& entry, bool table) {
  std::vector<Mark> marks;
  ForEachMark(entry.Text, table, [&](CheckKind kind, std::size_t i) {
    const Unit unit = entry.Text[i];
    marks.push_back({kind, i,
                     kind == CheckKind::NonCharacter ? (unit == 0xFFFE ? "U+FFFE" : "U+FFFF")
                     : kind == CheckKind::LineBreakCharacter ? LineBreakCharacterName(unit)
                     : kind == CheckKind::CrBeforeLf         ? IdText(entry.Id)
                                                             : std::string()});
  });
  return marks;
}

std::string Shortened(std::span<const Unit> text) {
  constexpr std::size_t Shown = 40;
  return text.size() <= Shown ? QuotedUnits(text) : QuotedUnits(text.first(Shown)) + "...";
}

std::string QuotedList(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + Quoted(items[i]);
  }
  return text;
}

// Where the text of `entry` holds "XXXX=" for `id`, or nothing.
std::optional<std::size_t> IdFieldInside(const Entry& entry, Unit id) {
  const std::string field = IdText(id) + "=";
  const std::vector<Unit>& text = entry.Text;
  for (std::size_t i = 0; i + field.size() <= text.size(); ++i) {
    if (std::equal(field.begin(), field.end(), text.begin() + static_cast<std::ptrdiff_t>(i),
                   [](char c, Unit unit) { return unit == static_cast<unsigned char>(c); })) {
      return i;
    }
  }
  return std::nullopt;
}

class Comparison {
public:
  Comparison(const AgainstOptions& options, const IdRegister& ids, Reporter& reporter)
      : Options(options), Ids(ids), Out(reporter) {}

  void Run(EntryReader& original, EntryReader& edited) {
    for (;;) {
      if (Originals.empty() && Edited.empty() && PairWhole(original, edited)) {
        continue;
      }
      // Entries with the same id pair up whatever follows them; otherwise the windows are filled
      // before anything is decided.
      if (Originals.empty() || Edited.empty() || Originals.front().Id != Edited.front().Id) {
        FillBoth(original, edited);
        if (Originals.empty() && Edited.empty()) {
          break;
        }
      }
      Step();
    }
  }

  AgainstCounts Counts;
  std::uint64_t OriginalEntries = 0;
  bool EveryOriginalEndsInCr = true;

private:
  // Entries looked ahead on each side, and the units their texts may hold together.
  static constexpr std::size_t Window = 256;
  // How far a window reaches when neither front entry comes again within it (a block of lines
  // deleted or added): up to this many entries, within the units a window may hold.
  static constexpr std::size_t FarthestReach = 65536;
  static constexpr std::size_t WindowUnits = std::size_t{1} << 22;

  struct Side {
    std::deque<Entry> Entries;
    std::bitset<65536> Seen;
    // The window's entries by id, once it is wide enough for a scan to cost more than keeping
    // them (most files need no window at all, and a small one is scanned).
    std::vector<std::uint32_t> InWindow;

    // After an entry of `id` joined the window.
    void Joined(Unit id) {
      if (!InWindow.empty()) {
        ++InWindow[id];
      } else if (Entries.size() >= 64) {
        InWindow.resize(65536);
        for (const Entry& entry : Entries) {
          ++InWindow[entry.Id];
        }
      }
    }
    // Before an entry of `id` leaves it.
    void Leaves(Unit id) {
      if (!InWindow.empty()) {
        --InWindow[id];
      }
    }
    [[nodiscard]] std::size_t CountOf(Unit id) const {
      if (!InWindow.empty()) {
        return InWindow[id];
      }
      return static_cast<std::size_t>(std::count_if(
          Entries.begin(), Entries.end(), [id](const Entry& entry) { return entry.Id == id; }));
    }
    std::size_t Units = 0;
    bool Done = false;
  };

  void FillBoth(EntryReader& original, EntryReader& edited) {
    Fill(original, OriginalSide, true);
    Fill(edited, EditedSide, false);
  }

  void Fill(EntryReader& reader, Side& side, bool original) {
    while (!side.Done && side.Entries.size() < Reach &&
           (side.Units < WindowUnits || side.Entries.size() < 2)) {
      Entry entry;
      if (!Spares.empty()) {
        entry = std::move(Spares.back());
        Spares.pop_back();
      }
      if (!reader.Next(entry)) {
        side.Done = true;
        Spares.push_back(std::move(entry));
        break;
      }
      if (original) {
        NoteOriginal(entry);
      }
      entry.Repeat = side.Seen.test(entry.Id);
      side.Seen.set(entry.Id);
      side.Units += entry.Text.size();
      const Unit id = entry.Id;
      side.Entries.push_back(std::move(entry));
      side.Joined(id);
    }
  }

  // Drops the first entry of a side, keeping its buffers for a later one.
  void PopFront(Side& side) {
    Reach = Window; // in step again, or deciding: the windows need reach no further
    side.Units -= side.Entries.front().Text.size();
    side.Leaves(side.Entries.front().Id);
    if (Spares.size() < 2 * Window) {
      Spares.push_back(std::move(side.Entries.front()));
    }
    side.Entries.pop_front();
  }

  // Pairs the next entries of both files where they lie, when each reader has its entry whole
  // and both have the same id.
  bool PairWhole(EntryReader& original, EntryReader& edited) {
    Unit wasId = 0;
    Unit isId = 0;
    std::span<const Unit> wasText;
    std::span<const Unit> isText;
    Piece wasAt{};
    Piece isAt{};
    if (!original.PeekWhole(wasId, wasText, wasAt) || !edited.PeekWhole(isId, isText, isAt) ||
        wasId != isId) {
      return false;
    }
    const bool wasRepeat = OriginalSide.Seen.test(wasId);
    const bool isRepeat = EditedSide.Seen.test(isId);
    if (std::equal(isText.begin(), isText.end(), wasText.begin(), wasText.end()) &&
        (wasRepeat || !isRepeat)) {
      // The text is the original's, and what the plain check found in it the original has too:
      // counted, and kept as the last entry paired, which a missing entry after it may turn out
      // to be joined to.
      OriginalSide.Seen.set(wasId);
      EditedSide.Seen.set(isId);
      ++Counts.Paired;
      Counts.AlsoInOriginal += isRepeat ? 1 : 0;
      ForEachMark(isText, Options.Table,
                  [this](CheckKind /*kind*/, std::size_t /*at*/) { ++Counts.AlsoInOriginal; });
      if (!isText.empty()) {
        ++Counts.StillOriginal;
        if (Options.ListStillOriginal) {
          Out.Report(CheckKind::StillOriginal, isAt.Line, isAt.Column, {IdText(isId)});
        }
      }
      ++OriginalEntries;
      EveryOriginalEndsInCr = EveryOriginalEndsInCr && !wasText.empty() && wasText.back() == 0x000D;
      Entry& last = LastPaired ? *LastPaired : LastPaired.emplace();
      last.Id = isId;
      last.Text.assign(isText.begin(), isText.end());
      last.Pieces.resize(1);
      last.Pieces.front() = isAt;
      original.Take();
      edited.Take();
      return true;
    }
    const auto load = [](Entry& entry, Unit id, std::span<const Unit> text, Piece at, Side& side) {
      entry.Id = id;
      entry.Text.assign(text.begin(), text.end());
      entry.Pieces.resize(1);
      entry.Pieces.front() = at;
      entry.Repeat = side.Seen.test(id);
      side.Seen.set(id);
    };
    load(WholeWas, wasId, wasText, wasAt, OriginalSide);
    load(WholeIs, isId, isText, isAt, EditedSide);
    original.Take();
    edited.Take();
    NoteOriginal(WholeWas);
    EditedSide.Units += WholeIs.Text.size(); // as Pair counts it out
    Pair(WholeWas, WholeIs);
    return true;
  }

  void NoteOriginal(const Entry& entry) {
    ++OriginalEntries;
    EveryOriginalEndsInCr =
        EveryOriginalEndsInCr && !entry.Text.empty() && entry.Text.back() == 0x000D;
  }

  // Where `id` is first in a side's window, looked for only when the window holds it.
  static std::optional<std::size_t> Find(const Side& side, Unit id) {
    if (!side.InWindow.empty() && side.InWindow[id] == 0) {
      return std::nullopt;
    }
    const auto at = std::find_if(side.Entries.begin(), side.Entries.end(),
                                 [id](const Entry& entry) { return entry.Id == id; });
    if (at == side.Entries.end()) {
      return std::nullopt;
    }
    return static_cast<std::size_t>(at - side.Entries.begin());
  }

  void Step() {
    if (Edited.empty()) {
      Missing(Originals.front());
      PopFront(OriginalSide);
      return;
    }
    if (Originals.empty()) {
      Added(Edited.front());
      PopFront(EditedSide);
      return;
    }
    Entry& was = Originals.front();
    Entry& is = Edited.front();
    if (was.Id == is.Id) {
      Pair(was, is);
      PopFront(OriginalSide);
      PopFront(EditedSide);
      return;
    }
    const std::optional<std::size_t> isLater = Find(OriginalSide, is.Id);
    const std::optional<std::size_t> wasLater = Find(EditedSide, was.Id);
    const bool oneMore = isLater && EditedSide.CountOf(is.Id) > OriginalSide.CountOf(is.Id);
    if (isLater && wasLater) {
      // Both come again: this entry was moved up from further on in the original.
      const std::size_t at = *isLater;
      Out.Report(CheckKind::MovedEntry, PlaceOf(is, 0).Line, 1,
                 {IdText(is.Id), "after entry " + IdText(Originals[at - 1].Id)});
      Pair(Originals[at], is);
      OriginalSide.Units -= Originals[at].Text.size();
      OriginalSide.Leaves(Originals[at].Id);
      Originals.erase(Originals.begin() + static_cast<std::ptrdiff_t>(at));
      PopFront(EditedSide);
    } else if (isLater && !oneMore) {
      // The original's entries up to this one's are gone.
      for (std::size_t i = 0; i < *isLater; ++i) {
        Missing(Originals.front());
        PopFront(OriginalSide);
      }
    } else if (wasLater) {
      // An entry the original does not have here.
      Added(is);
      PopFront(EditedSide);
    } else if (Reach < FarthestReach && !(OriginalSide.Done && EditedSide.Done) &&
               OriginalSide.Units < WindowUnits && EditedSide.Units < WindowUnits) {
      // Neither comes again as far as the windows reach: look further before deciding.
      Reach *= 4;
      return;
    } else {
      // The original's entry does not come again, nor (or once too often) this id: the id was
      // changed, to another entry's perhaps.
      std::string other;
      if (oneMore || OriginalSide.Seen.test(is.Id)) {
        other = "; " + IdText(is.Id) + " is another entry of the original";
        RenamedTo.set(is.Id);
      }
      Out.Report(CheckKind::ChangedId, PlaceOf(is, 0).Line, 1,
                 {IdText(is.Id), IdText(was.Id), Shortened(was.Text), other});
      Out.FixIt("did you mean \"" + IdText(was.Id) + "=\"?");
      Pair(was, is);
      PopFront(OriginalSide);
      PopFront(EditedSide);
    }
  }

  void Missing(const Entry& was) {
    if (LastPaired) {
      if (const std::optional<std::size_t> at = IdFieldInside(*LastPaired, was.Id)) {
        const Place place = PlaceOf(*LastPaired, *at);
        Out.Report(CheckKind::JoinedEntries, place.Line, place.Column,
                   {IdText(LastPaired->Id), IdText(was.Id)});
        Out.FixIt("press Enter before \"" + IdText(was.Id) + "=\" (line " +
                  std::to_string(place.Line) + ", column " + std::to_string(place.Column) + ")");
        return;
      }
    }
    const std::string after =
        LastPaired ? "after entry " + IdText(LastPaired->Id) : "at the start of the table";
    if (!AddedAt.empty() && AddedAt[was.Id] != 0) {
      // Found earlier where the original does not have it: moved up, further than the windows
      // reach.
      Out.Report(CheckKind::MovedEntry, AddedAt[was.Id], 1, {IdText(was.Id), after});
      AddedAt[was.Id] = 0;
      return;
    }
    const std::uint64_t line = !Edited.empty() ? PlaceOf(Edited.front(), 0).Line
                               : LastPaired    ? PlaceOf(*LastPaired, 0).Line
                                               : 1;
    Out.Report(CheckKind::MissingEntry, line, 1,
               {IdText(was.Id), Shortened(was.Text),
                LastPaired ? after + " (line " + std::to_string(PlaceOf(*LastPaired, 0).Line) + ")"
                           : after});
  }

  void Added(const Entry& is) {
    const Place place = PlaceOf(is, 0);
    if (is.Repeat) {
      Duplicate(is);
    } else {
      Out.Report(CheckKind::AddedEntry, place.Line, 1, {IdText(is.Id)});
      if (AddedAt.empty()) {
        AddedAt.resize(65536);
      }
      AddedAt[is.Id] = place.Line;
    }
    ReportMarks(is, nullptr);
  }

  void Duplicate(const Entry& is) {
    const std::uint64_t line = PlaceOf(is, 0).Line;
    const std::uint64_t first = Ids.FirstLine(is.Id);
    Out.Report(Options.Table ? CheckKind::DuplicateIdEntry : CheckKind::DuplicateIdLine, line, 1,
               {IdText(is.Id), std::to_string(first)});
    if (first != 0) {
      Out.Note(CheckKind::FirstUsedHere, first, 1);
    }
  }

  // Pairs `is` with `was`, then keeps `is` as the last entry paired (its place is taken).
  void Pair(const Entry& was, Entry& is) {
    ++Counts.Paired;
    if (is.Repeat) {
      if (was.Repeat) {
        ++Counts.AlsoInOriginal; // the original repeats this id as well
      } else if (!RenamedTo.test(is.Id)) {
        Duplicate(is); // (an id given another entry's is said so where it was given)
      }
    }
    const Place start = PlaceOf(is, 0);
    // Where every line of the dump ends in CR LF, the dump's CRs were read as line ends; a CR
    // that ends every text of the original as well is the table's own. Either way the texts
    // are compared without one.
    const auto compared = [this](const std::vector<Unit>& text) {
      const bool cut = Options.CrLfEverywhere && !text.empty() && text.back() == 0x000D;
      return std::span<const Unit>(text).first(text.size() - (cut ? 1 : 0));
    };
    const std::span<const Unit> isText = compared(is.Text);
    const std::span<const Unit> wasText = compared(was.Text);
    if (std::equal(isText.begin(), isText.end(), wasText.begin(), wasText.end())) {
      if (!is.Text.empty()) {
        ++Counts.StillOriginal;
        if (Options.ListStillOriginal) {
          Out.Report(CheckKind::StillOriginal, start.Line, start.Column, {IdText(is.Id)});
        }
      }
    } else {
      Compare(wasText, is, isText, start);
    }
    ReportMarks(is, &was);
    EditedSide.Units -= is.Text.size();
    if (!LastPaired) {
      LastPaired.emplace();
    }
    std::swap(*LastPaired, is);
    is.Text.clear();
  }

  void Compare(std::span<const Unit> wasText, const Entry& is, std::span<const Unit> isText,
               Place start) {
    const std::string original = UnitsAsUtf8(wasText);
    const std::string translation = UnitsAsUtf8(isText);
    const TextDifferences differences = CompareTexts(original, translation);
    if (differences.Placeholders()) {
      std::string what;
      if (!differences.Lacks.empty()) {
        what = "lacks " + QuotedList(differences.Lacks);
      }
      if (!differences.Adds.empty()) {
        what += (what.empty() ? "has " : " and has ") + QuotedList(differences.Adds);
      }
      if (what.empty()) {
        what = "has the conversions in another order";
      }
      Out.Report(CheckKind::PlaceholdersDiffer, start.Line, start.Column,
                 {what, Shortened(wasText)});
    }
    const auto edge = [](int difference, const char* where) {
      return std::string(difference > 0 ? "has a space " : "lacks the space ") + where;
    };
    if (differences.LeadingSpace != 0) {
      Out.Report(CheckKind::EdgeSpacesDiffer, start.Line, start.Column,
                 {edge(differences.LeadingSpace, "at its start"), Shortened(wasText)});
    }
    if (differences.TrailingSpace != 0) {
      const Place end = PlaceOf(is, isText.empty() ? 0 : isText.size() - 1);
      Out.Report(CheckKind::EdgeSpacesDiffer, end.Line, end.Column,
                 {edge(differences.TrailingSpace, "at its end"), Shortened(wasText)});
    }
    if (!differences.Numbers.empty() || !differences.OriginalNumbers.empty()) {
      const auto list = [](const std::vector<std::string>& numbers) {
        std::string text;
        for (const std::string& number : numbers) {
          text += (text.empty() ? "" : " ") + number;
        }
        return text.empty() ? std::string("none") : text;
      };
      Out.Report(CheckKind::NumbersDiffer, start.Line, start.Column,
                 {list(differences.Numbers), list(differences.OriginalNumbers)});
    }
  }

  // The plain check's findings in the text, unless the original's text has one of that kind.
  void ReportMarks(const Entry& is, const Entry* was) {
    const std::vector<Mark> marks = MarksOf(is, Options.Table);
    if (marks.empty()) {
      return;
    }
    const std::vector<Mark> originalMarks =
        was != nullptr ? MarksOf(*was, Options.Table) : std::vector<Mark>{};
    for (const Mark& mark : marks) {
      if (std::any_of(originalMarks.begin(), originalMarks.end(),
                      [&mark](const Mark& other) { return other.Kind == mark.Kind; })) {
        ++Counts.AlsoInOriginal;
        continue;
      }
      const Place place = PlaceOf(is, mark.Index);
      Out.Report(mark.Kind, place.Line, place.Column, {mark.Argument});
    }
  }

  const AgainstOptions& Options;
  const IdRegister& Ids;
  Reporter& Out;
  Side OriginalSide;
  Side EditedSide;
  std::deque<Entry>& Originals = OriginalSide.Entries;
  std::deque<Entry>& Edited = EditedSide.Entries;
  std::optional<Entry> LastPaired;
  std::vector<Entry> Spares; // entries whose buffers wait to be used again
  std::size_t Reach = Window;
  std::vector<std::uint64_t> AddedAt; // by id: the line of an entry reported added, or 0
  Entry WholeWas;                     // the entries paired where they lie, their buffers kept
  Entry WholeIs;
  std::bitset<65536> RenamedTo; // ids an entry was given that another entry of the original has
};

} // namespace

AgainstCounts CheckAgainstUnits(UnitReader& original, UnitReader& edited,
                                const AgainstOptions& options, const IdRegister& ids,
                                Reporter& reporter) {
  for (const CheckKind kind : AgainstRedecides) {
    reporter.Withdraw(kind);
  }
  TableReader originalEntries(original);
  std::optional<TableReader> tableEntries;
  std::optional<DumpReader> dumpEntries;
  EntryReader* editedEntries = nullptr;
  if (options.Table) {
    editedEntries = &tableEntries.emplace(edited);
  } else {
    editedEntries = &dumpEntries.emplace(edited, options.CrLfEverywhere);
  }
  Comparison comparison(options, ids, reporter);
  comparison.Run(originalEntries, *editedEntries);
  AgainstCounts counts = comparison.Counts;
  if (options.CrLfEverywhere && comparison.EveryOriginalEndsInCr && counts.Paired != 0) {
    // Every text of the original ends in CR too: the line ends are the table's own.
    counts.AlsoInOriginal += reporter.Withdraw(CheckKind::CrLfEverywhere);
  }
  if (comparison.OriginalEntries == 0) {
    // An empty table's dump is its byte-order mark alone.
    counts.AlsoInOriginal += reporter.Withdraw(CheckKind::MarkOnly);
  }
  return counts;
}

namespace {} // namespace

AgainstCounts CheckAgainst(const std::string& name, const std::string& original,
                           const AgainstOptions& options, const IdRegister& ids,
                           Reporter& reporter) {
  RecordFile originalFile;
  OpenToRead(originalFile, original);
  RecordFile editedFile;
  OpenToRead(editedFile, name);
  FileUnitReader originalUnits(originalFile);
  FileUnitReader editedUnits(editedFile);
  return CheckAgainstUnits(originalUnits, editedUnits, options, ids, reporter);
}
