// Between string tables and PO entries: keys, the texts PO can carry, and the two directions as
// streaming transforms over a unit source and sink, so that they run over files and memory alike.
#pragma once

#include "console/Printable.h"
#include "convert/DecodeUnits.h"
#include "convert/FindUnit.h"
#include "convert/Formats.h"
#include "convert/TableEntries.h"
#include "convert/TextCompare.h"
#include "po/PoFormat.h"
#include "po/PoKinds.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

// The keys of a table's entries, in table order. An entry's key is its id ("0001") for the first
// entry with that id and text, and "0001#N" for the N-th entry with the same id and the same text:
// entries of one id with different texts share the key and differ in msgid, which is what
// msgmerge matches on, so that a key follows its text across an update that adds or removes other
// entries with its id. Beside it, the entry's occurrence key, "0001#N" for the N-th entry with
// that id whatever its text, which pairs two versions of one table entry by entry, and which PO
// files of version 1.1.0 used as the key.
class TableKeys {
public:
  // The next entry's key.
  std::string Next(Unit id, std::span<const Unit> text);
  // The occurrence key of the entry named last.
  [[nodiscard]] const std::string& Occurrence() const { return LastOccurrence; }
  // Which repeat of its id and text the entry named last is: 1 for the first.
  [[nodiscard]] std::uint32_t Repeat() const { return LastRepeat; }
  // A 64-bit value kept with the last entry's id and text, shared by all its repeats (0 until
  // set): what the first of them said, for the repeats to be compared with.
  std::uint64_t& TextNote() { return *LastNote; }

private:
  // For each id: how many entries had it, and the first one's text. Texts are known by a 64-bit
  // hash of the id and text, never kept: two texts of one id would have to collide in all 64
  // bits. Only the texts of ids that come more than once are counted one by one, so that a table
  // of unique ids costs at most a few MiB (one record an id), whatever its size.
  struct IdSeen {
    std::uint64_t FirstText = 0;
    std::uint64_t FirstNote = 0;
    std::uint32_t Entries = 0;
  };
  std::unordered_map<Unit, IdSeen> SeenIds; // at most 65,536: a fixed bound, whatever the table
  // The counts and notes of the texts of repeated ids, open-addressed by hash (0 marks a free
  // slot); the slot of a hash.
  std::size_t RepeatSlot(std::uint64_t hash);
  std::vector<std::uint64_t> RepeatHashes;
  std::vector<std::uint32_t> RepeatCounts;
  std::vector<std::uint64_t> RepeatNotes;
  std::size_t RepeatsUsed = 0;
  std::string LastOccurrence;
  std::uint32_t LastRepeat = 0;
  std::uint64_t* LastNote = nullptr;
};

// Whether a PO file can carry a text: not empty (gettext reads an empty msgid as the header), no
// lone surrogate (UTF-8 cannot encode one) and no U+0004 (gettext's tools split keys at it).
bool Carriable(std::span<const Unit> text);

// A carriable text as UTF-8, and valid UTF-8 as units.
std::string ToUtf8(std::span<const Unit> text);
std::vector<Unit> ToUnits(std::string_view text);

// Why a paired export writes a translation fuzzy, or nullptr: gettext's tools refuse a pair that
// differs in a line break at either end, or in its C format conversions (their order included),
// unless it is fuzzy; other placeholders that differ need a look; and a text left as the
// original would look translated.
const char* FuzzyReason(std::string_view original, std::string_view translation);

// Where the entries of a translated table are, by id and occurrence (its N-th entry of an id
// pairs with the original's N-th): an export reads each text when it needs it, through `Texts`
// (anything with a Read(unitOffset, count) that gives those units of the table), and never holds
// the texts of the whole table.
template <class Texts> class TranslatedTable {
public:
  explicit TranslatedTable(Texts& texts) : Source(texts) {}

  struct Place {
    std::uint64_t Key;    // the id, and the occurrence above it
    std::uint64_t Offset; // the text's first unit
    std::uint64_t Entry;  // the entry's number, counting from 1
    std::uint32_t Length; // the text's length in units
    bool Matched;
  };

  // Reads where each entry is.
  template <class Source> void Index(Source& source) {
    TableEntry entry;
    std::uint64_t position = 0;
    std::unordered_map<Unit, std::uint32_t> occurrences;
    while (ReadTableEntry(source, entry) == TableStep::Entry) {
      if (entry.Text.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("a translated text longer than 4 Gi units");
      }
      const std::uint64_t key = std::uint64_t{++occurrences[entry.Id]} << 16 | entry.Id;
      Places.push_back({key, position + 1, Places.size() + 1,
                        static_cast<std::uint32_t>(entry.Text.size()), false});
      position += 1 + entry.Text.size() + (entry.Terminated ? 1 : 0);
    }
    std::sort(Places.begin(), Places.end(),
              [](const Place& a, const Place& b) { return a.Key < b.Key; });
  }

  // The entry with this id and occurrence, marked as matched, or nullptr; its text in `text`.
  const Place* Find(Unit id, std::uint32_t occurrence, std::vector<Unit>& text) {
    const std::uint64_t key = std::uint64_t{occurrence} << 16 | id;
    const auto found = std::lower_bound(
        Places.begin(), Places.end(), key,
        [](const Place& place, std::uint64_t wanted) { return place.Key < wanted; });
    if (found == Places.end() || found->Key != key) {
      return nullptr;
    }
    found->Matched = true;
    text = Source.Read(found->Offset, found->Length);
    return &*found;
  }

  // The entries no original entry matched, in table order.
  [[nodiscard]] std::vector<const Place*> Unmatched() const {
    std::vector<const Place*> places;
    for (const Place& place : Places) {
      if (!place.Matched) {
        places.push_back(&place);
      }
    }
    std::sort(places.begin(), places.end(),
              [](const Place* a, const Place* b) { return a->Entry < b->Entry; });
    return places;
  }

  // The key an entry had: "0001", or "0001#N" for the N-th entry of its id.
  static std::string KeyOf(const Place& place) {
    const auto field = IdField(static_cast<Unit>(place.Key & 0xFFFF));
    const std::uint64_t occurrence = place.Key >> 16;
    std::string key(field.begin(), field.end() - 1);
    return occurrence == 1 ? key : key + "#" + std::to_string(occurrence);
  }

private:
  Texts& Source;
  std::deque<Place> Places; // grown without copying what it holds
};

struct ExportCounts {
  std::uint64_t Entries = 0;
  std::uint64_t Translated = 0; // not fuzzy
  std::uint64_t Fuzzy = 0;      // translated, and written fuzzy with the reason
  std::uint64_t Same = 0;       // translated as the original text: written fuzzy
  std::uint64_t LeftOut = 0;
};

// Writes a PO entry for each carriable entry of the original table to `out` (anything with a
// Write(std::string_view)), with its translation from `translated` when there is one. Warns
// through `originalReport` (at entry numbers) of texts PO cannot carry, and through
// `translatedReport` of keys the original lacks and translations PO cannot carry.
template <class Source, class Translated, class Out, class Report>
ExportCounts ExportUnits(Source& original, Translated* translated, Out& out, Report& originalReport,
                         Report& translatedReport) {
  ExportCounts counts;
  TableKeys keys;
  TableEntry entry;
  std::string text;
  std::vector<Unit> otherText;
  std::unordered_map<Unit, std::uint32_t> occurrences;
  while (ReadTableEntry(original, entry) == TableStep::Entry) {
    ++counts.Entries;
    PoEntry po;
    po.Context = keys.Next(entry.Id, entry.Text);
    const typename std::remove_pointer_t<decltype(translated)>::Place* other = nullptr;
    if (translated != nullptr) {
      other = translated->Find(entry.Id, ++occurrences[entry.Id], otherText);
    }
    if (!Carriable(entry.Text)) {
      ++counts.LeftOut;
      originalReport.Report(PoKind::LeftOut, counts.Entries, 0, {Quoted(po.Context)});
      continue;
    }
    po.Id = ToUtf8(entry.Text);
    po.CFormat = IsCFormat(po.Id);
    const auto note = [&po](const std::string& why) {
      po.Comment += (po.Comment.empty() ? "" : "; ") + why;
    };
    if (other != nullptr && !otherText.empty() && !Carriable(otherText)) {
      translatedReport.Report(PoKind::TranslationNotCarried, other->Entry, 0, {Quoted(po.Context)});
    } else if (other != nullptr && !otherText.empty()) {
      po.Str = ToUtf8(otherText);
      if (const char* why = FuzzyReason(po.Id, po.Str); why != nullptr) {
        po.Fuzzy = true;
        note(std::string("fuzzy: ") + why);
        ++(po.Str == po.Id ? counts.Same : counts.Fuzzy);
      } else {
        ++counts.Translated;
      }
      // The first of a repeated id and text notes its translation; the others compare.
      const std::uint64_t translation = TextHash(po.Str) | 1;
      if (keys.Repeat() == 1) {
        keys.TextNote() = translation;
      } else if (keys.TextNote() != translation) {
        note("repeats the id and text of " + po.Context.substr(0, 4) +
             " with another translation: an update that adds or removes one of them can swap "
             "the two");
      }
    }
    text.clear();
    AppendPoEntry(text, po);
    out.Write(text);
  }
  if (translated != nullptr) {
    for (const auto* place : translated->Unmatched()) {
      translatedReport.Report(PoKind::KeyNotInOriginalTable, place->Entry, 0,
                              {Quoted(translated->KeyOf(*place))});
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

// The catalog entry that holds the translation of one table entry, or catalog.Size(): the entry
// of its key and text, else that of its 1.1.0 key and text; `used` marks the entries taken.
std::size_t FindTranslation(const PoCatalog& catalog, const std::string& key,
                            const std::string& occurrence, const std::string& text,
                            std::vector<bool>& used);

// Copies the original table to `sink` with each entry's text taken from the catalog where it has
// a translation for it (and only then): the same entries, ids and order, duplicates, end marker
// and whatever follows it included.
template <class Source, class Sink, class Report>
ImportCounts ImportUnits(Source& original, const PoCatalog& catalog, bool useFuzzy, Sink& sink,
                         Report& report) {
  ImportCounts counts;
  TableKeys keys;
  TableEntry entry;
  std::vector<bool> used(catalog.Size());
  // The texts of each key that found no translation, in table order: at the end, the PO's
  // entries of that key that no text took are paired with them, in order, as stale.
  std::unordered_map<std::string, std::vector<std::string>> unmatched;
  TableStep step = TableStep::End;
  while ((step = ReadTableEntry(original, entry)) == TableStep::Entry) {
    ++counts.Entries;
    const std::string key = keys.Next(entry.Id, entry.Text);
    std::optional<PoView> use;
    if (!Carriable(entry.Text)) {
      ++counts.LeftOut;
    } else {
      std::string text = ToUtf8(entry.Text);
      const std::size_t index = FindTranslation(catalog, key, keys.Occurrence(), text, used);
      const bool found = index != catalog.Size();
      if (!found && catalog.HasKey(key)) {
        unmatched[key].push_back(std::move(text));
      }
      const PoView po = found ? catalog.Entry(index) : PoView{};
      if (!found || po.Str.empty()) {
        ++counts.Untranslated;
      } else {
        ++(po.Fuzzy ? counts.Fuzzy : counts.Translated);
        if (!po.Fuzzy || useFuzzy) {
          use = po;
        }
      }
    }
    sink.PutUnit(entry.Id);
    if (use) {
      const TextDifferences differences = CompareTexts(use->Id, use->Str);
      if (!differences.Lacks.empty() || !differences.Adds.empty()) {
        const auto list = [](const std::vector<std::string>& items) {
          std::string text;
          for (const std::string& item : items) {
            if (!text.empty()) {
              text += ' ';
            }
            text += Quoted(item);
          }
          return text.empty() ? std::string("none") : text;
        };
        report.Report(PoKind::PlaceholdersDiffer, use->Line, 0,
                      {Quoted(key), list(Placeholders(use->Str)), list(Placeholders(use->Id))});
      }
      if (differences.EdgeLineBreaks) {
        report.Report(PoKind::LineBreaksDiffer, use->Line, 0, {Quoted(key)});
      }
      if (keys.Repeat() >= 2) {
        // The first entry of this id and text is keyed by the id alone.
        const std::size_t first = catalog.Find(key.substr(0, 4), use->Id);
        if (first != catalog.Size() && catalog.Entry(first).Str != use->Str) {
          report.Report(PoKind::RepeatsDiffer, use->Line, 0,
                        {Quoted(key), Quoted(key.substr(0, 4))});
        }
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
  // What no text took, in file order: a translation of an older text of a key the table still
  // has (stale, and not used), or of a key it has no more.
  std::unordered_map<std::string, std::size_t> taken;
  for (std::size_t i = 0; i < catalog.Size(); ++i) {
    if (used[i]) {
      continue;
    }
    const PoView po = catalog.Entry(i);
    const std::string key(po.Context);
    const auto texts = unmatched.find(key);
    std::size_t& next = taken[key];
    if (texts == unmatched.end() || next == texts->second.size()) {
      ++counts.NotInOriginal;
      report.Report(PoKind::KeyNotInOriginal, po.Line, 0, {Quoted(po.Context)});
      continue;
    }
    const std::string& text = texts->second[next++];
    if (!po.Str.empty()) {
      --counts.Untranslated;
      ++counts.Stale;
      report.Report(PoKind::StaleMsgid, po.Line, 0,
                    {Quoted(po.Context), Quoted(po.Id), Quoted(text)});
    }
  }
  return counts;
}
