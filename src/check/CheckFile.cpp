#include "check/CheckFile.h"

#include "check/CheckDump.h"
#include "check/CheckTable.h"
#include "console/CommandLine.h"
#include "console/Console.h"
#include "convert/UnitStreams.h"
#include "io/RecordFile.h"

#include <algorithm>
#include <cctype>

void DiagnosticPrinter::Error(std::uint64_t line, std::uint64_t column,
                              const std::string& message) {
  ++Errors;
  Emit(line, column, "error", message);
}

void DiagnosticPrinter::Warning(std::uint64_t line, std::uint64_t column,
                                const std::string& message) {
  ++Warnings;
  if (!Quiet) {
    Emit(line, column, "warning", message);
  }
}

void DiagnosticPrinter::Emit(std::uint64_t line, std::uint64_t column, const char* kind,
                             const std::string& message) {
  Pending += FileName + ':' + std::to_string(line) + ':' + std::to_string(column) + ": " + kind +
             ": " + message + '\n';
  if (Pending.size() >= 65536) {
    Flush();
  }
}

void DiagnosticPrinter::Flush() {
  if (!Pending.empty()) {
    ConsoleWrite(Pending);
    Pending.clear();
  }
}

bool CheckFile(const std::string& name, DiagnosticPrinter& printer, IdRegister& ids,
               std::uint64_t& entries) {
  RecordFile file;
  if (!OpenExisting(file, name)) {
    return false;
  }
  FileUnitSource source{file};
  bool dump = HasExtension(name, ".txt");
  if (!dump && !HasExtension(name, ".lang")) {
    const std::span<const Unit> first = source.Peek();
    dump = !first.empty() && first[0] == TextBom;
  }
  const CheckSummary summary =
      dump ? CheckDumpUnits(source, printer, ids) : CheckTableUnits(source, printer, ids);
  if (summary.Checked && summary.EndMarker && (summary.UnitsAfterEnd || file.DroppedByte)) {
    printer.Warning(summary.NextLine, 1,
                    "bytes after the end marker: the decoder ignores them, and a round trip "
                    "loses them");
  } else if (summary.Checked && file.DroppedByte) {
    printer.Warning(summary.NextLine, 1,
                    "a lone byte at the end, which no unit holds: it is ignored");
  }
  entries = summary.Entries;
  return true;
}
