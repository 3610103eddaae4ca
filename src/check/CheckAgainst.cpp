#include "check/CheckAgainst.h"

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
#include <optional>
#include <span>
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

void OpenToRead(RecordFile& file, const std::string& name) {
  if (!OpenExisting(file, name)) {
    throw Exception(name + ": " + PathKindReason(PlatformPathKind(name)),
                    CodeLocationOf(__FILE__, __LINE__));
  }
  if (file.OpenFailure != 0) {
    RaiseOsError(file.OpenFailure);
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
    entry.Text.assign(Read.Text.begin(), Read.Text.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                                 Read.Text.size(), TextKept)));
    entry.Pieces.assign(1, {0, Count, 2}); // the id is column 1
    return true;
  }

private:
  UnitReader& Source;
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
    while (!Ended) {
      if (!ReadLine()) {
        Ended = true;
        break;
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
          break;
        }
        const bool had = HavePending;
        if (had) {
          entry = std::move(Pending);
        }
        Pending = Entry{id, {}, {{0, LineNumber, column + IdFieldUnits}}, false};
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
    if (HavePending) {
      entry = std::move(Pending);
      HavePending = false;
      return true;
    }
    return false;
  }

private:
  static bool StartsEntry(std::span<const Unit> units) {
    if (units.size() < IdFieldUnits) {
      return false;
    }
    const Unit fifth = units[4];
    const bool separator = fifth == IdFieldEnd || fifth == '\t' || fifth == ' ' ||
                           fifth == 0x00A0 || fifth == 0x3000 || fifth == 0xFF1D || fifth == 0xFE66;
    return separator && std::all_of(units.begin(), units.begin() + 4,
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

std::vector<Mark> MarksOf(const Entry& entry, bool table) {
  std::vector<Mark> marks;
  const std::vector<Unit>& text = entry.Text;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const Unit unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      marks.push_back({CheckKind::LoneSurrogate, i, {}});
    } else if (unit >= 0xFFFE) {
      marks.push_back({CheckKind::NonCharacter, i, unit == 0xFFFE ? "U+FFFE" : "U+FFFF"});
    } else if (IsLineBreakCharacter(unit)) {
      marks.push_back({CheckKind::LineBreakCharacter, i, LineBreakCharacterName(unit)});
    } else if (unit == TextBom) {
      marks.push_back({CheckKind::ByteOrderMarkInText, i, {}});
    } else if (unit == LineEnd && table) {
      marks.push_back({CheckKind::LfInTableText, i, {}});
    } else if (unit == 0x000D && !table && i + 1 == text.size()) {
      marks.push_back({CheckKind::CrBeforeLf, i, IdText(entry.Id)});
    }
  }
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
    FillBoth(original, edited);
    while (!Originals.empty() || !Edited.empty()) {
      Step();
      FillBoth(original, edited);
    }
  }

  AgainstCounts Counts;
  std::uint64_t OriginalEntries = 0;
  bool EveryOriginalEndsInCr = true;

private:
  // Entries looked ahead on each side, and the units their texts may hold together.
  static constexpr std::size_t Window = 256;
  static constexpr std::size_t WindowUnits = std::size_t{1} << 22;

  struct Side {
    std::deque<Entry> Entries;
    std::bitset<65536> Seen;
    std::size_t Units = 0;
    bool Done = false;
  };

  void FillBoth(EntryReader& original, EntryReader& edited) {
    Fill(original, OriginalSide, true);
    Fill(edited, EditedSide, false);
  }

  void Fill(EntryReader& reader, Side& side, bool original) {
    while (!side.Done && side.Entries.size() < Window &&
           (side.Units < WindowUnits || side.Entries.size() < 2)) {
      Entry entry;
      if (!reader.Next(entry)) {
        side.Done = true;
        break;
      }
      if (original) {
        ++OriginalEntries;
        EveryOriginalEndsInCr =
            EveryOriginalEndsInCr && !entry.Text.empty() && entry.Text.back() == 0x000D;
      }
      entry.Repeat = side.Seen.test(entry.Id);
      side.Seen.set(entry.Id);
      side.Units += entry.Text.size();
      side.Entries.push_back(std::move(entry));
    }
  }

  static void PopFront(Side& side) {
    side.Units -= side.Entries.front().Text.size();
    side.Entries.pop_front();
  }

  static std::optional<std::size_t> Find(const std::deque<Entry>& window, Unit id) {
    for (std::size_t i = 0; i < window.size(); ++i) {
      if (window[i].Id == id) {
        return i;
      }
    }
    return std::nullopt;
  }

  static std::size_t CountOf(const std::deque<Entry>& window, Unit id) {
    return static_cast<std::size_t>(std::count_if(
        window.begin(), window.end(), [id](const Entry& entry) { return entry.Id == id; }));
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
    const std::optional<std::size_t> isLater = Find(Originals, is.Id);
    const std::optional<std::size_t> wasLater = Find(Edited, was.Id);
    const bool oneMore = isLater && CountOf(Edited, is.Id) > CountOf(Originals, is.Id);
    if (isLater && wasLater) {
      // Both come again: this entry was moved up from further on in the original.
      const std::size_t at = *isLater;
      Out.Report(CheckKind::MovedEntry, PlaceOf(is, 0).Line, 1,
                 {IdText(is.Id), "after entry " + IdText(Originals[at - 1].Id)});
      Pair(Originals[at], is);
      OriginalSide.Units -= Originals[at].Text.size();
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
    const std::uint64_t line = !Edited.empty() ? PlaceOf(Edited.front(), 0).Line
                               : LastPaired    ? PlaceOf(*LastPaired, 0).Line
                                               : 1;
    Out.Report(CheckKind::MissingEntry, line, 1,
               {IdText(was.Id), Shortened(was.Text),
                LastPaired ? "after entry " + IdText(LastPaired->Id) + " (line " +
                                 std::to_string(PlaceOf(*LastPaired, 0).Line) + ")"
                           : "at the start of the table"});
  }

  void Added(const Entry& is) {
    const Place place = PlaceOf(is, 0);
    if (is.Repeat) {
      Duplicate(is);
    } else {
      Out.Report(CheckKind::AddedEntry, place.Line, 1, {IdText(is.Id)});
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
    LastPaired = std::move(is);
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

namespace {

class FileUnits final : public UnitReader {
public:
  explicit FileUnits(const std::string& name) { OpenToRead(File, name); }
  std::span<const Unit> Peek() override { return PeekRecords(File); }
  void Advance(std::size_t count) override { SkipRecords(File, count); }

private:
  RecordFile File;
};

} // namespace

AgainstCounts CheckAgainst(const std::string& name, const std::string& original,
                           const AgainstOptions& options, const IdRegister& ids,
                           Reporter& reporter) {
  FileUnits originalUnits(original);
  FileUnits editedUnits(name);
  return CheckAgainstUnits(originalUnits, editedUnits, options, ids, reporter);
}
