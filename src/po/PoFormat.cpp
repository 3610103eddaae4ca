#include "po/PoFormat.h"

#include "console/Printable.h"
#include "po/PoKinds.h"

#include <utf8.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>

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

int HexDigit(char c);

// "0001", or "0001#2" and up: four hexadecimal digits, and a repeat's number.
bool IsKey(std::string_view key) {
  if (key.size() < 4 || !std::all_of(key.begin(), key.begin() + 4,
                                     [](char c) { return HexDigit(c) >= 0; })) {
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
      if (references[i] == '%' && i + 2 < end &&
          HexDigit(references[i + 1]) >= 0 && HexDigit(references[i + 2]) >= 0) {
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
    PoCatalog& catalog = reader.Catalog;
    const auto [same, added] = catalog.ByKeyAndId.try_emplace(
        KeyAndId(pending.Entry.Context, pending.Entry.Id), catalog.Entries.size());
    if (!added) {
      reader.Fail(pending.Line, PoKind::DuplicateKey,
                  {Quoted(pending.Entry.Context), std::to_string(catalog.Entries[same->second].Line)});
    } else {
      catalog.ByKey[pending.Entry.Context].push_back(catalog.Entries.size());
      catalog.Entries.push_back(std::move(pending.Entry));
    }
  } else {
    ++reader.Catalog.WithoutKey;
    reader.Out.Report(PoKind::WithoutKey, pending.Line, 0, {Quoted(pending.Entry.Id)});
  }
  pending = Pending{};
}

} // namespace

std::string KeyAndId(std::string_view key, std::string_view id) {
  std::string name(key);
  name += '\x04';
  name += id;
  return name;
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

bool ReadPo(std::string_view text, PoCatalog& catalog, Reporter& reporter) {
  Reader reader{catalog, reporter};
  if (text.starts_with("\xEF\xBB\xBF")) {
    text.remove_prefix(3);
  }
  if (const auto bad = utf8::find_invalid(text.begin(), text.end()); bad != text.end()) {
    reader.Fail(1 + static_cast<std::uint64_t>(std::count(text.begin(), bad, '\n')),
                PoKind::InvalidUtf8);
    return false;
  }
  Pending pending;
  std::uint64_t number = 0;
  std::size_t start = 0;
  while (start < text.size() && !reader.Failed) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
      line.remove_prefix(1);
    }
    if (line.find('\0') != std::string_view::npos) {
      reader.Fail(number, PoKind::NulInString);
      break;
    }
    if (line.empty()) {
      continue;
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
      continue; // other comments, previous strings (#|) and obsolete entries (#~) say nothing
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
      continue;
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
      break;
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
  if (!reader.Failed) {
    Finish(reader, pending);
  }
  // A NUL that came in through an escape.
  for (const PoEntry& entry : catalog.Entries) {
    for (const std::string* value : {&entry.Context, &entry.Id, &entry.Str}) {
      if (value->find('\0') != std::string::npos) {
        reader.Fail(entry.Line, PoKind::NulInString);
      } else if (!utf8::is_valid(value->begin(), value->end())) {
        reader.Fail(entry.Line, PoKind::InvalidUtf8);
      }
    }
  }
  return !reader.Failed;
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
