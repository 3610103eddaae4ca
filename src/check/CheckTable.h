// Checking a string table before it is decoded and edited: what the dump could not carry back.
#pragma once

#include "check/CheckDump.h"
#include "check/Diagnostics.h"
#include "check/UnitReader.h"
#include "console/Reporter.h"

// Checks a table. Entries are numbered as the lines they become in the dump, and an entry's
// columns count its units, the id being column 1. `report` and `ids` are as for CheckDumpUnits.
CheckSummary CheckTableUnits(UnitReader& source, Reporter& report, IdRegister& ids);
