// Checking a dump (or a table) against the table it was made from: what the translation changed
// that it should not have, entry by entry.
#pragma once

#include "check/CheckKinds.h"
#include "check/Diagnostics.h"
#include "check/UnitReader.h"
#include "console/Reporter.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

struct AgainstCounts {
  std::uint64_t Paired = 0;         // entries paired with one of the original
  std::uint64_t StillOriginal = 0;  // of those, the ones whose (non-empty) text is the original's
  std::uint64_t AlsoInOriginal = 0; // findings the original has too, counted and not shown
};

// The kinds the plain check reports that the comparison decides again, entry by entry: a finding
// the original has too is not the translator's, and an id field inside a text is either an entry
// of the original joined to another or not.
inline constexpr std::array AgainstRedecides = {
    CheckKind::LoneSurrogate,   CheckKind::NonCharacter,     CheckKind::LineBreakCharacter,
    CheckKind::CrBeforeLf,      CheckKind::LfInTableText,    CheckKind::ByteOrderMarkInText,
    CheckKind::DuplicateIdLine, CheckKind::DuplicateIdEntry, CheckKind::JoinedLinesGuess};

struct AgainstOptions {
  bool Table = false;          // the checked file is a table, not a dump
  bool CrLfEverywhere = false; // the dump's lines all end in CR LF, which its texts do not keep
  bool ListStillOriginal = false;
};

// Pairs the entries of `edited` (a dump from its byte-order mark, or a table) with those of the
// table `original`, by id and in order, and reports what was lost, added, joined, moved or
// renamed, and how each paired text differs from its original in what it must keep. Reads each
// once, holding a window of entries of each. `ids` holds the first line of each id of the edited
// file, from its plain check, whose findings `reporter` holds.
AgainstCounts CheckAgainstUnits(UnitReader& original, UnitReader& edited,
                                const AgainstOptions& options, const IdRegister& ids,
                                Reporter& reporter);

// The same for the files `name` and `original`; a file that cannot be read raises its failure.
AgainstCounts CheckAgainst(const std::string& name, const std::string& original,
                           const AgainstOptions& options, const IdRegister& ids,
                           Reporter& reporter);
