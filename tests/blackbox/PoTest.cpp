// vorlanth_po against the translators' own tools: gettext's msgfmt, msgcat and msgmerge, and polib.
#include "Harness.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
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
      {0x000F, u"bell\a backspace\b tab\v feed\f"},
      {0x0010, u"100% sure, 50% off, %d of %s"},
      {0x0011, u"%d of %s"},
      {0x0012, u"%1$s of %2$d"},
  };
  return entries;
}

// The translated table: the same keys, and a text of its own for each entry.
Entries Translated(const Entries& original) {
  Entries entries = original;
  for (auto& [id, text] : entries) {
    if (text == u"%d of %s") {
      text = u"%s: %d"; // the conversions in another order, which msgfmt -c refuses unless fuzzy
    } else if (text == u"%1$s of %2$d") {
      text = u"%2$d von %1$s"; // numbered: any order is right
    } else if (!text.empty()) {
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
    const bool fuzzy = carried && (text.front() == u'\n' || text == u"%d of %s");
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
  // Every entry of the case's folder with its kind, mode, link count and bytes.
  std::map<std::string, std::string> Listing() const {
    std::map<std::string, std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(Dir)) {
      const std::string name = entry.path().filename().string();
      struct stat info {};
      EXPECT_EQ(lstat(entry.path().c_str(), &info), 0);
      entries[name] = std::to_string(info.st_mode) + " " + std::to_string(info.st_nlink) + " " +
                      std::to_string(info.st_uid) + " " +
                      (S_ISREG(info.st_mode) ? ReadFile(name) : "");
    }
    return entries;
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
  EXPECT_NE(
      pair.Err.find("19 entries: 14 translated, 2 fuzzy, 0 the same as the original (fuzzy), 0 "
                    "untranslated, 3 left out"),
      std::string::npos)
      << pair.Err;

  for (const char* file : {"t.pot", "u.po"}) {
    const RunResult checked = Tool({"msgfmt", "-c", "-o", "/dev/null", file});
    EXPECT_EQ(checked.Status, 0) << file << "\n" << checked.Err;
    const RunResult again = Tool({"msgcat", "--no-wrap", "-o", "again.po", file});
    EXPECT_EQ(again.Status, 0) << again.Err;
    // The same bytes, but for the controls that msgcat writes as escapes.
    std::string expected = ReadFile(file);
    for (const auto& [raw, escaped] : {std::pair{"\a", "\\a"}, std::pair{"\b", "\\b"},
                                       std::pair{"\v", "\\v"}, std::pair{"\f", "\\f"}}) {
      for (std::size_t at; (at = expected.find(raw)) != std::string::npos;) {
        expected.replace(at, 1, escaped);
      }
    }
    EXPECT_EQ(ReadFile("again.po"), expected) << file;
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
  EXPECT_EQ(polib.Out, "16 2\n");
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
  WriteFile("v1.lang", TableOf({{1, u"New Game"},
                                {2, u"Load"},
                                {3, u"Options"},
                                {4, u"Quit"},
                                {0x20, u"Save"},
                                {0x20, u"Save"},
                                {0x30, u"Chapter 1"},
                                {0x30, u"Chapter 1 - epilogue"}}));
  ASSERT_EQ(Po({"export", "v1.lang", "v1.pot"}).Status, 0);
  ASSERT_EQ(Tool({"/usr/bin/python3", "-c",
                  "import polib\n"
                  "po = polib.pofile('v1.pot')\n"
                  "for entry in po: entry.msgstr = 'DE ' + entry.msgid\n"
                  "po.save('de.po')\n"})
                .Status,
            0);
  // The update: one text changed, one entry added, one removed, a second entry with id 0004;
  // of the repeated ids, an entry with another text inserted before a repeat and one removed
  // before another text, and a repeated text removed and inserted.
  const Entries v2 = {{1, u"New Game"},
                      {2, u"Load Game"},
                      {4, u"Quit"},
                      {5, u"Synchronise with the cloud every 10 minutes"},
                      {4, u"Quit to the desktop"},
                      {0x20, u"Save as"},
                      {0x20, u"Save"},
                      {0x30, u"Chapter 1 - epilogue"},
                      {0x30, u"Chapter 1 - epilogue"}};
  WriteFile("v2.lang", TableOf(v2));
  ASSERT_EQ(Po({"export", "v2.lang", "v2.pot"}).Status, 0);
  const RunResult merged =
      Tool({"msgmerge", "--previous", "-q", "-o", "de2.po", "de.po", "v2.pot"});
  ASSERT_EQ(merged.Status, 0) << merged.Err;

  RunResult r = Po({"import", "v2.lang", "de2.po", "de2.lang"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Err.find("9 entries: 4 translated, 3 fuzzy (left in the original), 2 untranslated, "
                       "0 stale, 0 not in the original, 0 left out, 0 without a key"),
            std::string::npos)
      << r.Err;
  Entries expected = v2;
  expected[0].second = u"DE New Game";
  expected[2].second = u"DE Quit";
  expected[6].second = u"DE Save";
  expected[7].second = u"DE Chapter 1 - epilogue";
  EXPECT_EQ(ReadFile("de2.lang"), TableOf(expected));

  r = Po({"import", "--use-fuzzy", "v2.lang", "de2.po", "fuzzy.lang"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  // The translations msgmerge took from similar texts and marked fuzzy.
  expected[1].second = u"DE Load";
  expected[5].second = u"DE Save";
  expected[8].second = u"DE Chapter 1 - epilogue";
  EXPECT_EQ(ReadFile("fuzzy.lang"), TableOf(expected));
}

// Translators who work in spreadsheets or CAT tools send the PO through Translate Toolkit, which
// drops msgctxt and keeps the key only in the location (CSV) or the reference (XLIFF, escaped).
TEST_F(PoBridge, TranslateToolkitRoundTrips) {
  NativeClientsOnly();
  const Entries original = {{1, u"New Game"},   {0x20, u"Save"},        {0x20, u"Save"},
                            {0x20, u"Save as"}, {2, u"%d of %s saved"}, {3, u"[b]Quit[/b]"}};
  Entries translated = original;
  for (auto& [id, text] : translated) {
    text = u"DE " + text + u" " + std::u16string(1, static_cast<char16_t>(u'a' + id % 26));
  }
  translated[2].second = u"DE Save again"; // a repeat translated otherwise
  WriteFile("t.lang", TableOf(original));
  WriteFile("u.lang", TableOf(translated));
  ASSERT_EQ(Po({"export", "t.lang", "u.lang", "u.po"}).Status, 0);
  const std::vector<std::vector<std::string>> trips = {
      {"po2csv", "--progress=none", "u.po", "u.csv"},
      {"csv2po", "--progress=none", "u.csv", "csv.po"},
      {"po2xliff", "--progress=none", "u.po", "u.xlf"},
      {"xliff2po", "--progress=none", "u.xlf", "xliff.po"}};
  for (const auto& trip : trips) {
    const RunResult r = Tool(trip);
    ASSERT_EQ(r.Status, 0) << trip.front();
  }
  for (const char* po : {"csv.po", "xliff.po"}) {
    const RunResult r = Po({"import", "--use-fuzzy", "t.lang", po, "out.lang"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_NE(r.Err.find("6 entries: 6 translated"), std::string::npos) << po << "\n" << r.Err;
    EXPECT_EQ(ReadFile("out.lang"), TableOf(translated)) << po;
  }
}

// How an import places each translation, or says why it does not.
TEST_F(PoBridge, ImportPlacesOrNames) {
  WriteFile("t.lang", TableOf({{1, u"New Game"}, {1, u"Load"}, {2, u"Quit"}}));
  const auto header = [](const char* charset) {
    return std::string("msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=") + charset +
           "\\n\"\n";
  };
  const std::string utf8 = header("UTF-8");
  struct Case {
    const char* Name;
    std::string Po;
    Entries Expected;
    const char* Says; // in the messages or the summary
  };
  const Case cases[] = {
      {"a key of version 1.1.0, which numbered every entry of an id",
       utf8 + "\nmsgctxt \"0001#2\"\nmsgid \"Load\"\nmsgstr \"Laden\"\n",
       {{1, u"New Game"}, {1, u"Laden"}, {2, u"Quit"}},
       "1 translated"},
      {"a key kept only in the reference, as after XLIFF",
       utf8 + "\n#: src%2Fmenu 0002\nmsgid \"Quit\"\nmsgstr \"Beenden\"\n",
       {{1, u"New Game"}, {1, u"Load"}, {2, u"Beenden"}},
       "1 translated"},
      {"no key at all",
       utf8 + "\nmsgid \"Quit\"\nmsgstr \"Beenden\"\n",
       {{1, u"New Game"}, {1, u"Load"}, {2, u"Quit"}},
       "t.po:4: warning: the entry with the msgid \"Quit\" has no key"},
      {"a stale entry with no translation says nothing",
       utf8 + "\nmsgctxt \"0002\"\nmsgid \"Exit\"\nmsgstr \"\"\n",
       {{1, u"New Game"}, {1, u"Load"}, {2, u"Quit"}},
       "0 stale, 0 not in the original"},
      {"a stale translation says what differs",
       utf8 + "\nmsgctxt \"0002\"\nmsgid \"Exit\"\nmsgstr \"Verlassen\"\n",
       {{1, u"New Game"}, {1, u"Load"}, {2, u"Quit"}},
       "is for the text \"Exit\", where the table has \"Quit\""},
      {"charset utf8, quoted",
       header("\\\"utf8\\\"") + "\nmsgctxt \"0002\"\nmsgid \"Quit\"\nmsgstr \"Q\"\n",
       {{1, u"New Game"}, {1, u"Load"}, {2, u"Q"}},
       "1 translated"},
      {"unknown keys, named in file order",
       utf8 + "\nmsgctxt \"00F1\"\nmsgid \"a\"\nmsgstr \"b\"\n\nmsgctxt \"00F0\"\nmsgid "
              "\"a\"\nmsgstr \"b\"\n",
       {{1, u"New Game"}, {1, u"Load"}, {2, u"Quit"}},
       "t.po:4: warning: the original table has no entry \"00F1\"\nt.po:8: warning: the original "
       "table has no entry \"00F0\""},
  };
  for (const Case& c : cases) {
    WriteFile("t.po", c.Po);
    const RunResult r = Po({"import", "t.lang", "t.po", "out.lang"});
    EXPECT_EQ(r.Status, 0) << c.Name;
    EXPECT_NE(r.Err.find(c.Says), std::string::npos) << c.Name << "\n" << r.Err;
    EXPECT_EQ(ReadFile("out.lang"), TableOf(c.Expected)) << c.Name;
  }
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
      {"keys that would forge a line and colour the terminal",
       header + "msgctxt \"0009\\nfake.po:1: error: forged\"\nmsgid \"a\"\nmsgstr \"b\"\n\n" +
           "msgctxt \"\x1b[31m\"\nmsgid \"a\"\nmsgstr \"b\"\n",
       "t.po:4: error: the original table has no entry \"0009\\nfake.po:1: error: forged\""},
      {"a stale msgid, with --strict",
       header + "msgctxt \"0001\"\nmsgid \"Old Game\"\nmsgstr \"Altes Spiel\"\n", "t.po:4: error"},
  };
  for (const Case& c : cases) {
    WriteFile("t.po", c.Text);
    WriteFile("out.lang", "precious");
    const RunResult r = Po({"import", "--strict", "t.lang", "t.po", "out.lang"});
    EXPECT_EQ(r.Status, 1) << c.Name;
    EXPECT_NE(r.Err.find(c.Where), std::string::npos) << c.Name << "\n" << r.Out << r.Err;
    EXPECT_EQ(r.Err.find_first_of("\x1b\r"), std::string::npos) << c.Name;
    EXPECT_EQ(r.Err.find("\nfake.po"), std::string::npos) << c.Name;
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
  // Given to another owner and group, which only root may keep.
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(PathOf("t.pot").c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(Po({"export", "t.lang", "t.pot"}).Status, 0);
  struct stat info {};
  ASSERT_EQ(stat(PathOf("t.pot").c_str(), &info), 0);
  if (!ProgramRunsOnWindows()) {
    EXPECT_EQ(info.st_mode & 0777, 0640U);
    if (root) {
      EXPECT_EQ(info.st_uid, 65534U);
      EXPECT_EQ(info.st_gid, 65534U);
    }
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

namespace {

// Every kind of thing an output name can lead to. A refused one is left exactly as it was, and no
// temporary file is left beside it.
TEST_F(PoBridge, OutputKinds) {
  const bool windows = ProgramRunsOnWindows();
  const std::string table = TableOf({{1, u"New Game"}});
  const std::string longName = std::string(250, 'n') + ".pot"; // 254 bytes: legal, near the limit
  struct Case {
    const char* Name;
    bool Posix;                                       // runs natively
    bool Windows;                                     // runs under Wine
    std::function<void(const std::string& dir)> Make; // in the case's folder
    std::string Output;
    const char* Refusal; // in the message; nullptr: written
    bool AsNobody = false;
    bool CloseStderr = false;
  };
  const auto put = [](const std::string& path, const char* bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  };
  const auto file = [put](const char* bytes) {
    return [put, bytes](const std::string& dir) { put(dir + "/out.pot", bytes); };
  };
  const std::vector<Case> cases = {
      {"a new file", true, true, [](const std::string&) {}, "out.pot", nullptr},
      {"a regular file", true, true, file("old"), "out.pot", nullptr},
      {"a name near the length limit", true, true, [](const std::string&) {}, longName, nullptr},
      {"a symbolic link: the file it names is replaced", true, false,
       [put](const std::string& dir) {
         put(dir + "/real.pot", "old");
         ASSERT_EQ(symlink("real.pot", (dir + "/out.pot").c_str()), 0);
       },
       "out.pot", nullptr},
      {"a file with a second hard link", true, false,
       [put](const std::string& dir) {
         put(dir + "/out.pot", "old");
         ASSERT_EQ(link((dir + "/out.pot").c_str(), (dir + "/twin.pot").c_str()), 0);
       },
       "out.pot", "other name (hard links)"},
      {"a read-only file", true, true,
       [put](const std::string& dir) {
         put(dir + "/out.pot", "old");
         ASSERT_EQ(chmod((dir + "/out.pot").c_str(), 0444), 0);
       },
       "out.pot", windows ? "access denied" : "permission denied", !windows},
      {"a FIFO", true, false,
       [](const std::string& dir) { ASSERT_EQ(mkfifo((dir + "/out.pot").c_str(), 0644), 0); },
       "out.pot", "not a regular file"},
      {"a device", true, false, [](const std::string&) {}, "/dev/null", "not a regular file"},
      {"a directory", true, true,
       [](const std::string& dir) { ASSERT_EQ(mkdir((dir + "/out.pot").c_str(), 0755), 0); },
       "out.pot", "is a directory"},
      {"a device name", false, true, [](const std::string&) {}, "aux.pot", "not a regular file"},
      {"a device name in capitals, with two extensions", false, true, [](const std::string&) {},
       "COM1.po.pot", "not a regular file"},
      {"the summary cannot be written", true, true, file("old"), "out.pot", "", false, true},
      {"an original that cannot be read: its name and reason", true, false,
       [](const std::string& dir) { ASSERT_EQ(chmod((dir + "/t.lang").c_str(), 0), 0); }, "out.pot",
       "vorlanth_po: t.lang: permission denied", true},
  };
  for (const Case& c : cases) {
    // valgrind reports on the standard error stream, so it cannot run a program without one.
    if (!(windows ? c.Windows : c.Posix) || (c.CloseStderr && !windows && PoCommand().size() > 1)) {
      continue;
    }
    SCOPED_TRACE(c.Name);
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directory(Dir);
    ASSERT_EQ(chmod(Dir.c_str(), 0777), 0);
    WriteFile("t.lang", table);
    c.Make(Dir);
    const auto before = Listing();
    RunOptions options;
    options.Command = PoCommand();
    options.AsUnprivilegedUser = c.AsNobody;
    options.CloseStderr = c.CloseStderr;
    const RunResult r = Run({"export", "t.lang", c.Output}, options);
    if (c.Refusal == nullptr) {
      EXPECT_EQ(r.Status, 0);
      const std::string& name =
          std::string(c.Name).starts_with("a symbolic") ? "real.pot" : c.Output;
      EXPECT_NE(ReadFile(name).find("msgid \"New Game\""), std::string::npos);
      struct stat info {};
      EXPECT_EQ(lstat(PathOf("out.pot").c_str(), &info) == 0 && S_ISLNK(info.st_mode),
                name == "real.pot");
      auto after = Listing();
      after.erase(name);
      auto expected = before;
      expected.erase(name);
      EXPECT_EQ(after, expected);
      continue;
    }
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find(c.Refusal), std::string::npos) << r.Err;
    EXPECT_EQ(Listing(), before);
  }
}

} // namespace

namespace {

// A signal that ends an import leaves the output as it was and no temporary file. The program is
// held in the middle of its run by a standard error pipe too small for its warnings, which nobody
// reads: it cannot finish before the signal comes, nor meet it before its output is open.
TEST_F(PoBridge, SignalLeavesNoTemporaryFile) {
  if (ProgramRunsOnWindows()) {
    GTEST_SKIP() << "POSIX signals; Windows has console control events instead";
  }
  WriteFile("t.lang", TableOf({{1, u"New Game"}}));
  std::string po = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n";
  for (int key = 0x100; key < 0x200; ++key) {
    po += "\nmsgctxt \"" + std::to_string(key) + "\"\nmsgid \"a\"\nmsgstr \"b\"\n";
  }
  WriteFile("t.po", po);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    WriteFile("out.lang", "precious");
    int err[2] = {-1, -1};
    ASSERT_EQ(pipe(err), 0);
    ASSERT_GT(fcntl(err[1], F_SETPIPE_SZ, 4096), 0);
    std::vector<std::string> words = PoCommand();
    words.insert(words.end(), {"import", "t.lang", "t.po", "out.lang"});
    std::vector<char*> argv;
    for (std::string& word : words) {
      argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      if (chdir(Dir.c_str()) != 0 || dup2(err[1], STDERR_FILENO) < 0) {
        _exit(126);
      }
      close(err[0]);
      close(err[1]);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    close(err[1]);
    pollfd ready{err[0], POLLIN, 0};
    ASSERT_EQ(poll(&ready, 1, 60000), 1) << "the program wrote no warning";
    kill(child, signal);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    close(err[0]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_EQ(Listing().size(), 3U);
    EXPECT_EQ(ReadFile("out.lang"), "precious");
  }
}

} // namespace
