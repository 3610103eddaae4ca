// The gettext PO format, as far as the bridge writes and reads it: UTF-8 text, one entry per
// table entry keyed by msgctxt.
#pragma once

#include "console/Reporter.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct PoEntry {
  std::string Context; // msgctxt: the key
  std::string Id;      // msgid: the original text, UTF-8
  std::string Str;     // msgstr: the translation, UTF-8
  bool Fuzzy = false;
  bool CFormat = false;   // written as the c-format flag, so that tools check the conversions
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

// One entry of a catalog, as it is looked at: views into the catalog's own storage.
struct PoView {
  std::string_view Context;
  std::string_view Id;
  std::string_view Str;
  bool Fuzzy = false;
  std::uint64_t Line = 0;
};

// A catalog read from a PO file: its entries in file order, found by key and msgid. An entry
// without msgctxt takes its key from a "#:" reference that names one, as tools that drop msgctxt
// keep it; one with neither is only counted. Obsolete entries are skipped.
//
// Compact, so that a large PO fits in about its own size: the strings lie end to end in blocks
// that never move, each entry costs a fixed record and two slots of open-addressed hash tables,
// and nothing is ever copied to grow (the records, too, come in blocks).
class PoCatalog {
public:
  [[nodiscard]] std::size_t Size() const { return Count; }
  [[nodiscard]] PoView Entry(std::size_t index) const;
  // The entry of a key and msgid, or Size() when there is none.
  [[nodiscard]] std::size_t Find(std::string_view key, std::string_view id) const;
  [[nodiscard]] bool HasKey(std::string_view key) const;
  // Adds an entry; when one of its key and msgid is there already, returns false and its index in
  // `existing`.
  bool Add(const PoEntry& entry, std::size_t& existing);

  std::uint64_t WithoutKey = 0;

private:
  struct Record {
    std::uint32_t Block;
    std::uint32_t Offset;
    std::uint32_t ContextLength;
    std::uint32_t IdLength;
    std::uint32_t StrLength;
    std::uint32_t Line : 31; // the line, up to 2^31 - 1 (beyond that, no more than that)
    std::uint32_t Fuzzy : 1;
  };
  static constexpr std::size_t RecordsPerBlock = 1024;
  static constexpr std::size_t StringBlockBytes = std::size_t{1} << 20;

  [[nodiscard]] const Record& At(std::size_t index) const {
    return Records[index / RecordsPerBlock][index % RecordsPerBlock];
  }
  // Slot tables: entry index + 1, 0 for a free slot; the size is a power of two.
  static void Insert(std::vector<std::uint32_t>& table, std::uint64_t hash, std::uint32_t value);
  void Grow();

  std::vector<std::unique_ptr<char[]>> Strings;
  std::size_t StringsUsed = 0; // in the last block
  std::size_t StringsRoom =
      0; // the last block's size // in the last block: full, so that the first add makes one
  std::vector<std::unique_ptr<Record[]>> Records;
  std::size_t Count = 0;
  std::vector<std::uint32_t> ByKeyAndId; // by the hash of key and msgid
  std::vector<std::uint32_t> ByKey;      // by the hash of the key, one slot for each key
};

// The incremental reader behind ReadPo: the bytes of a PO file are fed in pieces of any size, so
// that no more than one line of the file is held beside the catalog.
class PoReader {
public:
  PoReader(PoCatalog& catalog, Reporter& reporter);
  ~PoReader();
  PoReader(const PoReader&) = delete;
  PoReader& operator=(const PoReader&) = delete;
  // False once the file has been refused: what follows is not read.
  bool Feed(std::string_view bytes);
  // The end of the file; true when it was read without an error.
  bool End();

private:
  struct State;
  std::unique_ptr<State> Read;
};

// Reads PO text as translation tools write it (a byte-order mark, CR LF line ends, strings split
// over lines, every escape gettext knows, flags, previous strings, obsolete entries). Reports each
// reason to refuse it at its line and returns false: a charset other than UTF-8, invalid UTF-8, a
// syntax error, a key used twice, a plural entry, a NUL in a string. Warns of each entry without
// a key.
bool ReadPo(std::string_view text, PoCatalog& catalog, Reporter& reporter);

// A 64-bit FNV-1a name of a text; `start` continues the name of what came before it.
inline constexpr std::uint64_t TextHashStart = 14695981039346656037ULL;
std::uint64_t TextHash(std::string_view text, std::uint64_t start = TextHashStart);

// "2026-12-07 12:00+0000" for a time in seconds since 1970, in UTC.
std::string PoDate(std::int64_t seconds);
