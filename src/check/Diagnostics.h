// What the checker says about a file: diagnostics at a line and column, and the text it quotes.
#pragma once

#include "io/Unit.h"

#include <bitset>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

// Quoted file text as UTF-8, with control characters, lone surrogates and non-characters escaped
// (\n, \r, \t, \u{FFFF}), and quotes and backslashes escaped, so that a diagnostic is one line.
std::string QuoteUnits(std::span<const Unit> units);

// An id as the dump writes it: four upper-case hexadecimal digits.
std::string IdText(Unit id);

// Whether a unit is one that should never stand alone in a text: a surrogate, U+FFFE or U+FFFF.
inline bool IsSuspectUnit(Unit unit) {
  return unit >= 0xD800 && (unit <= 0xDFFF || unit >= 0xFFFE);
}

// Follows the surrogates of one text, unit by unit, and names the units that stand alone.
struct SurrogatePairs {
  bool HighPending = false;
  std::uint64_t HighLine = 0;
  std::uint64_t HighColumn = 0;

  // Warns `report` (Warning(line, column, message)) of every lone surrogate, U+FFFE or U+FFFF.
  template <class Report>
  void Take(Unit unit, std::uint64_t line, std::uint64_t column, Report& report) {
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (HighPending && !low) {
      report.Warning(HighLine, HighColumn, "a lone surrogate in a text");
    }
    const bool pairsUp = HighPending && low;
    HighPending = false;
    if (pairsUp) {
      return;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      HighPending = true;
      HighLine = line;
      HighColumn = column;
    } else if (low) {
      report.Warning(line, column, "a lone surrogate in a text");
    } else if (unit >= 0xFFFE) {
      report.Warning(line, column, unit == 0xFFFE ? "U+FFFE in a text" : "U+FFFF in a text");
    }
  }

  // The end of the text: a high surrogate still waiting stands alone.
  template <class Report> void End(Report& report) {
    if (HighPending) {
      report.Warning(HighLine, HighColumn, "a lone surrogate in a text");
    }
    HighPending = false;
  }
};

// The first line (or entry) of every id used so far in a file. Allocated once and reused for every
// file of a run: a bitset tells which ids are used, so the 512 KiB of first lines is never cleared.
class IdRegister {
public:
  void Clear() { Used.reset(); }

  // 0 when `id` is new, which it is remembered at `line` from then on; otherwise its first line.
  std::uint64_t Use(Unit id, std::uint64_t line) {
    if (Used.test(id)) {
      return First[id];
    }
    Used.set(id);
    First[id] = line;
    return 0;
  }

private:
  std::bitset<65536> Used;
  std::unique_ptr<std::uint64_t[]> First = std::make_unique_for_overwrite<std::uint64_t[]>(65536);
};
