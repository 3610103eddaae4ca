// The PO bridge's promises: importing a table's own template into it gives the table back byte for
// byte; importing the PO that pairs it with a translated table of the same keys gives that table,
// except where PO cannot carry a text or the pair is fuzzy; and what the writer writes, the reader
// reads without complaint.
#include "MemoryUnits.h"
#include "Promise.h"
#include "console/Reporter.h"
#include "po/PoTable.h"

#include <string>
#include <vector>

namespace {

std::vector<TableEntry> Entries(const UnitVector& table) {
  std::vector<TableEntry> entries;
  MemorySource source{table};
  TableEntry entry;
  while (ReadTableEntry(source, entry) == TableStep::Entry) {
    entries.push_back(entry);
  }
  return entries;
}

// The table with each entry's text replaced as `text` says, and nothing else changed.
template <class Text> UnitVector Replaced(const UnitVector& table, Text text) {
  UnitVector result;
  MemorySource source{table};
  TableEntry entry;
  std::size_t index = 0;
  TableStep step = TableStep::End;
  while ((step = ReadTableEntry(source, entry)) == TableStep::Entry) {
    const std::vector<Unit> units = text(index++, entry.Text);
    result.push_back(entry.Id);
    result.insert(result.end(), units.begin(), units.end());
    if (entry.Terminated) {
      result.push_back(TextTerminator);
    }
  }
  if (step == TableStep::EndMarker) {
    result.push_back(EndMarkerId);
    result.insert(result.end(), table.begin() + static_cast<long>(source.Position), table.end());
  }
  return result;
}

UnitVector Import(const UnitVector& table, const std::string& po, bool useFuzzy) {
  Reporter quiet("", ReporterOptions{.Quiet = true});
  PoCatalog catalog;
  Promise(ReadPo(po, catalog, quiet));
  MemorySource source{table};
  MemorySink sink;
  ImportUnits(source, catalog, useFuzzy, sink, quiet);
  return sink.Output;
}

bool WrittenFuzzy(const std::vector<Unit>& a, const std::vector<Unit>& b) {
  return FuzzyReason(ToUtf8(a), ToUtf8(b)) != nullptr;
}

struct MemoryTexts {
  const UnitVector& Table;
  std::vector<Unit> Read(std::uint64_t offset, std::uint32_t count) const {
    return {Table.begin() + static_cast<long>(offset),
            Table.begin() + static_cast<long>(offset + count)};
  }
};

struct StringWriter {
  std::string& Out;
  void Write(std::string_view text) { Out += text; }
};

// The table without its first entry.
UnitVector WithoutFirst(const UnitVector& table) {
  MemorySource source{table};
  TableEntry entry;
  if (ReadTableEntry(source, entry) != TableStep::Entry) {
    return table;
  }
  return UnitVector(table.begin() + static_cast<long>(source.Position), table.end());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t chunk = 1;
  const UnitVector table = FuzzUnits(data, size, chunk);
  Reporter quiet("", ReporterOptions{.Quiet = true});
  const std::string header = PoHeader({"fuzz", "2026-12-07 12:00+0000", "", "", "fuzz"});

  std::string pot = header;
  StringWriter potWriter{pot};
  MemorySource source{table, chunk};
  ExportUnits(source, static_cast<TranslatedTable<MemoryTexts>*>(nullptr), potWriter, quiet, quiet);
  Promise(Import(table, pot, false) == table);

  // A translated table with the same keys: the texts in the opposite order.
  const std::vector<TableEntry> entries = Entries(table);
  const auto other = [&entries](std::size_t index, const std::vector<Unit>& /*text*/) {
    return entries[entries.size() - 1 - index].Text;
  };
  const UnitVector translated = Replaced(table, other);
  std::string po = header;
  StringWriter poWriter{po};
  MemorySource original{table, chunk};
  MemorySource translatedSource{translated};
  MemoryTexts texts{translated};
  TranslatedTable<MemoryTexts> byKey(texts);
  byKey.Index(translatedSource);
  ExportUnits(original, &byKey, poWriter, quiet, quiet);
  // One reading of the fuzzy pairs an input (its first byte's top bit says which): both are
  // covered across the corpus at half the cost.
  {
    const bool useFuzzy = size != 0 && (data[0] & 0x80) != 0;
    const UnitVector expected =
        Replaced(table, [&](std::size_t index, const std::vector<Unit>& text) {
          const std::vector<Unit>& wanted = other(index, text);
          const bool kept =
              !Carriable(text) || !Carriable(wanted) || (!useFuzzy && WrittenFuzzy(text, wanted));
          return kept ? text : wanted;
        });
    Promise(Import(table, po, useFuzzy) == expected);

    // An update that removes the first entry moves no translation onto another text: every
    // entry but the repeats of the removed one's id and text keeps its own.
    const std::vector<TableEntry> full = Entries(expected);
    const std::vector<TableEntry> cut = Entries(Import(WithoutFirst(table), po, useFuzzy));
    Promise(cut.size() + 1 == full.size() || full.empty());
    for (std::size_t i = 1; i < full.size(); ++i) {
      if (entries[i].Id != entries[0].Id || entries[i].Text != entries[0].Text) {
        Promise(cut[i - 1].Text == full[i].Text);
      }
    }
  }
  return 0;
}
