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

// A catalog read from a PO file: its entries by key. Entries without msgctxt (other than the
// header) are kept under no key and ignored, and obsolete ones are skipped.
struct PoCatalog {
  // Entries of one key differ in msgid (the same key and msgid twice is refused).
  std::unordered_map<std::string, std::vector<PoEntry>> ByKey;
};

// Reads PO text as translation tools write it (a byte-order mark, CR LF line ends, strings split
// over lines, every escape gettext knows, flags, previous strings, obsolete entries). Reports each
// reason to refuse it at its line and returns false: a charset other than UTF-8, invalid UTF-8, a
// syntax error, a key used twice, a plural entry, a NUL in a string.
bool ReadPo(std::string_view text, PoCatalog& catalog, Reporter& reporter);

// "2026-12-07 12:00+0000" for a time in seconds since 1970, in UTC.
std::string PoDate(std::int64_t seconds);
