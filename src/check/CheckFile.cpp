#include "check/CheckFile.h"

#include "check/CheckDump.h"
#include "check/CheckKinds.h"
#include "check/CheckTable.h"
#include "console/CommandLine.h"
#include "convert/Formats.h"
#include "io/RecordFile.h"

#include <vector>

namespace {

// Where the characters of the last line (from unit `start`) start to read one byte off, as
// after a lost or added byte: before the first LF read that way (U+0Axx), the run of ASCII
// characters read that way (U+xx00). 0 when no LF reads that way.
std::uint64_t OddByteColumn(RecordFile& file, std::uint64_t start) {
  std::vector<Unit> units(65536);
  std::uint64_t column = 0;   // of the unit last read
  std::uint64_t runStart = 0; // the first of the units read one byte off just before it
  for (std::uint64_t offset = start;;) {
    const std::size_t count = ReadRecordsAt(file, units.data(), units.size(), offset);
    if (count == 0) {
      return 0;
    }
    for (std::size_t i = 0; i < count; ++i) {
      const Unit unit = units[i];
      ++column;
      if ((unit & 0xFF00) == 0x0A00) {
        return runStart != 0 ? runStart : column;
      }
      const bool swappedAscii = (unit & 0xFF) == 0 && unit >= 0x2000 && unit < 0x7F00;
      runStart = swappedAscii ? (runStart != 0 ? runStart : column) : 0;
    }
    offset += count;
  }
}

} // namespace

PathKind CheckFile(const std::string& name, Reporter& reporter, IdRegister& ids,
                   FileChecked& checked) {
  RecordFile file;
  if (!OpenExisting(file, name)) {
    const PathKind kind = PlatformPathKind(name);
    // Swapped for a regular file since the open: still not one that was opened.
    return kind == PathKind::Regular ? PathKind::Other : kind;
  }
  FileUnitReader source(file);
  checked.AsDump = HasExtension(name, ".txt");
  checked.ByName = checked.AsDump || HasExtension(name, ".lang");
  const std::span<const Unit> first = source.Peek();
  if (!checked.ByName) {
    checked.AsDump = !first.empty() && first[0] == TextBom;
  }
  if (first.empty()) {
    // Nothing, or a lone byte.
    reporter.Report(file.DroppedByte ? CheckKind::TooShortForByteOrderMark
                    : checked.AsDump ? CheckKind::EmptyDump
                                     : CheckKind::EmptyTable,
                    1, 1);
    return PathKind::Regular;
  }
  const CheckSummary summary = checked.AsDump ? CheckDumpUnits(source, reporter, ids)
                                              : CheckTableUnits(source, reporter, ids);
  // In a dump whose every line is whole, a lone byte is one too many at the end, which the
  // encoder ignores, as after a table's last entry.
  if (checked.AsDump && summary.Checked && file.DroppedByte && summary.LastLineOpen) {
    // No editor writes half a unit: a byte went missing (or came in) in the last line.
    const std::uint64_t column = OddByteColumn(file, summary.LastLineStart);
    if (column != 0) {
      reporter.Withdraw(CheckKind::NoLfAtEnd); // the LF is there, read one byte off
    }
    reporter.Report(
        CheckKind::OddLength, summary.NextLine - 1, column == 0 ? 1 : column,
        {column == 0 ? "in this line or at its end" : "just before here",
         column == 0 ? "" : " (its LFs too, so that the lines after it run into this one)"});
  } else if (summary.Checked && summary.EndMarker && (summary.UnitsAfterEnd || file.DroppedByte)) {
    reporter.Report(CheckKind::BytesAfterEndMarker, summary.NextLine, 1);
  } else if (summary.Checked && file.DroppedByte) {
    reporter.Report(CheckKind::LoneByteAtEnd, summary.NextLine, 1);
  }
  checked.Entries = summary.Entries;
  checked.Read = summary.Checked;
  checked.CrLfEverywhere = summary.CrLfEverywhere;
  return PathKind::Regular;
}
