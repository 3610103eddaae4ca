// Everything the checker can say, in one table: each kind of finding with its severity, short name
// and text (CheckKinds.cpp). The scanners name a kind and give its arguments.
#pragma once

#include "console/Printable.h"
#include "console/Reporter.h"
#include "io/Unit.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

enum class CheckKind : std::uint8_t {
  // Files
  EmptyDump,
  MarkOnly,
  EmptyTable,
  TooShortForByteOrderMark,
  Utf16BigEndian,
  Utf8WithMark,
  Utf8Text,
  NoByteOrderMark,
  OddLength,
  LoneByteAtEnd,
  BytesAfterEndMarker,
  // Dump lines
  EmptyLine,
  EmptyLines,
  EmptyLineAtEnd,
  EmptyLinesAtEnd,
  ShortLine,
  ShortLineAtEnd,
  ShortLineCutsTable,
  EmptyLinesCutTable,
  ShortLastLine,
  BadIdField,
  TextOnNextLine,
  OddIdSeparator,
  ByteOrderMarkInIdField,
  ByteOrderMarkInText,
  NulInText,
  FfffEndsTable,
  FfffOnLastLine,
  NoLfAtEnd,
  CrBeforeLf,
  CrLfEverywhere,
  CrLineEnds,
  DuplicateIdLine,
  JoinedLinesGuess,
  // Table entries
  LfInTableText,
  NoEndMarker,
  NoEndMarkerInsideEntry,
  DuplicateIdEntry,
  // Texts of both
  LoneSurrogate,
  NonCharacter,
  LineBreakCharacter,
  // Against the original table
  MissingEntry,
  JoinedEntries,
  AddedEntry,
  MovedEntry,
  ChangedId,
  PlaceholdersDiffer,
  EdgeSpacesDiffer,
  NumbersDiffer,
  StillOriginal,
  FirstUsedHere,
  Count
};

// The table of kinds, in the order of CheckKind; looked up inline, as a file may hold millions of
// findings of one kind.
extern const std::array<DiagnosticKind, static_cast<std::size_t>(CheckKind::Count)> CheckKindTable;
inline const DiagnosticKind& Describe(CheckKind kind) {
  return CheckKindTable[static_cast<std::size_t>(kind)];
}

// Pieces of texts that are lists or quotations, worded here beside the table.

// An id as the dump writes it: four upper-case hexadecimal digits.
std::string IdText(Unit id);

// One entry the encoder would make: `entry 0005 with the text "=x"`, `... with an empty text`, or
// `... with a text that begins "..."` when `cut`; the id FFFF is the end marker.
std::string DescribeEntry(Unit id, std::span<const Unit> text, bool cut);

// "A", "A and B", "A, B and C", and ", and N more" after them.
std::string JoinEntries(std::span<const std::string> entries, std::uint64_t more);

// Line numbers as a range: "5" or "5-11".
std::string LineRange(std::uint64_t first, std::uint64_t last);

// ", and entry 0005 of line 6 would be lost", or nothing.
std::string LostEntry(Unit id, std::uint64_t line);

// ": line 4's text seems to go on in it (a line break in the text?)".
std::string TextGoesOn(std::uint64_t previousLine);

// What a character that looks like a line break is: "U+2028 (line separator)".
std::string LineBreakCharacterName(Unit unit);
