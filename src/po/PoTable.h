// Between string tables and PO entries: keys, the texts PO can carry, and the two directions as
// streaming transforms over a unit source and sink, so that they run over files and memory alike.
#pragma once

#include "console/Printable.h"
#include "convert/FindUnit.h"
#include "convert/Formats.h"
#include "po/PoFormat.h"
#include "po/PoKinds.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The key of each entry in table order: "0001" for the first entry with id 0001, "0001#2" for the
// second, and so on, so that adding a later duplicate never changes an earlier key.
class KeyCounter {
public:
  std::string Next(Unit id);
  // How many entries with this id came before the last one named.
  [[nodiscard]] std::uint32_t Occurrence(Unit id) const { return Seen.at(id); }

private:
  std::unordered_map<Unit, std::uint32_t> Seen;
};

// Whether a PO file can carry a text: not empty (gettext reads an empty msgid as the header), no
// lone surrogate (UTF-8 cannot encode one) and no U+0004 (gettext's tools split keys at it).
bool Carriable(std::span<const Unit> text);

// A carriable text as UTF-8, and valid UTF-8 as units.
std::string ToUtf8(std::span<const Unit> text);
std::vector<Unit> ToUnits(const std::string& text);

// The placeholders of a text, sorted: printf conversions (%s, %5.2f, %1$s, %%), braces ({0},
// {name}) and tags (<b>, </color>).
std::vector<std::string> Placeholders(const std::string& text);

// One entry of a table, read from a unit source.
enum class TableStep { Entry, EndMarker, End };
struct TableEntry {
  Unit Id = 0;
  std::vector<Unit> Text;
  bool Terminated = false; // false only for a last entry that the file cuts off
};

template <class Source> TableStep ReadTableEntry(Source& source, TableEntry& entry) {
  std::span<const Unit> chunk = source.Peek();
  if (chunk.empty()) {
    return TableStep::End;
  }
  entry.Id = chunk[0];
  source.Advance(1);
  if (entry.Id == EndMarkerId) {
    return TableStep::EndMarker;
  }
  entry.Text.clear();
  entry.Terminated = false;
  for (chunk = source.Peek(); !chunk.empty(); chunk = source.Peek()) {
    const Unit* const end = FindUnit(chunk.data(), chunk.data() + chunk.size(), TextTerminator);
    entry.Text.insert(entry.Text.end(), chunk.data(), end);
    const auto used = static_cast<std::size_t>(end - chunk.data());
    if (used < chunk.size()) {
      source.Advance(used + 1);
      entry.Terminated = true;
      break;
    }
    source.Advance(used);
  }
  return TableStep::Entry;
}

// The texts of a translated table by key, as UTF-8; a text PO cannot carry is kept as not
// carriable, with the entry's number for the warning.
struct TranslatedText {
  std::string Text;
  bool CanCarry = false;
  std::uint64_t Entry = 0;
  bool Matched = false;
};
using TranslatedTable = std::unordered_map<std::string, TranslatedText>;

template <class Source> TranslatedTable ReadTranslated(Source& source) {
  TranslatedTable table;
  KeyCounter keys;
  TableEntry entry;
  std::uint64_t number = 0;
  while (ReadTableEntry(source, entry) == TableStep::Entry) {
    const bool canCarry = Carriable(entry.Text);
    table[keys.Next(entry.Id)] = {canCarry ? ToUtf8(entry.Text) : std::string(),
                                  canCarry || entry.Text.empty(), ++number, false};
  }
  return table;
}

struct ExportCounts {
  std::uint64_t Entries = 0;
  std::uint64_t Translated = 0;
  std::uint64_t LeftOut = 0;
};

// Appends a PO entry for each carriable entry of the original table, with its translation from
// `translated` when there is one; warns through `report` (at the translated table's entry numbers)
// of keys the original lacks and translations PO cannot carry.
template <class Source, class Report>
ExportCounts ExportUnits(Source& original, TranslatedTable* translated, std::string& out,
                         Report& report) {
  ExportCounts counts;
  KeyCounter keys;
  TableEntry entry;
  while (ReadTableEntry(original, entry) == TableStep::Entry) {
    ++counts.Entries;
    PoEntry po;
    po.Context = keys.Next(entry.Id);
    TranslatedText* other = nullptr;
    if (translated != nullptr) {
      const auto found = translated->find(po.Context);
      if (found != translated->end()) {
        other = &found->second;
        other->Matched = true;
      }
    }
    if (!Carriable(entry.Text)) {
      ++counts.LeftOut;
      continue;
    }
    po.Id = ToUtf8(entry.Text);
    if (other != nullptr && !other->CanCarry) {
      report.Report(PoKind::TranslationNotCarried, other->Entry, 0, {Quoted(po.Context)});
    } else if (other != nullptr && !other->Text.empty()) {
      po.Str = other->Text;
      ++counts.Translated;
      // gettext's tools refuse a pair that differs in a line break at either end unless it is
      // fuzzy.
      if ((po.Id.front() == '\n') != (po.Str.front() == '\n') ||
          (po.Id.back() == '\n') != (po.Str.back() == '\n')) {
        po.Fuzzy = true;
        po.Comment = "fuzzy: the translation starts or ends with a line break where the "
                     "original does not, or the other way round";
      }
    }
    if (const std::uint32_t occurrence = keys.Occurrence(entry.Id); occurrence >= 2) {
      if (!po.Comment.empty()) {
        po.Comment += "; ";
      }
      po.Comment += "entry " + std::to_string(occurrence) + " with id " + po.Context.substr(0, 4);
    }
    AppendPoEntry(out, po);
  }
  if (translated != nullptr) {
    for (const auto& [key, text] : *translated) {
      if (!text.Matched) {
        report.Report(PoKind::KeyNotInOriginalTable, text.Entry, 0, {Quoted(key)});
      }
    }
  }
  return counts;
}

struct ImportCounts {
  std::uint64_t Entries = 0;
  std::uint64_t Translated = 0;
  std::uint64_t Fuzzy = 0;
  std::uint64_t Untranslated = 0;
  std::uint64_t Stale = 0;
  std::uint64_t NotInOriginal = 0;
  std::uint64_t LeftOut = 0;
};

// Copies the original table to `sink` with each entry's text taken from the catalog where it has
// a translation for it (and only then): the same entries, ids and order, duplicates, end marker
// and whatever follows it included.
template <class Source, class Sink, class Report>
ImportCounts ImportUnits(Source& original, const PoCatalog& catalog, bool useFuzzy, Sink& sink,
                         Report& report) {
  ImportCounts counts;
  KeyCounter keys;
  TableEntry entry;
  std::unordered_set<std::string> matched;
  TableStep step = TableStep::End;
  while ((step = ReadTableEntry(original, entry)) == TableStep::Entry) {
    ++counts.Entries;
    const std::string key = keys.Next(entry.Id);
    const PoEntry* use = nullptr;
    const auto found = catalog.ByKey.find(key);
    if (found != catalog.ByKey.end()) {
      matched.insert(key);
    }
    if (!Carriable(entry.Text)) {
      ++counts.LeftOut;
    } else if (found == catalog.ByKey.end()) {
      ++counts.Untranslated;
    } else {
      const std::string text = ToUtf8(entry.Text);
      const std::vector<PoEntry>& entries = found->second;
      const auto same = std::find_if(entries.begin(), entries.end(),
                                     [&text](const PoEntry& po) { return po.Id == text; });
      if (same == entries.end()) {
        ++counts.Stale;
        report.Report(PoKind::StaleMsgid, entries.front().Line, 0, {Quoted(key)});
      } else if (same->Str.empty()) {
        ++counts.Untranslated;
      } else {
        ++(same->Fuzzy ? counts.Fuzzy : counts.Translated);
        use = !same->Fuzzy || useFuzzy ? &*same : nullptr;
      }
    }
    sink.PutUnit(entry.Id);
    if (use != nullptr) {
      const std::vector<std::string> want = Placeholders(use->Id);
      const std::vector<std::string> have = Placeholders(use->Str);
      if (want != have) {
        const auto list = [](const std::vector<std::string>& items) {
          std::string text;
          for (const std::string& item : items) {
            text += (text.empty() ? "" : " ") + item;
          }
          return text.empty() ? std::string("none") : text;
        };
        report.Report(PoKind::PlaceholdersDiffer, use->Line, 0, {Quoted(key), list(have), list(want)});
      }
      if ((use->Id.front() == '\n') != (use->Str.front() == '\n') ||
          (use->Id.back() == '\n') != (use->Str.back() == '\n')) {
        report.Report(PoKind::LineBreaksDiffer, use->Line, 0, {Quoted(key)});
      }
      const std::vector<Unit> units = ToUnits(use->Str);
      sink.Put(units.data(), units.size());
    } else {
      sink.Put(entry.Text.data(), entry.Text.size());
    }
    if (entry.Terminated) {
      sink.PutUnit(TextTerminator);
    }
  }
  if (step == TableStep::EndMarker) {
    sink.PutUnit(EndMarkerId);
    for (std::span<const Unit> rest = original.Peek(); !rest.empty(); rest = original.Peek()) {
      sink.Put(rest.data(), rest.size());
      original.Advance(rest.size());
    }
  }
  for (const auto& [key, entries] : catalog.ByKey) {
    if (!matched.contains(key)) {
      ++counts.NotInOriginal;
      report.Report(PoKind::KeyNotInOriginal, entries.front().Line, 0, {Quoted(key)});
    }
  }
  return counts;
}
