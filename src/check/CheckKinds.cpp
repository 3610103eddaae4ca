#include "check/CheckKinds.h"

#include "console/Printable.h"
#include "convert/DecodeUnits.h"

#include <array>

namespace {

constexpr Severity E = Severity::Error;
constexpr Severity W = Severity::Warning;
constexpr Severity N = Severity::Note;

} // namespace

const std::array<DiagnosticKind, static_cast<std::size_t>(CheckKind::Count)> CheckKindTable = {{
    // Files
    {E, "empty-dump", "the file is empty: the encoder fails with \"Read beyond end of file\""},
    {W, "mark-only",
     "the dump holds nothing but its byte-order mark: the encoder makes a table with no entry; "
     "unless the table really is empty (a disk that filled up leaves such a dump), decode it "
     "again or take the dump from a copy"},
    {E, "empty-table", "the file is empty: it holds no entry and no end marker"},
    {E, "too-short-for-mark",
     "the file is too short for a byte-order mark: the encoder fails with \"Read beyond end of "
     "file\""},
    {E, "utf16-be",
     "no UTF-16 LE byte-order mark: the file is UTF-16 BE (it starts with FE FF); save it as "
     "UTF-16 LE with a byte-order mark"},
    {E, "utf8-mark",
     "no UTF-16 LE byte-order mark: the file is UTF-8 (it starts with EF BB BF); save it as UTF-16 "
     "LE with a byte-order mark"},
    {E, "utf8-text",
     "no UTF-16 LE byte-order mark: the file reads as UTF-8 or ASCII text; save it as UTF-16 LE "
     "with a byte-order mark"},
    {E, "no-mark",
     "no UTF-16 LE byte-order mark: the encoder refuses the file; save it as UTF-16 LE with a "
     "byte-order mark"},
    {E, "odd-length",
     "the file has an odd number of bytes, which no editor writes: a byte was lost or added "
     "{0}, and every character after that place is read one byte off{1}; take the dump from a "
     "copy or decode the table again"},
    {W, "lone-byte", "a lone byte at the end, which no unit holds: it is ignored"},
    {W, "after-end-marker",
     "bytes after the end marker: the decoder ignores them, and a round trip loses them"},
    // Dump lines
    {E, "empty-line",
     "line {0} is empty: the encoder reads its LF into an id field, and would make {1}"},
    {E, "empty-lines",
     "lines {0} are empty: the encoder reads their LFs into id fields, and would make {1}"},
    {E, "empty-line-at-end",
     "line {0} is empty at the end of the file: the encoder fails with \"Read beyond end of "
     "file\" after writing a table without an end marker; delete the empty line"},
    {E, "empty-lines-at-end",
     "lines {0} are empty at the end of the file: the encoder fails with \"Read beyond end of "
     "file\" after writing a table without an end marker; delete the empty lines"},
    {E, "short-line",
     "line {0} is too short for an id field{1}; the encoder would read {2} as an id field and "
     "make {3}{4}"},
    {E, "short-line-at-end",
     "line {0} is too short for an id field and ends the file: the encoder fails with \"Read "
     "beyond end of file\" after writing a table without an end marker"},
    {E, "short-line-cuts-table",
     "line {0} is too short for an id field and ends the file: the encoder would make an entry "
     "{1} of it whose text runs to the end of the file, so the table would be cut off there, "
     "without a terminator and without an end marker"},
    {E, "empty-lines-cut-table",
     "lines {0} are empty and end the file: the encoder would make an entry {1} of them whose "
     "text runs to the end of the file, so the table would be cut off there, without a "
     "terminator and without an end marker"},
    {E, "short-last-line",
     "the last line is shorter than an id field and has no LF: the encoder fails with \"Read "
     "beyond end of file\" after writing a table without an end marker"},
    {E, "bad-id-field",
     "the id field {0} is not four hex digits and \"=\": the encoder would store id {1} with the "
     "text {2}"},
    {E, "text-on-next-line",
     "line {0} seems to be the rest of line {1}'s text (a line break pasted into it?): the "
     "encoder reads {2} as an id field and would store id {3} with the text {4}"},
    {W, "odd-id-separator",
     "the id field {0} has {1} where \"=\" belongs: the encoder still stores id {2} with the "
     "text {3}, as meant, but type \"=\" there, which every tool reads"},
    {E, "mark-in-id-field",
     "a byte-order mark (U+FEFF) at the start of a line, as where two dumps were joined: the "
     "encoder reads it into the id field {0} and would store id {1} with the text {2}"},
    {E, "mark-in-text",
     "a byte-order mark (U+FEFF) inside a text{0}: the encoder keeps it, and everything after it "
     "on this line, in the text of this entry"},
    {E, "nul-in-text", "a NUL in a text: in the table it ends the entry here{0}"},
    {E, "ffff-ends-table", "an FFFF id ends the table here: the {0} after it would be dropped"},
    {W, "ffff-on-last-line", "an FFFF id on the last line ends the table: its text is dropped"},
    {E, "no-lf-at-end",
     "the last line has no LF: its entry would be stored without a terminator, and the end marker "
     "would follow its text"},
    {W, "cr-before-lf",
     "a CR before the LF stays at the end of entry {0}'s text, where the game may show a stray "
     "mark or an extra line break; delete it (if every line has one, save the file with LF line "
     "ends instead)"},
    {E, "crlf-everywhere",
     "every line ends in CR LF: the editor changed the line ends, and every entry would keep a CR "
     "at the end of its text; save the file with LF (Unix) line ends"},
    {E, "cr-line-ends",
     "the file uses CR line ends and has no LF: all its entries would become one; save it with "
     "LF (Unix) line ends"},
    {W, "duplicate-id", "id {0} is already used on line {1}"},
    {W, "joined-lines",
     "the text holds \"{0}=\" as if a line began there: if two lines were joined, entry {0} is "
     "lost and its text stays in entry {1}'s"},
    // Table entries
    {W, "lf-in-table-text",
     "the text holds an LF, which a table may hold but a dump cannot carry: the dump splits the "
     "entry here, and encoding it gives a different table; translate this table with vorlanth_po, "
     "which carries it"},
    {E, "no-end-marker", "no end marker: the table ends after this entry without FFFF"},
    {E, "no-end-marker-in-entry", "no end marker: the table ends inside this entry"},
    {W, "duplicate-id-entry", "id {0} is already used by entry {1}"},
    // Texts of both
    {W, "lone-surrogate", "a lone surrogate in a text"},
    {W, "non-character", "{0} in a text"},
    {W, "line-break-character",
     "{0} in a text: an editor may show a line break here, but the table stores the character"},
    // Against the original table
    {E, "missing-entry", "entry {0} of the original ({1}) is missing: it stood {2}"},
    {E, "joined-entries",
     "entries {0} and {1} of the original are joined on this line: the table would keep "
     "\"{1}=\" and the text after it in entry {0}'s, and lose entry {1}"},
    {W, "added-entry", "entry {0} is not in the original at this place: the table gains it here"},
    {W, "moved-entry",
     "entry {0} stands elsewhere in the original ({1}): the order of the table's entries changes"},
    {E, "changed-id",
     "id {0} is not the original's: entry {1} ({2}) stood here, and the table would lose it{3}"},
    {W, "placeholders", "the text {0} (the original: {1})"},
    {W, "edge-spaces", "the text {0} (the original: {1})"},
    {W, "numbers", "the text has the numbers {0}, the original {1}"},
    {N, "untranslated", "entry {0} is still the original text"},
    {N, "first-used-here", "first used here"},
}};

std::string IdText(Unit id) {
  const auto field = IdField(id);
  return {field.begin(), field.end() - 1}; // the digits without the "="
}

std::string DescribeEntry(Unit id, std::span<const Unit> text, bool cut) {
  if (id == 0xFFFF) {
    return "the end marker FFFF, which ends the table there";
  }
  const std::string entry = "entry " + IdText(id);
  if (cut) {
    return entry + " with a text that begins " + QuotedUnits(text);
  }
  return text.empty() ? entry + " with an empty text"
                      : entry + " with the text " + QuotedUnits(text);
}

std::string JoinEntries(std::span<const std::string> entries, std::uint64_t more) {
  std::string text;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == entries.size() && more == 0 ? " and " : ", ") + entries[i];
  }
  return more == 0 ? text : text + ", and " + std::to_string(more) + " more";
}

std::string LineRange(std::uint64_t first, std::uint64_t last) {
  return first == last ? std::to_string(first) : std::to_string(first) + "-" + std::to_string(last);
}

std::string LostEntry(Unit id, std::uint64_t line) {
  return ", and entry " + IdText(id) + " of line " + std::to_string(line) + " would be lost";
}

std::string TextGoesOn(std::uint64_t previousLine) {
  return ": line " + std::to_string(previousLine) +
         "'s text seems to go on in it (a line break in the text?)";
}

std::string LineBreakCharacterName(Unit unit) {
  return unit == 0x2028   ? "U+2028 (line separator)"
         : unit == 0x2029 ? "U+2029 (paragraph separator)"
                          : "U+0085 (next line)";
}
