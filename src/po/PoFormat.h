// The gettext PO format, as far as the bridge writes and reads it: UTF-8 text, one entry per
// table entry keyed by msgctxt.
#pragma once

#include "console/Reporter.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct PoEntry {
  std::string Context; // msgctxt: the key
  std::string Id;      // msgid: the original text, UTF-8
  std::string Str;     // msgstr: the translation, UTF-8
  bool Fuzzy = false;
  bool CFormat = false; // written as the c-format flag, so that tools check the conversions
  std::string Comment;    // an extracted comment (#.), one line; written only
  std::uint64_t Line = 0; // where the entry starts; read only
};

struct PoHeaderFields {
  std::string Project;
  std::string CreationDate;
  std::string RevisionDate; // empty in a template, which has none
  std::string Language;
  std::string Generator;
};

// The header entry.
std::string PoHeader(const PoHeaderFields& fields);

// Appends an entry: the empty line before it, its comment, its key as a reference (for tools
// that keep references but drop msgctxt), its flag, msgctxt, msgid and msgstr.
void AppendPoEntry(std::string& out, const PoEntry& entry);

// A catalog read from a PO file: its entries in file order, found by key and msgid, or by key
// alone. An entry without msgctxt takes its key from a "#:" reference that names one, as tools
// that drop msgctxt keep it; one with neither is only counted. Obsolete entries are skipped.
struct PoCatalog {
  std::vector<PoEntry> Entries;
  // "KEY\x04MSGID" (U+0004 never appears in a key or a carried text) -> index in Entries.
  std::unordered_map<std::string, std::size_t> ByKeyAndId;
  // KEY -> indices in Entries, in file order.
  std::unordered_map<std::string, std::vector<std::size_t>> ByKey;
  std::uint64_t WithoutKey = 0;
};

// The lookup name of a key and msgid in ByKeyAndId.
std::string KeyAndId(std::string_view key, std::string_view id);

// Reads PO text as translation tools write it (a byte-order mark, CR LF line ends, strings split
// over lines, every escape gettext knows, flags, previous strings, obsolete entries). Reports each
// reason to refuse it at its line and returns false: a charset other than UTF-8, invalid UTF-8, a
// syntax error, a key used twice, a plural entry, a NUL in a string. Warns of each entry without
// a key.
bool ReadPo(std::string_view text, PoCatalog& catalog, Reporter& reporter);

// "2026-12-07 12:00+0000" for a time in seconds since 1970, in UTC.
std::string PoDate(std::int64_t seconds);
