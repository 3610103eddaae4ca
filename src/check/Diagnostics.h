// What the checker watches in the texts of both dumps and tables, and the ids it has seen.
#pragma once

#include "check/CheckKinds.h"
#include "io/Unit.h"

#include <bitset>
#include <cstdint>
#include <memory>

// Whether a unit is one that should never stand alone in a text: a surrogate, U+FFFE or U+FFFF.
inline bool IsSuspectUnit(Unit unit) {
  return unit >= 0xD800 && (unit <= 0xDFFF || unit >= 0xFFFE);
}

// How many units from `at` (a special text unit, with the unit after it readable) a text may
// hold without a finding: a surrogate pair (2), a CR not before an LF or another control below
// it but NUL and LF (1); 0 for any other.
inline unsigned PlainSpecialUnits(const Unit* at) {
  if (IsHighSurrogate(at[0]) && IsLowSurrogate(at[1])) {
    return 2;
  }
  if (at[0] < 0x000D) {
    return at[0] != 0x0000 && at[0] != 0x000A ? 1 : 0;
  }
  return at[0] == 0x000D && at[1] != 0x000A ? 1 : 0;
}

// What an editor or a keyboard puts where "=" was meant: a tab, a space (plain, no-break or
// ideographic), a full-width or small equals sign.
inline bool IsIdFieldStandIn(Unit unit) {
  return unit == '\t' || unit == ' ' || unit == 0x00A0 || unit == 0x3000 || unit == 0xFF1D ||
         unit == 0xFE66;
}

// A character that an editor may show as a line break, while the table stores it as it is.
inline bool IsLineBreakCharacter(Unit unit) {
  return unit == 0x0085 || unit == 0x2028 || unit == 0x2029;
}

// Follows the surrogates of one text, unit by unit, and names the units that stand alone.
struct SurrogatePairs {
  bool HighPending = false;
  std::uint64_t HighLine = 0;
  std::uint64_t HighColumn = 0;

  // Warns `report` of every lone surrogate, U+FFFE or U+FFFF.
  template <class Report>
  void Take(Unit unit, std::uint64_t line, std::uint64_t column, Report& report) {
    const bool low = IsLowSurrogate(unit);
    if (HighPending && !low) {
      report.Report(CheckKind::LoneSurrogate, HighLine, HighColumn);
    }
    const bool pairsUp = HighPending && low;
    HighPending = false;
    if (pairsUp) {
      return;
    }
    if (IsHighSurrogate(unit)) {
      HighPending = true;
      HighLine = line;
      HighColumn = column;
    } else if (low) {
      report.Report(CheckKind::LoneSurrogate, line, column);
    } else if (unit >= 0xFFFE) {
      report.Report(CheckKind::NonCharacter, line, column, {unit == 0xFFFE ? "U+FFFE" : "U+FFFF"});
    }
  }

  // The end of the text: a high surrogate still waiting stands alone.
  template <class Report> void End(Report& report) {
    if (HighPending) {
      report.Report(CheckKind::LoneSurrogate, HighLine, HighColumn);
    }
    HighPending = false;
  }
};

// The first line (or entry) of every id used so far in a file. Allocated once and reused for every
// file of a run: a bitset tells which ids are used, so the 512 KiB of first lines is never cleared.
class IdRegister {
public:
  void Clear() { Used.reset(); }

  // The first line of `id`, or 0 when it has not been used.
  [[nodiscard]] std::uint64_t FirstLine(Unit id) const { return Used.test(id) ? First[id] : 0; }

  // 0 when `id` is new, which it is remembered at `line` from then on; otherwise its first line.
  std::uint64_t Use(Unit id, std::uint64_t line) {
    if (Used.test(id)) {
      return First[id];
    }
    Used.set(id);
    First[id] = line;
    return 0;
  }

  // Whether `id` was used before, remembering it at `line` if not; without a branch on the
  // answer, for the runs of lines whose duplicates are only counted.
  bool UseCounted(Unit id, std::uint64_t line) {
    const bool used = Used.test(id);
    First[id] = used ? First[id] : line;
    Used.set(id);
    return used;
  }

private:
  std::bitset<65536> Used;
  // Left uninitialized, as make_unique_for_overwrite would (which libc++ 14 lacks): each slot is
  // written before it is read.
  std::unique_ptr<std::uint64_t[]> First{new std::uint64_t[65536]};
};
