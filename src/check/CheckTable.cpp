#include "check/CheckTable.h"

#include "check/CheckKinds.h"
#include "check/TextMasks.h"
#include "convert/FindUnit.h"
#include "convert/Formats.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace {

// Remembers an entry's id, and says where it was used before if it was.
void NoteEntryId(Unit id, std::uint64_t entry, IdRegister& ids, Reporter& report) {
  if (const std::uint64_t first = ids.Use(id, entry); first != 0) {
    report.ReportMany(CheckKind::DuplicateIdEntry, entry, 1, [id, first] {
      return std::vector<std::string>{IdText(id), std::to_string(first)};
    });
    report.Note(CheckKind::FirstUsedHere, first, 1);
  }
}

// Takes the entries from `next` on that need no more than their id noted: their texts hold no
// unit that needs a closer look but surrogate pairs and CRs. Each text's end comes from a mask of
// the special units among 64 at a time. Returns where the first other entry starts, which the
// unit-at-a-time path then takes; `ended` is then the column of the last terminator taken.
template <UnitMasker Mask>
const Unit* TakePlainEntries(const Unit* next, const Unit* last, std::uint64_t& entry,
                             std::uint64_t& ended, IdRegister& ids, Reporter& report) {
  using Scan = MaskedScan<Mask, 2>; // a terminator, and the next entry's id
  if (!Scan::Fits(next + 1, last)) {
    return next;
  }
  Scan specials(next + 1, last, 0);
  // Once duplicate ids are only counted, they are counted without a branch on each.
  const bool countOnly = !report.Keeps(CheckKind::DuplicateIdEntry);
  std::uint64_t duplicates = 0;
  const auto done = [&](const Unit* at) {
    if (duplicates != 0) {
      report.CountMany(CheckKind::DuplicateIdEntry, duplicates);
    }
    return at;
  };
  for (;;) {
    const Unit id = *next;
    if (id == EndMarkerId) {
      return done(next);
    }
    const Unit* stop = nullptr;
    for (;;) {
      if (specials.Empty() && !specials.Refill(next + 1)) {
        return done(next);
      }
      stop = specials.Peek();
      if (*stop == TextTerminator) {
        specials.Take();
        break;
      }
      // A CR before an LF goes the general way, which finds the LF.
      const unsigned plain = PlainSpecialUnits(stop);
      if (plain == 0) {
        return done(next);
      }
      specials.Drop(plain);
    }
    ++entry;
    if (countOnly) {
      duplicates += ids.UseCounted(id, entry) ? 1 : 0;
    } else {
      NoteEntryId(id, entry, ids, report);
    }
    ended = static_cast<std::uint64_t>(stop - next) + 1;
    next = stop + 1;
  }
}

// Built a second time for processors with AVX2, as the conversions' block paths are.
[[gnu::flatten]] VORLANTH_WIDE const Unit* TakePlainEntriesWide(const Unit* next, const Unit* last,
                                                                std::uint64_t& entry,
                                                                std::uint64_t& ended,
                                                                IdRegister& ids, Reporter& report) {
  return TakePlainEntries<SpecialTextMaskWide<>>(next, last, entry, ended, ids, report);
}

} // namespace

CheckSummary CheckTableUnits(UnitReader& source, Reporter& report, IdRegister& ids) {
  CheckSummary summary;
  summary.Checked = true;
  ids.Clear();
  SurrogatePairs pairs;
  std::uint64_t entry = 0;
  std::uint64_t column = 0; // of the last unit of the current entry; 0 between entries
  std::uint64_t ended = 0;  // the column of the last entry's terminator
  for (std::span<const Unit> chunk = source.Peek(); !chunk.empty(); chunk = source.Peek()) {
    std::size_t used = 0;
    for (; used < chunk.size() && !summary.EndMarker; ++used) {
      if (column == 0) {
        const Unit* const from = chunk.data() + used;
        const Unit* const last = chunk.data() + chunk.size();
        const Unit* const to =
            WideScanAvailable()
                ? TakePlainEntriesWide(from, last, entry, ended, ids, report)
                : TakePlainEntries<SpecialTextMask<>>(from, last, entry, ended, ids, report);
        used += static_cast<std::size_t>(to - from);
        const Unit unit = chunk[used];
        if (unit == EndMarkerId) {
          summary.EndMarker = true;
          continue;
        }
        ++entry;
        column = 1;
        NoteEntryId(unit, entry, ids, report);
        continue;
      }
      if (!pairs.HighPending) {
        // Plain text needs no more than to be counted.
        const Unit* const stop =
            FindSpecialTextUnit<>(chunk.data() + used, chunk.data() + chunk.size());
        const auto plain = static_cast<std::size_t>(stop - (chunk.data() + used));
        column += plain;
        used += plain;
        if (used == chunk.size()) {
          break;
        }
      }
      const Unit unit = chunk[used];
      ++column;
      if (unit == TextTerminator) {
        pairs.End(report);
        ended = column;
        column = 0;
      } else if (unit == LineEnd) {
        report.Report(CheckKind::LfInTableText, entry, column);
      } else if (IsLineBreakCharacter(unit)) {
        report.Report(CheckKind::LineBreakCharacter, entry, column, {LineBreakCharacterName(unit)});
      } else if (IsSuspectUnit(unit) || pairs.HighPending) {
        pairs.Take(unit, entry, column, report);
      }
    }
    source.Advance(used);
    if (summary.EndMarker) {
      summary.UnitsAfterEnd = !source.Peek().empty();
      break;
    }
  }
  if (!summary.EndMarker) {
    pairs.End(report);
    if (entry == 0) {
      report.Report(CheckKind::EmptyTable, 1, 1);
    } else {
      report.Report(column == 0 ? CheckKind::NoEndMarker : CheckKind::NoEndMarkerInsideEntry, entry,
                    (column == 0 ? ended : column) + 1);
    }
  }
  summary.Entries = entry;
  summary.NextLine = entry + 1;
  return summary;
}
