#include "check/CheckFile.h"

#include "check/CheckDump.h"
#include "check/CheckTable.h"
#include "console/CommandLine.h"
#include "convert/UnitStreams.h"
#include "io/RecordFile.h"

PathKind CheckFile(const std::string& name, Reporter& reporter, IdRegister& ids,
                   FileChecked& checked) {
  RecordFile file;
  if (!OpenExisting(file, name)) {
    const PathKind kind = PlatformPathKind(name);
    // Swapped for a regular file since the open: still not one that was opened.
    return kind == PathKind::Regular ? PathKind::Other : kind;
  }
  FileUnitSource source{file};
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
  if (checked.AsDump && summary.Checked && file.DroppedByte) {
    // No editor writes half a unit: a byte went missing (or came in) somewhere.
    reporter.Report(CheckKind::OddLength, 1, 1);
  } else if (summary.Checked && summary.EndMarker && (summary.UnitsAfterEnd || file.DroppedByte)) {
    reporter.Report(CheckKind::BytesAfterEndMarker, summary.NextLine, 1);
  } else if (summary.Checked && file.DroppedByte) {
    reporter.Report(CheckKind::LoneByteAtEnd, summary.NextLine, 1);
  }
  checked.Entries = summary.Entries;
  return PathKind::Regular;
}
