// The drop target, started the way Explorer starts it: one exact command line through
// CreateProcessW. Whatever a dropped name holds, exactly the named files are converted and nothing
// else in the data or working folder changes.
#include "Harness.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>

namespace {

namespace fs = std::filesystem;

const std::string Table = Bytes(Units{0x0001, 'H', 'i', 0, 0xFFFF});
const std::string Dump = Bytes(u"\xFEFF"
                               u"0001=Hi\n");
// An empty line: the checker's error, which the encoder would turn into a broken table.
const std::string BadDump = Bytes(u"\xFEFF"
                                  u"0001=Hi\n\n0002=Ho\n");
const std::string Other = "not a table";
const std::string Folder = "<folder>";

using Files = std::map<std::string, std::string>; // name -> bytes, or Folder

class DropTarget : public BlackBox {
protected:
  void SetUp() override {
    BlackBox::SetUp();
    if (!ProgramRunsOnWindows() || std::string(VORLANTH_DROP_LAUNCHER).empty()) {
      GTEST_SKIP() << "the drop target is a Windows program, started here as Explorer would";
    }
  }

  // Every file and folder below the case's folder, by its path relative to it.
  Files Snapshot() const {
    Files files;
    for (const auto& entry : fs::recursive_directory_iterator(Dir)) {
      const std::string name = fs::relative(entry.path(), Dir).string();
      files[name] = entry.is_directory() ? Folder : ReadFile(name);
    }
    return files;
  }

  // The drop target's folder, as Windows sees it.
  static std::string ProgramFolder() {
    std::string folder = "Z:" + ProgramCommand().back();
    folder.resize(folder.find_last_of('/') + 1);
    std::replace(folder.begin(), folder.end(), '/', '\\');
    return folder;
  }
};

struct Case {
  const char* Name;
  Files Data;                       // in the folder the names are dropped from
  Files Work;                       // in the working folder
  std::vector<std::string> Dropped; // each becomes a word of the command line; $ is the data folder
  bool Quote;                       // quoted, as Explorer quotes a name with a space
  Files Made;                       // what must be new or changed in the data folder afterwards
  std::string Tally;                // the last line
  std::string Says = {};            // a line it must print, when given
  std::string Older = {};           // a data file dated an hour back
};

std::vector<Case> Cases() {
  std::vector<Case> cases = {
      {"ampersands",
       {{"x & mkdir PWNED & y.lang", Table}},
       {},
       {"$x & mkdir PWNED & y.lang"},
       true,
       {{"x & mkdir PWNED & y.txt", Dump}},
       "1 converted, 0 refused by the check, 0 pairs refused, 0 failed, 0 skipped"},
      {"a second command",
       {{"a&echo PWNED.lang", Table}},
       {},
       {"$a&echo PWNED.lang"},
       true,
       {{"a&echo PWNED.txt", Dump}},
       "1 converted, 0 refused by the check, 0 pairs refused, 0 failed, 0 skipped"},
  };
  // Names without a space reach the program alike whether Explorer quotes them or not.
  for (const bool quote : {true, false}) {
    const std::vector<Case> both = {
        {"a parenthesis in a skipped name",
         {{"x).bak", Other}, {"x).txt", Dump}, {"x).lang", Other}},
         {},
         {"$x).bak"},
         quote,
         {},
         "0 converted, 0 refused by the check, 0 pairs refused, 0 failed, 1 skipped"},
        {"percent signs",
         {{"x%OS%.txt", Dump},
          {"xWindows_NT.txt", Dump},
          {"xWindows_NT.lang", Other},
          {"100%.lang", Table},
          {"a%%b.lang", Table}},
         {},
         {"$x%OS%.txt", "$100%.lang", "$a%%b.lang"},
         quote,
         {{"x%OS%.lang", Table}, {"100%.txt", Dump}, {"a%%b.txt", Dump}},
         "3 converted, 0 refused by the check, 0 pairs refused, 0 failed, 0 skipped"},
        {"separators of the command interpreter",
         {{"a,b.lang", Table}, {"a;b.lang", Table}, {"a=b.lang", Table}},
         {{"b.lang", Table}, {"a", Other}},
         {"$a,b.lang", "$a;b.lang", "$a=b.lang"},
         quote,
         {{"a,b.txt", Dump}, {"a;b.txt", Dump}, {"a=b.txt", Dump}},
         "3 converted, 0 refused by the check, 0 pairs refused, 0 failed, 0 skipped"},
        {"carets, exclamation marks, quotes and backticks",
         {{"a^b.txt", Dump}, {"hi!.lang", Table}, {"it's.lang", Table}, {"a`b.txt", Dump}},
         {},
         {"$a^b.txt", "$hi!.lang", "$it's.lang", "$a`b.txt"},
         quote,
         {{"a^b.lang", Table}, {"hi!.txt", Dump}, {"it's.txt", Dump}, {"a`b.lang", Table}},
         "4 converted, 0 refused by the check, 0 pairs refused, 0 failed, 0 skipped"},
        {"Cyrillic and an emoji, any case of extension",
         {{"меню.LANG", Table}, {"\xF0\x9F\x98\x80.Txt", Dump}},
         {},
         {"$меню.LANG", "$\xF0\x9F\x98\x80.Txt"},
         quote,
         {{"меню.txt", Dump}, {"\xF0\x9F\x98\x80.lang", Table}},
         "2 converted, 0 refused by the check, 0 pairs refused, 0 failed, 0 skipped"},
        {"what is skipped",
         {{"dir.lang", Folder}, {"README", Other}},
         {},
         {"$dir.lang", "$README", "$absent.lang"},
         quote,
         {},
         "0 converted, 0 refused by the check, 0 pairs refused, 0 failed, 3 skipped"},
    };
    cases.insert(cases.end(), both.begin(), both.end());
  }
  cases.push_back({"CJK with a space",
                   {{"菜单 表.lang", Table}},
                   {},
                   {"$菜单 表.lang"},
                   true,
                   {{"菜单 表.txt", Dump}},
                   "1 converted, 0 refused by the check, 0 pairs refused, 0 failed, 0 skipped"});
  cases.push_back({"a dump the checker refuses, beside one it passes",
                   {{"broken.txt", BadDump}, {"fine.txt", Dump}},
                   {},
                   {"$broken.txt", "$fine.txt"},
                   true,
                   {{"fine.lang", Table}},
                   "1 converted, 1 refused by the check, 0 pairs refused, 0 failed, 0 skipped"});
  const std::string edited = Bytes(u"\xFEFF"
                                   u"0001=Hallo\n");
  cases.push_back({"a table and its dump dropped together, whichever way round",
                   {{"x.lang", Table}, {"x.txt", edited}, {"y.txt", BadDump}, {"y.lang", Table}},
                   {},
                   {"$x.lang", "$x.txt", "$y.txt", "$y.lang"},
                   true,
                   {},
                   "0 converted, 0 refused by the check, 2 pairs refused, 0 failed, 0 skipped",
                   "== $x.lang and $x.txt: refused, dropped together"});
  cases.push_back({"a dump edited after its table was decoded",
                   {{"m.lang", Table}, {"m.txt", edited}},
                   {},
                   {"$m.lang"},
                   true,
                   {{"m.txt", Dump}, {"m.txt.bak", edited}},
                   "1 converted, 0 refused by the check, 0 pairs refused, 0 failed, 0 skipped",
                   "   $m.txt is newer than $m.lang: kept it as $m.txt.bak",
                   "m.lang"});
  cases.push_back({"a right-to-left override in a name",
                   {{"rlo\u202Etxt.lang", Table}},
                   {},
                   {"$rlo\u202Etxt.lang"},
                   true,
                   {{"rlo\u202Etxt.txt", Dump}},
                   "1 converted, 0 refused by the check, 0 pairs refused, 0 failed, 0 skipped",
                   "== $rlo<U+202E>txt.lang"});
  Case many{"twenty files at once",
            {},
            {},
            {},
            false,
            {},
            "20 converted, 0 refused by the check, 0 pairs refused, 0 failed, 0 skipped"};
  for (int i = 10; i < 20; ++i) {
    const std::string n = std::to_string(i);
    many.Data["t" + n + ".lang"] = Table;
    many.Data["d" + n + ".txt"] = Dump;
    many.Made["t" + n + ".txt"] = Dump;
    many.Made["d" + n + ".lang"] = Table;
    many.Dropped.insert(many.Dropped.end(), {"$t" + n + ".lang", "$d" + n + ".txt"});
  }
  cases.push_back(many);
  return cases;
}

TEST_F(DropTarget, ExactlyTheDroppedFilesConvert) {
  const std::string launch = "launch.txt";
  for (const Case& c : Cases()) {
    SCOPED_TRACE(std::string(c.Name) + (c.Quote ? ", quoted" : ", unquoted"));
    fs::remove_all(Dir);
    fs::create_directories(Dir + "/data");
    for (const auto& [files, prefix] : {std::pair{&c.Data, "data/"}, std::pair{&c.Work, ""}}) {
      for (const auto& [name, bytes] : *files) {
        if (bytes == Folder) {
          fs::create_directory(PathOf(prefix + name));
        } else {
          WriteFile(prefix + name, bytes);
        }
      }
    }
    std::string dataFolder = "Z:" + Dir + "/data/";
    std::replace(dataFolder.begin(), dataFolder.end(), '/', '\\');
    const std::string program = ProgramFolder() + "vorlanth_drop.exe";
    std::string line = '"' + program + '"';
    for (const std::string& dropped : c.Dropped) {
      const std::string name = dataFolder + dropped.substr(1);
      line += c.Quote ? " \"" + name + '"' : " " + name;
    }
    if (!c.Older.empty()) {
      const timespec hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
      ASSERT_EQ(utimensat(AT_FDCWD, PathOf("data/" + c.Older).c_str(), hourAgo, 0), 0);
    }
    WriteFile(launch, program + "\n" + line + "\n");
    Files expected = Snapshot();
    for (const auto& [name, bytes] : c.Made) {
      expected["data/" + name] = bytes;
    }

    RunOptions options;
    options.Command.assign(ProgramCommand().begin(), ProgramCommand().end() - 1);
    options.Command.push_back(VORLANTH_DROP_LAUNCHER);
    const RunResult r = Run({launch}, options);

    const bool all = c.Tally.starts_with(std::to_string(c.Dropped.size()) + " converted");
    EXPECT_EQ(r.Status, all ? 0 : 1) << r.Out;
    EXPECT_NE(r.Out.find("\r\n" + c.Tally + "\r\n"), std::string::npos) << r.Out;
    if (!c.Says.empty()) {
      std::string says = c.Says;
      for (std::size_t at; (at = says.find('$')) != std::string::npos;) {
        says.replace(at, 1, dataFolder);
      }
      EXPECT_NE(r.Out.find(says), std::string::npos) << r.Out;
    }
    EXPECT_EQ(Snapshot(), expected) << r.Out;
  }
}

} // namespace
