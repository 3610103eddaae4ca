#include "po/PoFormat.h"

#include "console/Printable.h"
#include "po/PoKinds.h"

#include <utf8.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <limits>
#include <numeric>
#include <optional>
#include <stdexcept>

namespace {

// The escapes every PO reader decodes, and no others. BEL, BS, VT and FF stay raw bytes: msgcat
// would write them \a \b \v \f, but polib and Translate Toolkit (so Weblate) read those as a
// backslash and a letter, and the text would no longer match its table.
void AppendEscaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
    case '\\':
      out += "\\\\";
      break;
    case '"':
      out += "\\\"";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\t':
      out += "\\t";
      break;
    case '\r':
      out += "\\r";
      break;
    default:
      out += c;
    }
  }
}

// One string: on its keyword's line, or, when it holds a line break before its end, as "" and
// then one line for each piece that a line break ends (as gettext's own tools lay it out).
void AppendString(std::string& out, std::string_view keyword, std::string_view text) {
  out += keyword;
  const std::size_t inner = text.find('\n');
  if (inner == std::string_view::npos || inner + 1 == text.size()) {
    out += " \"";
    AppendEscaped(out, text);
    out += "\"\n";
    return;
  }
  out += " \"\"\n";
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
    out += '"';
    AppendEscaped(out, text.substr(start, end - start));
    out += "\"\n";
    start = end;
  }
}

// Reading -----------------------------------------------------------------------------------

struct Reader {
  PoCatalog& Catalog;
  Reporter& Out;
  bool Failed = false;

  void Fail(std::uint64_t line, PoKind kind, std::initializer_list<std::string> arguments = {}) {
    Out.Report(kind, line, 0, arguments);
    Failed = true;
  }
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// Decodes one quoted string that starts `text`; nullopt (with the reason in `error`) when it is
// not one.
std::optional<std::string> QuotedString(std::string_view text, std::string& error) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
    ++i;
  }
  if (i == text.size() || text[i] != '"') {
    error = "a string in double quotes was expected";
    return std::nullopt;
  }
  std::string value;
  for (++i; i < text.size() && text[i] != '"'; ++i) {
    if (text[i] != '\\') {
      value += text[i];
      continue;
    }
    if (++i == text.size()) {
      break;
    }
    const char c = text[i];
    switch (c) {
    case 'n':
      value += '\n';
      break;
    case 't':
      value += '\t';
      break;
    case 'r':
      value += '\r';
      break;
    case 'a':
      value += '\a';
      break;
    case 'b':
      value += '\b';
      break;
    case 'f':
      value += '\f';
      break;
    case 'v':
      value += '\v';
      break;
    case '\\':
    case '"':
    case '\'':
    case '?':
      value += c;
      break;
    case 'x': {
      int code = 0;
      int digits = 0;
      while (digits < 2 && i + 1 < text.size() && HexDigit(text[i + 1]) >= 0) {
        code = code * 16 + HexDigit(text[++i]);
        ++digits;
      }
      if (digits == 0) {
        error = "\\x without a hexadecimal digit";
        return std::nullopt;
      }
      value += static_cast<char>(code);
      break;
    }
    default:
      if (c >= '0' && c <= '7') {
        int code = c - '0';
        for (int digits = 1;
             digits < 3 && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7';
             ++digits) {
          code = code * 8 + (text[++i] - '0');
        }
        value += static_cast<char>(code);
      } else {
        error = std::string("an unknown escape \\") + c;
        return std::nullopt;
      }
    }
  }
  if (i >= text.size()) {
    error = "a string without its closing double quote";
    return std::nullopt;
  }
  for (++i; i < text.size(); ++i) {
    if (text[i] != ' ' && text[i] != '\t') {
      error = "text after the closing double quote";
      return std::nullopt;
    }
  }
  return value;
}

// The charset a header's Content-Type declares; empty when it declares none.
std::string Charset(const std::string& header) {
  std::string lower = header;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::size_t at = lower.find("charset=");
  if (at == std::string::npos || lower.rfind("content-type:", at) == std::string::npos) {
    return {};
  }
  std::size_t start = at + 8;
  std::size_t end = start;
  while (end < header.size() && header[end] != '\n' && header[end] != ';' && header[end] != ' ') {
    ++end;
  }
  // gettext takes the value in quotes as well.
  if (end - start >= 2 && header[start] == '"' && header[end - 1] == '"') {
    ++start;
    --end;
  }
  return header.substr(start, end - start);
}

// Whether a declared charset is UTF-8, in any of the spellings gettext accepts.
bool IsUtf8Charset(std::string charset) {
  std::transform(charset.begin(), charset.end(), charset.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return charset == "utf-8" || charset == "utf8";
}

enum class Part { None, Context, Id, IdPlural, Str, StrPlural };

struct Pending {
  PoEntry Entry;
  bool HasContext = false;
  bool HasId = false;
  bool HasStr = false;
  bool Plural = false;
  Part Last = Part::None;
  std::uint64_t Line = 0;
  std::string ReferenceKey; // a key named by a #: reference, for an entry without msgctxt
};

// "0001", or "0001#2" and up: four hexadecimal digits, and a repeat's number.
bool IsKey(std::string_view key) {
  if (key.size() < 4 ||
      !std::all_of(key.begin(), key.begin() + 4, [](char c) { return HexDigit(c) >= 0; })) {
    return false;
  }
  if (key.size() == 4) {
    return true;
  }
  return key.size() >= 6 && key.size() <= 15 && key[4] == '#' && key[5] >= '1' && key[5] <= '9' &&
         std::all_of(key.begin() + 6, key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The key a "#:" comment names, as tools that drop msgctxt keep it ("0001", "0503#2", and
// "0503%232" after XLIFF, which escapes it as a URL would); empty when none of its references is
// a key.
std::string ReferenceKey(std::string_view references) {
  std::size_t at = 0;
  while (at < references.size()) {
    while (at < references.size() && (references[at] == ' ' || references[at] == '\t')) {
      ++at;
    }
    std::size_t end = at;
    while (end < references.size() && references[end] != ' ' && references[end] != '\t') {
      ++end;
    }
    std::string key;
    for (std::size_t i = at; i < end; ++i) {
      if (references[i] == '%' && i + 2 < end && HexDigit(references[i + 1]) >= 0 &&
          HexDigit(references[i + 2]) >= 0) {
        key += static_cast<char>(HexDigit(references[i + 1]) * 16 + HexDigit(references[i + 2]));
        i += 2;
      } else {
        key += references[i];
      }
    }
    if (IsKey(key)) {
      return key;
    }
    at = end;
  }
  return {};
}

void Finish(Reader& reader, Pending& pending) {
  if (!pending.HasId && !pending.HasContext) {
    pending = Pending{};
    return;
  }
  if (!pending.HasId || !pending.HasStr) {
    reader.Fail(pending.Line, PoKind::Syntax,
                {pending.HasId ? "an entry without msgstr" : "an entry without msgid"});
  } else if (pending.Plural) {
    reader.Fail(pending.Line, PoKind::PluralEntry);
  } else if (!pending.HasContext && pending.Entry.Id.empty()) {
    const std::string charset = Charset(pending.Entry.Str);
    if (!charset.empty() && !IsUtf8Charset(charset)) {
      reader.Fail(pending.Line, PoKind::NotUtf8, {Quoted(charset)});
    }
  } else if (pending.HasContext || !pending.ReferenceKey.empty()) {
    if (!pending.HasContext) {
      pending.Entry.Context = pending.ReferenceKey;
    }
    pending.Entry.Line = pending.Line;
    // A NUL or a byte that is not UTF-8 that came in through an escape.
    for (const std::string* value :
         {&pending.Entry.Context, &pending.Entry.Id, &pending.Entry.Str}) {
      if (value->find('\0') != std::string::npos) {
        reader.Fail(pending.Line, PoKind::NulInString);
        pending = Pending{};
        return;
      }
      if (!utf8::is_valid(value->begin(), value->end())) {
        reader.Fail(pending.Line, PoKind::InvalidUtf8);
        pending = Pending{};
        return;
      }
    }
    std::size_t existing = 0;
    if (!reader.Catalog.Add(pending.Entry, existing)) {
      reader.Fail(
          pending.Line, PoKind::DuplicateKey,
          {Quoted(pending.Entry.Context), std::to_string(reader.Catalog.Entry(existing).Line)});
    }
  } else {
    ++reader.Catalog.WithoutKey;
    reader.Out.Report(PoKind::WithoutKey, pending.Line, 0, {Quoted(pending.Entry.Id)});
  }
  pending = Pending{};
}

} // namespace

std::uint64_t TextHash(std::string_view text, std::uint64_t start) {
  return std::accumulate(text.begin(), text.end(), start, [](std::uint64_t hash, char c) {
    return (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  });
}

namespace {

std::uint64_t KeyAndIdHash(std::string_view key, std::string_view id) {
  // The key's hash mixed into the msgid's, so that "ab"+"c" and "a"+"bc" differ.
  return TextHash(id) ^ (TextHash(key) * 0x9E3779B97F4A7C15ULL);
}

} // namespace

PoView PoCatalog::Entry(std::size_t index) const {
  const Record& record = At(index);
  const char* start = Strings[record.Block].get() + record.Offset;
  return {{start, record.ContextLength},
          {start + record.ContextLength, record.IdLength},
          {start + record.ContextLength + record.IdLength, record.StrLength},
          record.Fuzzy != 0,
          record.Line};
}

std::size_t PoCatalog::Find(std::string_view key, std::string_view id) const {
  if (ByKeyAndId.empty()) {
    return Count;
  }
  const std::size_t mask = ByKeyAndId.size() - 1;
  for (std::size_t slot = KeyAndIdHash(key, id) & mask; ByKeyAndId[slot] != 0;
       slot = (slot + 1) & mask) {
    const PoView entry = Entry(ByKeyAndId[slot] - 1);
    if (entry.Context == key && entry.Id == id) {
      return ByKeyAndId[slot] - 1;
    }
  }
  return Count;
}

bool PoCatalog::HasKey(std::string_view key) const {
  if (ByKey.empty()) {
    return false;
  }
  const std::size_t mask = ByKey.size() - 1;
  for (std::size_t slot = TextHash(key) & mask; ByKey[slot] != 0; slot = (slot + 1) & mask) {
    if (Entry(ByKey[slot] - 1).Context == key) {
      return true;
    }
  }
  return false;
}

void PoCatalog::Insert(std::vector<std::uint32_t>& table, std::uint64_t hash, std::uint32_t value) {
  const std::size_t mask = table.size() - 1;
  std::size_t slot = hash & mask;
  while (table[slot] != 0) {
    slot = (slot + 1) & mask;
  }
  table[slot] = value;
}

void PoCatalog::Grow() {
  // Kept at most three quarters full; rebuilt from the entries, which the tables only point to.
  const std::size_t size = std::max<std::size_t>(64, ByKeyAndId.size() * 2);
  ByKeyAndId = std::vector<std::uint32_t>(size);
  ByKey = std::vector<std::uint32_t>(size);
  for (std::size_t i = 0; i < Count; ++i) {
    const PoView entry = Entry(i);
    Insert(ByKeyAndId, KeyAndIdHash(entry.Context, entry.Id), static_cast<std::uint32_t>(i + 1));
    if (!HasKey(entry.Context)) {
      Insert(ByKey, TextHash(entry.Context), static_cast<std::uint32_t>(i + 1));
    }
  }
}

bool PoCatalog::Add(const PoEntry& entry, std::size_t& existing) {
  existing = Find(entry.Context, entry.Id);
  if (existing != Count) {
    return false;
  }
  const std::size_t bytes = entry.Context.size() + entry.Id.size() + entry.Str.size();
  constexpr std::size_t Most = std::numeric_limits<std::uint32_t>::max();
  if (Count + 1 >= Most || entry.Context.size() > Most || entry.Id.size() > Most ||
      entry.Str.size() > Most) {
    throw std::length_error("a PO file too large to import");
  }
  if ((Count + 1) * 4 > ByKeyAndId.size() * 3) {
    Grow();
  }
  if (StringsUsed + bytes > StringsRoom) {
    // Blocks grow from 4 KiB to 1 MiB, so that a small catalog stays small; strings longer than
    // that get a block of their own.
    StringsRoom = std::max(bytes, std::clamp<std::size_t>(StringsRoom * 2, 4096, StringBlockBytes));
    Strings.emplace_back(new char[StringsRoom]);
    StringsUsed = 0;
  }
  char* const start = Strings.back().get() + StringsUsed;
  std::copy(entry.Str.begin(), entry.Str.end(),
            std::copy(entry.Id.begin(), entry.Id.end(),
                      std::copy(entry.Context.begin(), entry.Context.end(), start)));
  if (Count % RecordsPerBlock == 0) {
    Records.emplace_back(new Record[RecordsPerBlock]);
  }
  Records.back()[Count % RecordsPerBlock] = {
      static_cast<std::uint32_t>(Strings.size() - 1),
      static_cast<std::uint32_t>(StringsUsed),
      static_cast<std::uint32_t>(entry.Context.size()),
      static_cast<std::uint32_t>(entry.Id.size()),
      static_cast<std::uint32_t>(entry.Str.size()),
      static_cast<std::uint32_t>(std::min<std::uint64_t>(entry.Line, 0x7FFFFFFF)),
      entry.Fuzzy ? 1U : 0U};
  StringsUsed += bytes;
  const bool newKey = !HasKey(entry.Context);
  ++Count;
  Insert(ByKeyAndId, KeyAndIdHash(entry.Context, entry.Id), static_cast<std::uint32_t>(Count));
  if (newKey) {
    Insert(ByKey, TextHash(entry.Context), static_cast<std::uint32_t>(Count));
  }
  return true;
}

std::string PoHeader(const PoHeaderFields& fields) {
  std::string text = "Project-Id-Version: " + fields.Project + "\n";
  text += "POT-Creation-Date: " + fields.CreationDate + "\n";
  if (!fields.RevisionDate.empty()) {
    text += "PO-Revision-Date: " + fields.RevisionDate + "\n";
  }
  text += "Language: " + fields.Language + "\n";
  text += "MIME-Version: 1.0\n";
  text += "Content-Type: text/plain; charset=UTF-8\n";
  text += "Content-Transfer-Encoding: 8bit\n";
  text += "X-Generator: " + fields.Generator + "\n";
  std::string out;
  AppendString(out, "msgid", "");
  AppendString(out, "msgstr", text);
  return out;
}

void AppendPoEntry(std::string& out, const PoEntry& entry) {
  out += "\n"; // entries are separated, not ended, by an empty line
  if (!entry.Comment.empty()) {
    out += "#. " + entry.Comment + "\n";
  }
  out += "#: " + entry.Context + "\n";
  if (entry.Fuzzy || entry.CFormat) {
    out += entry.Fuzzy && entry.CFormat ? "#, fuzzy, c-format\n"
           : entry.Fuzzy                ? "#, fuzzy\n"
                                        : "#, c-format\n";
  }
  AppendString(out, "msgctxt", entry.Context);
  AppendString(out, "msgid", entry.Id);
  AppendString(out, "msgstr", entry.Str);
}

struct PoReader::State {
  Reader Read;
  Pending Entry;
  std::uint64_t Number = 0;
  std::string Carry; // a line that a piece cut short
  bool Started = false;

  void Line(std::string_view line);
};

PoReader::PoReader(PoCatalog& catalog, Reporter& reporter)
    : Read(new State{Reader{catalog, reporter}, {}, 0, {}, false}) {}

PoReader::~PoReader() = default;

bool PoReader::Feed(std::string_view bytes) {
  State& s = *Read;
  std::string head;
  if (!s.Started) {
    // Held until there is enough to tell whether the file starts with a byte-order mark.
    s.Carry += bytes;
    if (s.Carry.size() < 3) {
      return true;
    }
    s.Started = true;
    head.swap(s.Carry);
    if (head.starts_with("\xEF\xBB\xBF")) {
      head.erase(0, 3);
    }
    bytes = head;
  }
  while (!bytes.empty() && !s.Read.Failed) {
    const std::size_t end = bytes.find('\n');
    if (end == std::string_view::npos) {
      s.Carry += bytes;
      break;
    }
    if (s.Carry.empty()) {
      s.Line(bytes.substr(0, end));
    } else {
      s.Carry += bytes.substr(0, end);
      s.Line(s.Carry);
      s.Carry.clear();
    }
    bytes.remove_prefix(end + 1);
  }
  return !s.Read.Failed;
}

bool PoReader::End() {
  State& s = *Read;
  if (!s.Carry.empty() && !s.Read.Failed) {
    s.Line(s.Carry);
    s.Carry.clear();
  }
  if (!s.Read.Failed) {
    Finish(s.Read, s.Entry);
  }
  return !s.Read.Failed;
}

void PoReader::State::Line(std::string_view line) {
  Reader& reader = Read;
  Pending& pending = Entry;
  const std::uint64_t number = ++Number;
  if (const auto bad = utf8::find_invalid(line.begin(), line.end()); bad != line.end()) {
    reader.Fail(number, PoKind::InvalidUtf8);
    return;
  }
  if (line.ends_with('\r')) {
    line.remove_suffix(1);
  }
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
    line.remove_prefix(1);
  }
  if (line.find('\0') != std::string_view::npos) {
    reader.Fail(number, PoKind::NulInString);
    return;
  }
  if (line.empty()) {
    return;
  }
  if (line.front() == '#') {
    if (pending.HasStr) {
      Finish(reader, pending);
    }
    if (line.starts_with("#:") && pending.ReferenceKey.empty()) {
      pending.ReferenceKey = ReferenceKey(line.substr(2));
    }
    if (line.starts_with("#,")) {
      std::string_view flags = line.substr(2);
      while (!flags.empty()) {
        const std::size_t comma = std::min(flags.find(','), flags.size());
        std::string_view flag = flags.substr(0, comma);
        while (!flag.empty() && flag.front() == ' ') {
          flag.remove_prefix(1);
        }
        while (!flag.empty() && (flag.back() == ' ' || flag.back() == '\t')) {
          flag.remove_suffix(1);
        }
        pending.Entry.Fuzzy = pending.Entry.Fuzzy || flag == "fuzzy";
        flags.remove_prefix(std::min(comma + 1, flags.size()));
      }
    }
    return; // other comments, previous strings (#|) and obsolete entries (#~) say nothing
  }
  std::string error;
  if (line.front() == '"') {
    const auto value = QuotedString(line, error);
    std::string* into = pending.Last == Part::Context ? &pending.Entry.Context
                        : pending.Last == Part::Id    ? &pending.Entry.Id
                        : pending.Last == Part::Str   ? &pending.Entry.Str
                                                      : nullptr;
    if (!value) {
      reader.Fail(number, PoKind::Syntax, {error});
    } else if (pending.Last == Part::None) {
      reader.Fail(number, PoKind::Syntax, {"a string that belongs to no keyword"});
    } else if (into != nullptr) {
      *into += *value;
    }
    return;
  }
  const std::size_t space = std::min(line.find_first_of(" \t\""), line.size());
  const std::string_view keyword = line.substr(0, space);
  if ((keyword == "msgctxt" || keyword == "msgid") && pending.HasStr) {
    Finish(reader, pending);
  }
  if (pending.Line == 0) {
    pending.Line = number;
  }
  const auto value = QuotedString(line.substr(space), error);
  if (!value) {
    reader.Fail(number, PoKind::Syntax, {error});
    return;
  }
  if (keyword == "msgctxt" && !pending.HasContext && !pending.HasId) {
    pending.HasContext = true;
    pending.Entry.Context = *value;
    pending.Last = Part::Context;
  } else if (keyword == "msgid" && !pending.HasId) {
    pending.HasId = true;
    pending.Entry.Id = *value;
    pending.Last = Part::Id;
  } else if (keyword == "msgid_plural" && pending.HasId && !pending.HasStr) {
    pending.Plural = true;
    pending.Last = Part::IdPlural;
  } else if (keyword == "msgstr" && pending.HasId && !pending.HasStr) {
    pending.HasStr = true;
    pending.Entry.Str = *value;
    pending.Last = Part::Str;
  } else if (keyword.starts_with("msgstr[") && pending.HasId) {
    pending.HasStr = true;
    pending.Plural = true;
    pending.Last = Part::StrPlural;
  } else {
    std::string message(1, '"');
    message += keyword;
    message += "\" is not expected here";
    reader.Fail(number, PoKind::Syntax, {message});
  }
}

bool ReadPo(std::string_view text, PoCatalog& catalog, Reporter& reporter) {
  PoReader reader(catalog, reporter);
  reader.Feed(text);
  return reader.End();
}

std::string PoDate(std::int64_t seconds) {
  using namespace std::chrono;
  const sys_seconds time{std::chrono::seconds{seconds}};
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{time - day};
  const auto two = [](long value) {
    return std::string{static_cast<char>('0' + value / 10 % 10),
                       static_cast<char>('0' + value % 10)};
  };
  return std::to_string(static_cast<int>(date.year())) + "-" +
         two(static_cast<unsigned>(date.month())) + "-" + two(static_cast<unsigned>(date.day())) +
         " " + two(clock.hours().count()) + ":" + two(clock.minutes().count()) + "+0000";
}
