// Checking a text dump before it is encoded. The encoder's own core reads the dump; a trace of
// where it starts each id field, and which id it stores from it, runs beside the lines as the user
// sees them (DumpLines), and a diagnostic names each place where the two readings part, or where
// the table would lose or change something. The checker therefore cannot drift from the converter.
#pragma once

#include "check/Diagnostics.h"
#include "check/UnitReader.h"
#include "console/Reporter.h"

#include <cstdint>

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

// Checks a dump, its byte-order mark included, reporting what it finds; `ids` is cleared and then
// remembers the first line of each id.
CheckSummary CheckDumpUnits(UnitReader& source, Reporter& report, IdRegister& ids);
