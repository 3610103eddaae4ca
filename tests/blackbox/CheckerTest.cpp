// vorlanth_check as a user runs it: what it finds in each kind of slip, where, and how it ends.
#include "Harness.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <sstream>

namespace {

const std::string Bom = "\xFF\xFE";

class Checker : public BlackBox {
protected:
  RunResult Check(const std::vector<std::string>& arguments) {
    RunOptions options;
    options.Command = CheckerCommand();
    return Run(arguments, options);
  }
};

// "LINE:COLUMN: severity" of each diagnostic printed for `file`, in order.
std::vector<std::string> Found(const std::string& out, const std::string& file) {
  static const std::regex diagnostic("^[^:]+:([0-9]+:[0-9]+: (error|warning|note)): .*");
  std::vector<std::string> found;
  std::istringstream lines(out);
  std::smatch match;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with(file + ":") && std::regex_match(line, match, diagnostic)) {
      found.push_back(match[1].str());
    }
  }
  return found;
}

struct CheckCase {
  const char* Name;
  const char* File;
  std::string Bytes;
  std::vector<std::string> Expected;
  int Status;
  const char* Words = "";    // what the messages must say, beyond where
  std::string Original = {}; // checked --against this table, when there is one
};

// A table of texts with ids from 1 on, and its dump with some lines changed: the original a
// translator was given and what they made of it.
const std::vector<std::u16string> OriginalTexts = {u"New game", u"Load %s", u"<b>Options</b>",
                                                   u"Options",  u"Quit",    u"Score: 100",
                                                   u" Volume",  u"Hello\r", u"Bye"};
std::string OriginalTable() {
  Units units;
  for (std::size_t i = 0; i < OriginalTexts.size(); ++i) {
    units.push_back(static_cast<std::uint16_t>(i + 1));
    units.insert(units.end(), OriginalTexts[i].begin(), OriginalTexts[i].end());
    units.push_back(0);
  }
  units.push_back(0xFFFF);
  return Bytes(units);
}
// The dump of OriginalTable with line N (from 1) replaced by `edits`' text for N ("" deletes it).
std::string EditedDump(const std::vector<std::pair<std::size_t, std::u16string>>& edits) {
  std::u16string dump;
  for (std::size_t i = 0; i < OriginalTexts.size(); ++i) {
    std::u16string line = u"000" + std::u16string(1, static_cast<char16_t>(u'1' + i)) + u"=" +
                          OriginalTexts[i] + u"\n";
    for (const auto& [number, text] : edits) {
      if (number == i + 1) {
        line = text;
      }
    }
    dump += line;
  }
  return Bom + Bytes(dump);
}

// An id as a dump writes it.
std::string Hex4(int id) {
  char field[5];
  std::snprintf(field, sizeof field, "%04X", static_cast<unsigned>(id));
  return field;
}

// 40 lines of plain text with ids from 0100 (or 0300) on, as a dump or as a table: enough for
// the paths that take whole lines at a time to run before and after the slips between them.
std::u16string PlainLines(char16_t high = u'1') {
  std::u16string lines;
  for (char16_t i = 0; i < 40; ++i) {
    lines += u'0';
    lines += high;
    lines += static_cast<char16_t>(u'0' + i / 10);
    lines += static_cast<char16_t>(u'0' + i % 10);
    lines += u"=plain text of a line\n";
  }
  return lines;
}
Units PlainEntries(std::uint16_t high = 1) {
  Units entries;
  for (std::uint16_t i = 0; i < 40; ++i) {
    entries.push_back(static_cast<std::uint16_t>(high << 8 | i));
    for (const char16_t c : std::u16string_view(u"plain text of an entry")) {
      entries.push_back(c);
    }
    entries.push_back(0);
  }
  return entries;
}

TEST_F(Checker, FindsEachSlipWhereItIs) {
  const CheckCase cases[] = {
      {"slips after plain lines, an emoji and a CR between",
       "t.txt",
       Bom + Bytes(PlainLines()) + Bytes(Units{'0', '2', '0', '0', '=', 'a', 0, 0x0A}) +
           Bytes(u"0201=x\n0202=\U0001F600 \r mid\n0203=bad\u2028\n") + Bytes(PlainLines(u'3')),
       {"41:7: error", "44:9: warning"},
       1},
      {"an LF in a text after plain entries",
       "t.lang",
       Bytes(PlainEntries()) + Bytes(Units{0x200, 'a', 0x0A, 'b', 0}) + Bytes(PlainEntries(3)) +
           Bytes(Units{0xFFFF}),
       {"41:3: warning"},
       0},
      {"a clean dump", "t.txt", Bom + Bytes(u"0001=a\n00ab=b\n"), {}, 0},
      {"nothing but the byte-order mark", "t.txt", Bom, {"1:2: warning"}, 0},
      {"a tab and a full-width equals sign where \"=\" belongs: the table comes out right",
       "t.txt",
       Bom + Bytes(u"0001\ta\n0002\uFF1Db\n"),
       {"1:5: warning", "2:5: warning"},
       0},
      {"UTF-8 text", "t.txt", "0001=a\n", {"1:1: error"}, 1},
      {"UTF-8 with its mark",
       "t.txt",
       "\xEF\xBB\xBF"
       "0001=a\n",
       {"1:1: error"},
       1},
      {"UTF-16 BE",
       "t.txt",
       std::string("\xFE\xFF\0"
                   "0",
                   4),
       {"1:1: error"},
       1},
      {"an empty line", "t.txt", Bom + Bytes(u"0001=a\n\n0002=b\n"), {"2:1: error"}, 1},
      {"a lost \"=\"", "t.txt", Bom + Bytes(u"0001a\n0002=b\n"), {"1:1: error"}, 1},
      {"a pasted line break",
       "t.txt",
       Bom + Bytes(u"0001=Hello\nWorld\n"),
       {"2:1: error"},
       1,
       "line 2 seems to be the rest of line 1's text"},
      {"two lines joined",
       "t.txt",
       Bom + Bytes(u"0003=x\n0004=Optionen0005=Beenden\n0006=y\n"),
       {"2:14: warning"},
       0,
       "fix: press Enter before \"0005=\" (line 2, column 14)"},
      {"a line break pasted into a text",
       "t.txt",
       Bom + Bytes(u"0001=Optio\nnen\n0003=x\n0004=y\n"),
       {"2:1: error"},
       1,
       "line 1's text seems to go on in it (a line break in the text?); the encoder would read "
       "\"nen\\n0\" as an id field and make entry 00E0 with the text \"003=x\", and entry 0003 "
       "of line 3 would be lost"},
      {"a last line holding only an id",
       "t.txt",
       Bom + Bytes(u"0001=a\n0020\n"),
       {"2:1: error"},
       1,
       "cut off there, without a terminator and without an end marker"},
      {"seven empty lines",
       "t.txt",
       Bom + Bytes(u"0001=a\n\n\n\n\n\n\n\n0005=x\n"),
       {"2:1: error"},
       1,
       "lines 2-8 are empty: the encoder reads their LFs into id fields, and would make entry "
       "0000 with an empty text and entry 0005 with the text \"=x\""},
      {"an empty line at the end",
       "t.txt",
       Bom + Bytes(u"0001=a\n\n"),
       {"2:1: error"},
       1,
       "line 2 is empty at the end of the file"},
      {"\"=\" deleted",
       "t.txt",
       Bom + Bytes(u"0004Optionen\n"),
       {"1:1: error"},
       1,
       "store id 0004 with the text \"ptionen\""},
      {"two dumps joined inside a text",
       "t.txt",
       Bom + Bytes(u"0001=\u00E4ndern\uFEFF0100=Zweite\n"),
       {"1:12: error"},
       1,
       "byte-order mark (U+FEFF) inside a text, as where two dumps were joined"},
      {"a byte-order mark alone inside a text: no second dump follows it",
       "t.txt",
       Bom + Bytes(u"0001=\uFEFFx\n"),
       {"1:6: error"},
       1,
       "a byte-order mark (U+FEFF) inside a text: the encoder keeps it"},
      {"two dumps joined at a line start",
       "t.txt",
       Bom + Bytes(u"0001=a\n\uFEFF0100=Zweite\n"),
       {"2:1: error"},
       1,
       "\"<U+FEFF>0100\""},
      {"a line separator",
       "t.txt",
       Bom + Bytes(u"0001=a\u2028b\n"),
       {"1:7: warning"},
       0,
       "U+2028 (line separator)"},
      {"found late, printed in order",
       "t.txt",
       Bom +
           Bytes(Units{'0', '0', '0', '1', '=', 0x0A, 0x0A, '0', '0', '0', '2', '=', 0xD800, 0x0A}),
       {"2:1: error", "3:6: warning"},
       1},
      {"FFFF before the last line", "t.txt", Bom + Bytes(u"FFFF=\n0001=a\n"), {"1:1: error"}, 1},
      {"FFFF on the last line", "t.txt", Bom + Bytes(u"0001=a\nFFFF=x\n"), {"2:1: warning"}, 0},
      {"no LF at the end", "t.txt", Bom + Bytes(u"0001=a\n0002=bc"), {"2:8: error"}, 1},
      {"a tail shorter than an id field", "t.txt", Bom + Bytes(u"0001=a\n00"), {"2:1: error"}, 1},
      {"a duplicate id",
       "t.txt",
       Bom + Bytes(u"0001=a\n0002=b\n0001=c\n"),
       {"3:1: warning", "1:1: note"},
       0},
      {"CR LF line ends",
       "t.txt",
       Bom + Bytes(u"0001=a\r\n0002=\r\n"),
       {"1:1: error"},
       1,
       "every line ends in CR LF"},
      {"CR LF on some lines",
       "t.txt",
       Bom + Bytes(u"0001=a\r\n0002=b\n0003=c\r\n"),
       {"1:7: warning", "3:7: warning"},
       0},
      {"CR line ends",
       "t.txt",
       Bom + Bytes(u"0001=a\r0002=b\r"),
       {"1:1: error"},
       1,
       "all its entries would become one"},
      {"a lone surrogate and U+FFFE",
       "t.txt",
       Bom + Bytes(Units{'0', '0', '0', '1', '=', 0xD800, 'x', 0xFFFE, 0x0A}),
       {"1:6: warning", "1:8: warning"},
       0},
      {"a NUL in a text",
       "t.txt",
       Bom + Bytes(Units{'0', '0', '0', '1', '=', 'a', 0, 0x0A}),
       {"1:7: error"},
       1,
       "the line's end becomes an empty entry 0000"},
      {"a NUL in a text, and what follows it",
       "t.txt",
       Bom + Bytes(u"0030=x\n0001=a") + Bytes(Units{0, '0', 'b', 0x0A}),
       {"2:7: error"},
       1,
       "the rest of the line becomes entry 0030 (the character after the NUL read as its id), "
       "the id line 1 already uses"},
      {"a stray byte after the last line, which the encoder ignores",
       "t.txt",
       Bom + Bytes(u"0001=a\n") + "\x01",
       {"2:1: warning"},
       0,
       "a lone byte at the end"},
      {"a byte lost in the middle: found where the text turns to garbage",
       "t.txt",
       [] {
         std::string bytes = Bom + Bytes(u"0001=abc\n0002=def\n0003=ghi\n");
         return bytes.erase(2 + 2 * (9 + 6), 1); // the first byte of "e"
       }(),
       {"2:7: error"},
       1,
       "a byte was lost or added just before here"},
      {"an empty table", "t.lang", "", {"1:1: error"}, 1, "the file is empty"},
      {"a clean table", "t.lang", Bytes(Units{1, 'a', 0, 2, 0, 0xFFFF}), {}, 0},
      {"no end marker", "t.lang", Bytes(Units{1, 'a', 0, 2, 'b', 0}), {"2:4: error"}, 1},
      {"an LF in a text",
       "t.lang",
       Bytes(Units{1, 'a', 0x0A, 'b', 0, 0xFFFF}),
       {"1:3: warning"},
       0},
      {"bytes after the end marker", "t.lang", Bytes(Units{1, 0, 0xFFFF, 2}), {"2:1: warning"}, 0},
      {"a duplicate id in a table",
       "t.lang",
       Bytes(Units{7, 0, 7, 0, 0xFFFF}),
       {"2:1: warning", "1:1: note"},
       0},
      {"a surrogate pair and a lone one",
       "t.lang",
       Bytes(Units{1, 0xD83D, 0xDE00, 0xDC00, 0, 0xFFFF}),
       {"1:4: warning"},
       0},
      {"a lone byte after a table",
       "t.lang",
       Bytes(Units{1, 0}) + "\x01",
       {"1:3: error", "2:1: warning"},
       1},
      {"a dump under another name", "t.dat", Bom + Bytes(u"0001=a\n\n"), {"2:1: error"}, 1},
      // Against the original table: the untouched decode finds nothing (its CR is the game's).
      {"the original's own dump",
       "t.txt",
       EditedDump({}),
       {},
       0,
       "9 of 9 entries still the original; 1 finding also in the original, not shown",
       OriginalTable()},
      {"a line deleted",
       "t.txt",
       EditedDump({{5, u""}}),
       {"5:1: error"},
       1,
       "entry 0005 of the original (\"Quit\") is missing: it stood after entry 0004 (line 4)",
       OriginalTable()},
      {"two lines joined, against the original",
       "t.txt",
       EditedDump({{4, u"0004=Optionen0005=Beenden\n"}, {5, u""}}),
       {"4:14: error"},
       1,
       "entries 0004 and 0005 of the original are joined",
       OriginalTable()},
      {"a line added and two swapped",
       "t.txt",
       EditedDump({{2, u"0003=<b>Optionen</b>\n"}, {3, u"0002=Laden %s\n0010=neu\n"}}),
       {"2:1: warning", "4:1: warning"},
       0,
       "entry 0003 stands elsewhere in the original (after entry 0002)",
       OriginalTable()},
      {"an id mistyped, to a free id and to another entry's",
       "t.txt",
       EditedDump({{9, u"000A=Tschüss\n"}, {4, u"0005=Optionen\n"}}),
       {"4:1: error", "9:1: error"},
       1,
       "id 0005 is not the original's: entry 0004 (\"Options\") stood here, and the table would "
       "lose it; 0005 is another entry of the original",
       OriginalTable()},
      {"every line saved with CR LF: only the line ends are named, not each entry's text",
       "t.txt",
       [] {
         std::string dump = EditedDump({});
         for (std::size_t at = 0; (at = dump.find(std::string("\n\0", 2), at)) != std::string::npos;
              at += 4) {
           dump.insert(at, std::string("\r\0", 2));
         }
         return dump;
       }(),
       {"1:1: error"},
       1,
       "9 of 9 entries still the original; 1 finding also in the original, not shown",
       OriginalTable()},
      {"a table against its original: an entry lost",
       "t.lang",
       [] {
         Units units = UnitsOf(OriginalTable());
         const auto fifth = std::find(units.begin(), units.end(), std::uint16_t{5});
         units.erase(fifth, std::find(fifth, units.end(), std::uint16_t{0}) + 1);
         return Bytes(units);
       }(),
       {"5:1: error"},
       1,
       "entry 0005 of the original (\"Quit\") is missing",
       OriginalTable()},
      {"300 lines deleted, more than the entries compared at a time",
       "t.txt",
       Bom + [] {
         std::u16string dump;
         for (int id = 0x100; id < 0x100 + 600; ++id) {
           if (id < 0x200 || id >= 0x200 + 300) {
             const std::string field = Hex4(id) + "=x\n";
             dump.append(field.begin(), field.end());
           }
         }
         return Bytes(dump);
       }(),
       std::vector<std::string>(100, "257:1: error"),
       1,
       "300 errors",
       [] {
         Units units;
         for (std::uint16_t id = 0x100; id < 0x100 + 600; ++id) {
           units.insert(units.end(), {id, 'x', 0});
         }
         units.push_back(0xFFFF);
         return Bytes(units);
       }()},
      {"a placeholder dropped, a tag broken, a space and a number lost",
       "t.txt",
       EditedDump({{2, u"0002=Laden\n"},
                   {3, u"0003=<b>Optionen\n"},
                   {6, u"0006=Punkte: 10\n"},
                   {7, u"0007=Lautstärke\n"}}),
       {"2:6: warning", "3:6: warning", "6:6: warning", "7:6: warning"},
       0,
       "the text lacks \"</b>\" (the original: \"<b>Options</b>\")",
       OriginalTable()},
  };
  for (const CheckCase& c : cases) {
    WriteFile(c.File, c.Bytes);
    std::vector<std::string> arguments{c.File};
    if (!c.Original.empty()) {
      WriteFile("original.lang", c.Original);
      arguments = {"--against", "original.lang", c.File};
    }
    const RunResult r = Check(arguments);
    EXPECT_EQ(r.Status, c.Status) << c.Name << "\n" << r.Out << r.Err;
    EXPECT_EQ(Found(r.Out, c.File), c.Expected) << c.Name << "\n" << r.Out;
    EXPECT_NE(r.Out.find(c.Words), std::string::npos) << c.Name << "\n" << r.Out;
    std::remove(PathOf(c.File).c_str());
  }
}

TEST_F(Checker, CommandLine) {
  WriteFile("good.txt", Bom + Bytes(u"0001=a\n0001=b\n"));
  WriteFile("bad.txt", Bom + Bytes(u"0001=a\n\n0002=b\n"));
  RunResult r = Check({"good.txt", "missing.txt", "bad.txt"});
  EXPECT_EQ(r.Status, 2) << "a file that cannot be read outweighs errors";
  EXPECT_NE(r.Out.find("good.txt: 2 entries, 0 errors, 1 warning\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("bad.txt: 2 entries, 1 error, 0 warnings\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Err.find("missing.txt"), std::string::npos) << r.Err;

  // A name cannot turn the terminal's text around.
  WriteFile("rlo\u202Etxt.txt", Bom + Bytes(u"0001=a\n"));
  r = Check({"rlo\u202Etxt.txt", "missing\u202E.txt"});
  EXPECT_NE(r.Out.find("rlo<U+202E>txt.txt: 1 entry"), std::string::npos) << r.Out;
  EXPECT_NE(r.Err.find("missing<U+202E>.txt: "), std::string::npos) << r.Err;

  EXPECT_EQ(Check({"good.txt"}).Status, 0);
  EXPECT_EQ(Check({"--strict", "good.txt"}).Status, 1) << "--strict counts warnings";
  r = Check({"--quiet", "good.txt", "bad.txt"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "bad.txt:2:1: error: line 2 is empty: the encoder reads its LF into an id "
                   "field, and would make entry 0002 with the text \"=b\" [empty-line]\n"
                   "    2 | \n"
                   "      | ^\n"
                   "      | fix: delete line 2\n");
  // Both texts of a duplicate id, each under its line; --brief keeps one line a finding.
  r = Check({"--quiet", "--strict", "good.txt"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "good.txt:2:1: error: id 0001 is already used on line 1 [duplicate-id]\n"
                   "    2 | 0001=b\n"
                   "      | ^\n"
                   "good.txt:1:1: note: first used here\n"
                   "    1 | 0001=a\n"
                   "      | ^\n");
  EXPECT_EQ(Check({"--quiet", "--strict", "--brief", "good.txt"}).Out,
            "good.txt:2:1: error: id 0001 is already used on line 1 [duplicate-id]\n"
            "good.txt:1:1: note: first used here\n");

  // At most 100 of a kind, then how many more; --all prints every one.
  std::u16string repeated;
  for (int i = 0; i < 151; ++i) {
    repeated += u"0007=x\n";
  }
  WriteFile("many.dat", Bom + Bytes(repeated));
  r = Check({"many.dat"});
  EXPECT_EQ(Found(r.Out, "many.dat").size(), 200U) << "100 warnings, each with its note";
  EXPECT_NE(
      r.Out.find(
          "many.dat: 50 more like this (--all shows them)\nmany.dat: 151 entries, 0 errors, 150 "
          "warnings (read as a dump)\n"),
      std::string::npos)
      << r.Out;
  EXPECT_EQ(Found(Check({"--all", "many.dat"}).Out, "many.dat").size(), 300U);

  // Why a file could not be read; the others are still checked.
  ASSERT_EQ(mkdir(PathOf("folder.txt").c_str(), 0755), 0);
  r = Check({"folder.txt", "good.txt"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("folder.txt: is a directory"), std::string::npos) << r.Err;
  EXPECT_NE(r.Out.find("good.txt: 2 entries"), std::string::npos) << r.Out;

  // A reader that went away ends the run quietly; a full disk is named.
  RunOptions options;
  options.Command = CheckerCommand();
  options.Stdout = StdoutKind::BrokenPipe;
  r = Run({"good.txt"}, options);
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, "");
  options.Stdout = StdoutKind::File;
  options.StdoutPath = "/dev/full";
  r = Run({"good.txt"}, options);
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("vorlanth_check: cannot write to standard output: "), std::string::npos)
      << r.Err;
  for (const char* option : {"--help", "--version"}) {
    r = Check({option});
    EXPECT_EQ(r.Status, 0) << option;
    EXPECT_NE(r.Out.find("vorlanth_check"), std::string::npos) << option;
  }
  r = Check({"--frobnicate", "good.txt"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("Usage: vorlanth_check"), std::string::npos);
  EXPECT_EQ(r.Out, "");

  // --untranslated lists the texts still the original, as notes that count as nothing; the
  // original must be a table that can be read.
  WriteFile("orig.lang", Bytes(Units{1, 'a', 0, 2, 'b', 0, 0xFFFF}));
  WriteFile("half.txt", Bom + Bytes(u"0001=a\n0002=B\n"));
  r = Check({"--against", "orig.lang", "--untranslated", "--brief", "half.txt"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out,
            "half.txt:1:6: note: entry 0001 is still the original text [untranslated]\n"
            "half.txt: 2 entries, 0 errors, 0 warnings; 1 of 2 entries still the original\n");
  for (const char* original : {"half.txt", "absent.lang"}) {
    r = Check({"--against", original, "half.txt"});
    EXPECT_EQ(r.Status, 2) << original;
    EXPECT_NE(r.Err.find(std::string("vorlanth_check: ") + original + ": "), std::string::npos)
        << r.Err;
  }

  // Windows leaves wildcards to the program; elsewhere the shell has expanded them already.
  r = Check({"*.txt"});
  if (ProgramRunsOnWindows()) {
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Out.find("bad.txt: 2 entries"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("good.txt: 2 entries"), std::string::npos) << r.Out;
  } else {
    EXPECT_EQ(r.Status, 2) << "no file is named *.txt";
  }
}

} // namespace
