// vorlanth_po against the translators' own tools: gettext's msgfmt, msgcat and msgmerge, and polib.
#include "Harness.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <utility>

namespace {

using Entries = std::vector<std::pair<std::uint16_t, std::u16string>>;

std::string TableOf(const Entries& entries) {
  Units units;
  for (const auto& [id, text] : entries) {
    units.push_back(id);
    units.insert(units.end(), text.begin(), text.end());
    units.push_back(0);
  }
  units.push_back(0xFFFF);
  return Bytes(units);
}

// Every kind of text that is hard to carry: escapes, line breaks at either end, characters PO
// readers treat specially, what PO cannot carry at all, and a long one.
Entries EdgeTable() {
  Entries entries = {
      {0x0001, u"\tTab at the start, tab at the end\t"},
      {0x0002, u"\rCR at the start, CR at the end\r"},
      {0x0003, u"\nLF at the start"},
      {0x0004, u"LF at the end\n"},
      {0x0005, u"two\nlines"},
      {0x0006, u"\"quotes\" and \\backslashes\\"},
      {0x0007, u"escape \x1B[1m"},
      {0x0008, u"context \x0004 separator"},
      {0x0009, u"non-character \xFFFE"},
      {0x000A, u"private use \xE000\xF8FF"},
      {0x000B, u"emoji \xD83D\xDE00"},
      {0x000C, u"lone surrogate \xD800!"},
      {0x000D, u""},
      {0x0001, u"a second entry with id 0001"},
      {0x000E, std::u16string(100000, u'x')},
  };
  return entries;
}

// The translated table: the same keys, and a text of its own for each entry.
Entries Translated(const Entries& original) {
  Entries entries = original;
  for (auto& [id, text] : entries) {
    if (!text.empty()) {
      text = u"\xDC" + text; // "Ü" in front: the pairs that differ in a line break stay so
    }
  }
  return entries;
}

// What importing the pair gives: a translation where PO carries both texts, the original elsewhere.
Entries ExpectedImport(const Entries& original, bool useFuzzy) {
  Entries entries = Translated(original);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::u16string& text = original[i].second;
    const bool carried = !text.empty() && text.find(u'\x0004') == std::u16string::npos &&
                         text.find(u"\xD800!") == std::u16string::npos;
    const bool fuzzy = carried && text.front() == u'\n'; // its translation starts with "Ü"
    if (!carried || (fuzzy && !useFuzzy)) {
      entries[i].second = text;
    }
  }
  return entries;
}

class PoBridge : public BlackBox {
protected:
  RunResult Po(const std::vector<std::string>& arguments) {
    RunOptions options;
    options.Command = PoCommand();
    return Run(arguments, options);
  }
  RunResult Tool(const std::vector<std::string>& command) {
    RunOptions options;
    options.Command = command;
    return Run({}, options);
  }
  void NativeClientsOnly() {
    if (ProgramRunsOnWindows()) {
      GTEST_SKIP() << "gettext and polib run natively; the .exe is held to the native build's "
                      "bytes by SameBytesAsTheNativeBuild";
    }
  }
};

TEST_F(PoBridge, RealClientsReadWhatItWrites) {
  NativeClientsOnly();
  const Entries original = EdgeTable();
  WriteFile("t.lang", TableOf(original));
  WriteFile("u.lang", TableOf(Translated(original)));
  ASSERT_EQ(Po({"export", "t.lang", "t.pot"}).Status, 0);
  const RunResult pair = Po({"export", "--language", "de", "t.lang", "u.lang", "u.po"});
  ASSERT_EQ(pair.Status, 0) << pair.Out << pair.Err;
  EXPECT_NE(pair.Err.find("15 entries: 12 translated"), std::string::npos) << pair.Err;

  for (const char* file : {"t.pot", "u.po"}) {
    const RunResult checked = Tool({"msgfmt", "-c", "-o", "/dev/null", file});
    EXPECT_EQ(checked.Status, 0) << file << "\n" << checked.Err;
    const RunResult again = Tool({"msgcat", "--no-wrap", "-o", "again.po", file});
    EXPECT_EQ(again.Status, 0) << again.Err;
    EXPECT_EQ(ReadFile("again.po"), ReadFile(file)) << file;
  }

  // A template comes back as the table itself.
  ASSERT_EQ(Po({"import", "t.lang", "t.pot", "back.lang"}).Status, 0);
  EXPECT_EQ(ReadFile("back.lang"), TableOf(original));

  // polib reads every entry, and what it writes back (wrapped, with the fuzzy flag) imports.
  const RunResult polib = Tool({"/usr/bin/python3", "-c",
                                "import polib\n"
                                "po = polib.pofile('u.po')\n"
                                "print(len(po), len(po.fuzzy_entries()))\n"
                                "po.save('polib.po')\n"});
  ASSERT_EQ(polib.Status, 0) << polib.Err;
  EXPECT_EQ(polib.Out, "12 1\n");
  for (const bool useFuzzy : {false, true}) {
    std::vector<std::string> import = {"import", "t.lang", "polib.po", "out.lang"};
    if (useFuzzy) {
      import.insert(import.begin() + 1, "--use-fuzzy");
    }
    const RunResult r = Po(import);
    EXPECT_EQ(r.Status, 0) << r.Out << r.Err;
    EXPECT_EQ(ReadFile("out.lang"), TableOf(ExpectedImport(original, useFuzzy)))
        << "use fuzzy: " << useFuzzy;
  }
}

TEST_F(PoBridge, GameUpdateThroughMsgmerge) {
  NativeClientsOnly();
  WriteFile("v1.lang", TableOf({{1, u"New Game"}, {2, u"Load"}, {3, u"Options"}, {4, u"Quit"}}));
  ASSERT_EQ(Po({"export", "v1.lang", "v1.pot"}).Status, 0);
  ASSERT_EQ(Tool({"/usr/bin/python3", "-c",
                  "import polib\n"
                  "po = polib.pofile('v1.pot')\n"
                  "for entry in po: entry.msgstr = 'DE ' + entry.msgid\n"
                  "po.save('de.po')\n"})
                .Status,
            0);
  // The update: one text changed, one entry added, one removed, a second entry with id 0004.
  const Entries v2 = {{1, u"New Game"},
                      {2, u"Load Game"},
                      {4, u"Quit"},
                      {5, u"Synchronise with the cloud every 10 minutes"},
                      {4, u"Quit to the desktop"}};
  WriteFile("v2.lang", TableOf(v2));
  ASSERT_EQ(Po({"export", "v2.lang", "v2.pot"}).Status, 0);
  const RunResult merged =
      Tool({"msgmerge", "--previous", "-q", "-o", "de2.po", "de.po", "v2.pot"});
  ASSERT_EQ(merged.Status, 0) << merged.Err;

  RunResult r = Po({"import", "v2.lang", "de2.po", "de2.lang"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Err.find("5 entries: 2 translated, 1 fuzzy, 2 untranslated, 0 stale, 0 not in the "
                       "original, 0 left out"),
            std::string::npos)
      << r.Err;
  Entries expected = v2;
  expected[0].second = u"DE New Game";
  expected[2].second = u"DE Quit";
  EXPECT_EQ(ReadFile("de2.lang"), TableOf(expected));

  r = Po({"import", "--use-fuzzy", "v2.lang", "de2.po", "fuzzy.lang"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  expected[1].second = u"DE Load"; // the previous translation, which msgmerge marked fuzzy
  EXPECT_EQ(ReadFile("fuzzy.lang"), TableOf(expected));
}

TEST_F(PoBridge, RefusedWithNothingWritten) {
  WriteFile("t.lang", TableOf({{1, u"New Game"}, {2, u"Load"}}));
  const std::string header =
      "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
  const std::string entry = "msgctxt \"0001\"\nmsgid \"New Game\"\nmsgstr \"Neues Spiel\"\n";
  struct Case {
    const char* Name;
    std::string Text;
    const char* Where; // "FILE:LINE: error"
  };
  const Case cases[] = {
      {"another charset",
       "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n\n" + entry,
       "t.po:1: error"},
      {"invalid UTF-8", header + "msgctxt \"0001\"\nmsgid \"New Game\"\nmsgstr \"\xC3(\"\n",
       "t.po:6: error"},
      {"a missing quote", header + "msgctxt \"0001\nmsgid \"New Game\"\n", "t.po:4: error"},
      {"a key twice", header + entry + "\n" + entry, "t.po:8: error"},
      {"a plural entry",
       header + "msgctxt \"0002\"\nmsgid \"Load\"\nmsgid_plural \"Loads\"\nmsgstr[0] \"x\"\n",
       "t.po:4: error"},
      {"a NUL", header + "msgctxt \"0001\"\nmsgid \"New Game\"\nmsgstr \"Neu\\0es\"\n",
       "t.po:4: error"},
      {"a stale msgid, with --strict",
       header + "msgctxt \"0001\"\nmsgid \"Old Game\"\nmsgstr \"Altes Spiel\"\n", "t.po:4: error"},
  };
  for (const Case& c : cases) {
    WriteFile("t.po", c.Text);
    WriteFile("out.lang", "precious");
    const RunResult r = Po({"import", "--strict", "t.lang", "t.po", "out.lang"});
    EXPECT_EQ(r.Status, 1) << c.Name;
    EXPECT_NE(r.Err.find(c.Where), std::string::npos) << c.Name << "\n" << r.Out << r.Err;
    EXPECT_EQ(ReadFile("out.lang"), "precious") << c.Name;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir), {}), 3) << c.Name;
  }

  // An output that is an input under another name.
  WriteFile("t.po", header + entry);
  ASSERT_EQ(link(PathOf("t.lang").c_str(), PathOf("alias.lang").c_str()), 0);
  RunResult r = Po({"import", "t.lang", "t.po", "alias.lang"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(ReadFile("t.lang"), TableOf({{1, u"New Game"}, {2, u"Load"}}));
  r = Po({"export", "t.lang", "./t.lang"});
  EXPECT_EQ(r.Status, 1);

  r = Po({"import", "t.lang", "t.po"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("Usage: vorlanth_po"), std::string::npos) << r.Err;
}

TEST_F(PoBridge, ReplacedOutputKeepsItsPermissions) {
  WriteFile("t.lang", TableOf({{1, u"New Game"}}));
  WriteFile("t.pot", "old");
  ASSERT_EQ(chmod(PathOf("t.pot").c_str(), 0640), 0);
  ASSERT_EQ(Po({"export", "t.lang", "t.pot"}).Status, 0);
  struct stat info {};
  ASSERT_EQ(stat(PathOf("t.pot").c_str(), &info), 0);
  if (!ProgramRunsOnWindows()) {
    EXPECT_EQ(info.st_mode & 0777, 0640U);
  }
  EXPECT_NE(ReadFile("t.pot").find("msgid \"New Game\""), std::string::npos);
}

TEST_F(PoBridge, SameBytesAsTheNativeBuild) {
  if (!ProgramRunsOnWindows()) {
    GTEST_SKIP() << "compares the .exe under Wine with the native build";
  }
  const Entries original = EdgeTable();
  WriteFile("t.lang", TableOf(original));
  WriteFile("u.lang", TableOf(Translated(original)));
  const std::vector<std::vector<std::string>> runs = {
      {"export", "t.lang", "u.lang", "{}.po"},
      {"import", "--use-fuzzy", "t.lang", "native.po", "{}.lang"},
  };
  for (const auto& run : runs) {
    for (const std::string who : {"native", "exe"}) {
      std::vector<std::string> arguments = run;
      std::string& output = arguments.back();
      output.replace(0, 2, who);
      RunOptions options;
      options.Command =
          who == "native" ? std::vector<std::string>{VORLANTH_PO_REFERENCE} : PoCommand();
      const RunResult r = Run(arguments, options);
      EXPECT_EQ(r.Status, 0) << who << " " << run.front() << "\n" << r.Out << r.Err;
    }
    const std::string ending = run.back().substr(2);
    EXPECT_EQ(ReadFile("exe" + ending), ReadFile("native" + ending)) << run.front();
  }
}

} // namespace
