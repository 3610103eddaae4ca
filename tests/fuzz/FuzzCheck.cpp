// The checker's promise: a file it finds nothing in comes back through a round trip exactly (a
// dump's lower-case id digits come back upper-case), and a file with no error differs after a
// round trip only in what a warning named; and a dump decoded from a table checks clean against
// that table.
#include "MemoryUnits.h"
#include "Promise.h"
#include "check/CheckAgainst.h"
#include "check/CheckDump.h"
#include "check/CheckTable.h"
#include "console/Reporter.h"
#include "convert/DecodeUnits.h"
#include "convert/EncodeUnits.h"

#include <cctype>
#include <string>

namespace {

// Chunks this small never hold a whole line with its id field and LF.
constexpr std::size_t ReferenceChunk = IdFieldUnits;

// The checker's own reporter, never flushed: only its counts matter here.
Reporter Counts() {
  return {"", ReporterOptions{.Quiet = true}};
}

UnitVector Decoded(const UnitVector& table) {
  MemorySource source{table};
  MemorySink sink;
  DecodeUnits(source, sink);
  return sink.Output;
}

UnitVector Encoded(const UnitVector& dump) {
  MemorySource source{dump};
  MemorySink sink;
  EncodeUnits(source, sink);
  return sink.Output;
}

// What a dump without errors comes back as: id digits in upper case, "=" after them (where a
// stand-in that a warning names was), and nothing from an FFFF line on (a warning names it).
UnitVector Normalized(const UnitVector& dump) {
  UnitVector result;
  std::size_t start = 0;
  while (start < dump.size()) {
    std::size_t end = start;
    while (end < dump.size() && dump[end] != LineEnd) {
      ++end;
    }
    // The id field is the next five units wherever the line ends: "FFFF" and its LF end it too.
    if (dump.size() - start >= IdFieldUnits && IdFieldValue(dump.data() + start) == EndMarkerId) {
      break;
    }
    for (std::size_t i = start; i <= end && i < dump.size(); ++i) {
      const Unit unit = dump[i];
      result.push_back(i < start + 4 && unit < 0x80
                           ? static_cast<Unit>(std::toupper(static_cast<unsigned char>(unit)))
                       : i == start + 4 && unit != LineEnd ? IdFieldEnd
                                                           : unit);
    }
    start = end + 1;
  }
  return result;
}

// Whether an entry's text before the end marker holds an LF: legal in a table, and a warning,
// but a dump cannot carry it, so the table's round trip through a dump differs.
bool LfInText(const UnitVector& table) {
  bool atId = true;
  for (const Unit unit : table) {
    if (atId) {
      if (unit == EndMarkerId) {
        return false;
      }
      atId = false;
    } else if (unit == TextTerminator) {
      atId = true;
    } else if (unit == LineEnd) {
      return true;
    }
  }
  return false;
}

// A memory source as the checker reads one.
class MemoryReader final : public UnitReader {
public:
  MemoryReader(const UnitVector& units, std::size_t chunk) : Source{units, chunk} {}
  std::span<const Unit> Peek() override { return Source.Peek(); }
  void Advance(std::size_t count) override { Source.Advance(count); }

private:
  MemorySource Source;
};

// Everything the checker says of a table's own dump, held against that table: nothing, since
// what the plain check finds there the table has too.
void PromiseCleanAgainst(const UnitVector& table, std::size_t chunk, IdRegister& ids) {
  UnitVector dump = Decoded(table);
  dump.insert(dump.begin(), TextBom);
  MemoryReader source{dump, chunk};
  Reporter found = Counts();
  const CheckSummary summary = CheckDumpUnits(source, found, ids);
  MemoryReader original{table, chunk};
  MemoryReader edited{dump, chunk};
  const AgainstCounts counts =
      CheckAgainstUnits(original, edited, {.CrLfEverywhere = summary.CrLfEverywhere}, ids, found);
  Promise(found.Errors == 0 && found.Warnings == 0);
  Promise(counts.Paired == summary.Entries);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t chunk = 1;
  UnitVector units = FuzzUnits(data, size, chunk);
  const bool loneByte = size > 1 && (size - 1) % 2 != 0;
  static IdRegister ids; // one for every input, as a run has one for every file

  // As a table.
  {
    MemoryReader source{units, chunk};
    Reporter found = Counts();
    const CheckSummary summary = CheckTableUnits(source, found, ids);
    if (chunk > ReferenceChunk) {
      MemoryReader byUnit{units, ReferenceChunk}; // as for dumps below
      Reporter general = Counts();
      const CheckSummary generalSummary = CheckTableUnits(byUnit, general, ids);
      Promise(general.Errors == found.Errors && general.Warnings == found.Warnings);
      Promise(generalSummary.Entries == summary.Entries &&
              generalSummary.EndMarker == summary.EndMarker);
    }
    const bool warnedAfterEnd = summary.EndMarker && (summary.UnitsAfterEnd || loneByte);
    found.Warnings += loneByte || warnedAfterEnd ? 1 : 0;
    if (found.Errors == 0 && !LfInText(units)) {
      const UnitVector back = Encoded(Decoded(units));
      const UnitVector upToEnd(units.begin(), units.begin() + static_cast<long>(back.size()));
      Promise(back.size() <= units.size() && back == upToEnd);
      Promise(found.Warnings != 0 || back == units);
      PromiseCleanAgainst(units, chunk, ids);
    }
  }

  // As a dump: the same units after a byte-order mark.
  units.insert(units.begin(), TextBom);
  MemoryReader source{units, chunk};
  Reporter found = Counts();
  const CheckSummary summary = CheckDumpUnits(source, found, ids);
  // In chunks too small for a line to be taken whole, the same findings: the paths that take
  // whole lines at a time find what the general one does.
  if (chunk > ReferenceChunk) {
    MemoryReader byUnit{units, ReferenceChunk};
    Reporter general = Counts();
    const CheckSummary generalSummary = CheckDumpUnits(byUnit, general, ids);
    Promise(general.Errors == found.Errors && general.Warnings == found.Warnings);
    Promise(generalSummary.Entries == summary.Entries &&
            generalSummary.NextLine == summary.NextLine);
  }
  // A dump of odd length is damaged: an error, as the checker reports it for a file.
  if (found.Errors == 0 && !loneByte) {
    Promise(summary.Checked);
    const UnitVector dump(units.begin() + 1, units.end());
    const UnitVector back = Decoded(Encoded(dump));
    Promise(back == Normalized(dump));
    Promise(found.Warnings != 0 || back.size() == dump.size());
  }
  return 0;
}
