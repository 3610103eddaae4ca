#include "po/PoTable.h"

#include "convert/DecodeUnits.h"
#include "po/PoFormat.h"

#include <utf8.h>

#include <algorithm>
#include <cstring>

std::size_t TableKeys::RepeatSlot(std::uint64_t hash) {
  hash = hash == 0 ? 1 : hash;
  if ((RepeatsUsed + 1) * 4 > RepeatHashes.size() * 3) {
    // Grown at three quarters full, by rehashing what it holds.
    std::vector<std::uint64_t> hashes(std::max<std::size_t>(1024, RepeatHashes.size() * 2));
    std::vector<std::uint32_t> counts(hashes.size());
    std::vector<std::uint64_t> notes(hashes.size());
    const std::size_t mask = hashes.size() - 1;
    for (std::size_t i = 0; i < RepeatHashes.size(); ++i) {
      if (RepeatHashes[i] != 0) {
        std::size_t slot = RepeatHashes[i] & mask;
        while (hashes[slot] != 0) {
          slot = (slot + 1) & mask;
        }
        hashes[slot] = RepeatHashes[i];
        counts[slot] = RepeatCounts[i];
        notes[slot] = RepeatNotes[i];
      }
    }
    RepeatHashes.swap(hashes);
    RepeatCounts.swap(counts);
    RepeatNotes.swap(notes);
  }
  const std::size_t mask = RepeatHashes.size() - 1;
  std::size_t slot = hash & mask;
  while (RepeatHashes[slot] != 0 && RepeatHashes[slot] != hash) {
    slot = (slot + 1) & mask;
  }
  if (RepeatHashes[slot] == 0) {
    RepeatHashes[slot] = hash;
    ++RepeatsUsed;
  }
  return slot;
}

std::string TableKeys::Next(Unit id, std::span<const Unit> text) {
  // The id's two bytes, then the text's, as they lie in the table.
  const auto bytes = [](const Unit* units, std::size_t count) {
    return std::string_view(reinterpret_cast<const char*>(units), count * sizeof(Unit));
  };
  const std::uint64_t hash = TextHash(bytes(text.data(), text.size()), TextHash(bytes(&id, 1)));
  IdSeen& seen = SeenIds[id];
  const std::uint32_t occurrence = ++seen.Entries;
  if (occurrence == 1) {
    seen.FirstText = hash;
    LastRepeat = 1;
    LastNote = &seen.FirstNote;
  } else {
    if (occurrence == 2) {
      RepeatCounts[RepeatSlot(seen.FirstText)] = 1;
    }
    const std::size_t slot = RepeatSlot(hash);
    LastRepeat = ++RepeatCounts[slot];
    // The id's first text keeps its note where it was first made.
    LastNote = hash == seen.FirstText ? &seen.FirstNote : &RepeatNotes[slot];
  }
  const auto field = IdField(id);
  std::string key(field.begin(), field.end() - 1);
  LastOccurrence = occurrence == 1 ? key : key + "#" + std::to_string(occurrence);
  return LastRepeat == 1 ? key : key + "#" + std::to_string(LastRepeat);
}

std::size_t FindTranslation(const PoCatalog& catalog, const std::string& key,
                            const std::string& occurrence, const std::string& text,
                            std::vector<bool>& used) {
  for (const std::string* name : {&key, &occurrence}) {
    const std::size_t found = catalog.Find(*name, text);
    if (found != catalog.Size() && !used[found]) {
      used[found] = true;
      return found;
    }
  }
  return catalog.Size();
}

bool Carriable(std::span<const Unit> text) {
  if (text.empty()) {
    return false;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    const Unit unit = text[i];
    if (unit == 0x0004 || IsLowSurrogate(unit)) {
      return false;
    }
    if (IsHighSurrogate(unit)) {
      if (i + 1 == text.size() || !IsLowSurrogate(text[i + 1])) {
        return false;
      }
      ++i;
    }
  }
  return true;
}

std::string ToUtf8(std::span<const Unit> text) {
  std::string out;
  out.reserve(text.size());
  utf8::unchecked::utf16to8(text.begin(), text.end(), std::back_inserter(out));
  return out;
}

std::vector<Unit> ToUnits(std::string_view text) {
  std::vector<Unit> out;
  out.reserve(text.size());
  utf8::unchecked::utf8to16(text.begin(), text.end(), std::back_inserter(out));
  return out;
}

const char* FuzzyReason(std::string_view original, std::string_view translation) {
  if (translation == original) {
    return "the translation is the original text";
  }
  if (EdgeLineBreaksDiffer(original, translation)) {
    return "the translation starts or ends with a line break where the original does not, or "
           "the other way round";
  }
  if (Placeholders(original) != Placeholders(translation) ||
      ConversionsInOtherOrder(original, translation)) {
    return "the translation has other placeholders than the original, or has them in another "
           "order";
  }
  return nullptr;
}
