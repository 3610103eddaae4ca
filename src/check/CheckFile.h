// Checking one file on disk.
#pragma once

#include "check/Diagnostics.h"
#include "console/Reporter.h"
#include "platform/Platform.h"

#include <cstdint>
#include <string>

struct FileChecked {
  std::uint64_t Entries = 0; // the entries the table holds, or would hold
  bool AsDump = false;       // read as a dump, not as a table
  bool ByName = false;       // the name said which (.txt or .lang)
  bool Read = false;         // its contents were read (not refused at its first units)
  bool CrLfEverywhere = false;
};

// Checks the dump or table `name` (a dump if its name ends in .txt, a table if in .lang, in any
// case; otherwise a dump when it starts with FF FE), reporting what it finds. Returns
// PathKind::Regular once it has checked the file; any other kind, having reported nothing, when
// the name leads to no regular file. A file that cannot be read raises its failure.
PathKind CheckFile(const std::string& name, Reporter& reporter, IdRegister& ids,
                   FileChecked& checked);
