// Arguments and dispatch: what runs, and what only prints the usage text.
#include "Harness.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace {

const std::string Table = Bytes(Units{0x0001, 'H', 'i', 0, 0xFFFF});
const std::string Dump = Bytes(u"\xFEFF"
                               u"0001=Hi\n");

class Arguments : public BlackBox {};

TEST_F(Arguments, UsageWithoutConverting) {
  ASSERT_EQ(mkdir(PathOf("folder.lang").c_str(), 0755), 0);
  struct Case {
    const char* Name;
    std::vector<std::string> Args;
  };
  const Case cases[] = {
      {"no arguments", {}},
      {"mode word only", {"d"}},
      {"capital D", {"D", "menu.lang"}},
      {"capital E", {"E", "menu.txt"}},
      {"another letter", {"x", "menu.lang"}},
      {"missing file", {"d", "absent.lang"}},
      {"a directory", {"d", "folder.lang"}},
      {"path first, mode second", {"menu.lang", "d"}},
      {"only empty arguments", {"", ""}},
  };
  for (const Case& c : cases) {
    WriteFile("menu.lang", Table);
    WriteFile("menu.txt", Dump);
    const RunResult r = Run(c.Args);
    EXPECT_EQ(r.Status, 0) << c.Name;
    EXPECT_EQ(r.Out, Banner + Usage) << c.Name;
    EXPECT_EQ(r.Err, "") << c.Name;
    EXPECT_EQ(ReadFile("menu.lang"), Table) << c.Name;
    EXPECT_EQ(ReadFile("menu.txt"), Dump) << c.Name;
  }
}

TEST_F(Arguments, DevicesAreNotInputs) {
  std::vector<std::string> devices = {"NUL", "CON"};
  if (!ProgramRunsOnWindows()) {
    ASSERT_EQ(mkfifo(PathOf("pipe.lang").c_str(), 0644), 0);
    devices = {"pipe.lang", "/dev/zero", "/dev/null"};
  }
  for (const std::string& path : devices) {
    const RunResult r = Run({"d", path});
    EXPECT_EQ(r.Status, 0) << path;
    EXPECT_EQ(r.Out, Banner + Usage) << path;
  }
}

TEST_F(Arguments, ModeWordsThatConvert) {
  struct Case {
    std::vector<std::string> Args;
    const char* Output;
  };
  const Case cases[] = {
      {{"d", "menu.lang"}, "menu.txt"},
      {{"decode", "menu.lang"}, "menu.txt"},
      {{"", "d", "menu.lang"}, "menu.txt"},
      {{"d", "", "menu.lang"}, "menu.txt"},
      {{"d", "menu.lang", "extra", "words"}, "menu.txt"},
      {{"e", "dump.txt"}, "dump.lang"},
      {{"everything", "dump.txt", "ignored.lang"}, "dump.lang"},
  };
  for (const Case& c : cases) {
    WriteFile("menu.lang", Table);
    WriteFile("dump.txt", Dump);
    const RunResult r = Run(c.Args);
    EXPECT_EQ(r.Status, 0) << c.Args[0];
    EXPECT_EQ(r.Err, "");
    EXPECT_TRUE(Exists(c.Output)) << c.Output;
    EXPECT_FALSE(Exists("ignored.lang"));
    std::remove(PathOf(c.Output).c_str());
  }
}

TEST_F(Arguments, OutputLandsBesideTheInput) {
  ASSERT_EQ(mkdir(PathOf("dir.x").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(PathOf("My Games").c_str(), 0755), 0);
  struct Case {
    const char* Input;
    const char* Mode;
    const char* Output;
  };
  const Case cases[] = {
      {"data", "d", "data.txt"},
      {"a.b.lang", "d", "a.b.txt"},
      {"data.", "d", "data.txt"},
      {"dir.x/data", "d", "dir.x/data.txt"},
      {"My Games/menu.lang", "d", "My Games/menu.txt"},
      {"dump.TXT", "e", "dump.lang"},
      {"dir.x/dump", "e", "dir.x/dump.lang"},
      {"-dash.lang", "d", "-dash.txt"},
  };
  for (const Case& c : cases) {
    const bool decoding = c.Mode[0] == 'd';
    WriteFile(c.Input, decoding ? Table : Dump);
    const RunResult r = Run({c.Mode, c.Input});
    EXPECT_EQ(r.Status, 0) << c.Input;
    EXPECT_EQ(ReadFile(c.Output), decoding ? Dump : Table) << c.Input << " -> " << c.Output;
  }
}

TEST_F(Arguments, NamesOutsideAsciiAndTheCodePage) {
  struct Case {
    const char* Input;
    const char* Output;
  };
  const Case cases[] = {
      {"\xD0\x9C\xD0\xB5\xD0\xBD\xD1\x8E.lang", "\xD0\x9C\xD0\xB5\xD0\xBD\xD1\x8E.txt"}, // Меню
      {"\xE8\x8F\x9C\xE5\x8D\x95 \xE6\x96\x87\xE4\xBB\xB6.lang",
       "\xE8\x8F\x9C\xE5\x8D\x95 \xE6\x96\x87\xE4\xBB\xB6.txt"}, // 菜单 文件, with a space
  };
  for (const Case& c : cases) {
    WriteFile(c.Input, Table);
    const RunResult r = Run({"d", c.Input});
    EXPECT_EQ(r.Status, 0) << r.Out << r.Err;
    EXPECT_EQ(ReadFile(c.Output), Dump) << c.Output;
  }
}

TEST_F(Arguments, DriveRelativePath) {
  // Under Windows "Z:menu.lang" names menu.lang in the current folder of drive Z:, where Wine
  // keeps the Unix root and so this folder; natively it is simply a name with a colon. Either way
  // the extension is replaced after the colon and the output lands beside the input.
  const bool windows = ProgramRunsOnWindows();
  WriteFile(windows ? "menu.lang" : "Z:menu.lang", Table);
  const RunResult r = Run({"d", "Z:menu.lang"});
  EXPECT_EQ(r.Status, 0) << r.Out << r.Err;
  EXPECT_EQ(ReadFile(windows ? "menu.txt" : "Z:menu.txt"), Dump);
}

// The Windows package: the version each .exe declares.
class WindowsPackage : public BlackBox {
protected:
  void SetUp() override {
    BlackBox::SetUp();
    if (!ProgramRunsOnWindows()) {
      GTEST_SKIP() << "the version resource belongs to the Windows package";
    }
  }
  // The folder of the unpacked package, and the Wine command line without the program.
  static std::string Folder() {
    const std::string& exe = ProgramCommand().back();
    return exe.substr(0, exe.find_last_of('/') + 1);
  }
};

TEST_F(WindowsPackage, HoldsTheProgramsAndTheirPapersOnly) {
  // Nothing in the archive is read by a command interpreter.
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
    names.insert(entry.path().filename().string());
  }
  // The page goes in too when it was built first (tools/check-packages.sh requires it in CI).
  names.erase("vorlanth.html");
  EXPECT_EQ(names,
            (std::set<std::string>{"LICENSE", "README.md", "vorlanth_check.exe",
                                   "vorlanth_drop.exe", "vorlanth_lang.exe", "vorlanth_po.exe"}));
}

TEST_F(WindowsPackage, VersionResourceAndManifest) {
  for (const char* program :
       {"vorlanth_lang.exe", "vorlanth_check.exe", "vorlanth_po.exe", "vorlanth_drop.exe"}) {
    std::ifstream file(Folder() + program, std::ios::binary);
    const std::string exe((std::istreambuf_iterator<char>(file)), {});
    // In the StringFileInfo block each value follows its key and the padding to 4 bytes.
    const std::string key = Bytes(u"ProductVersion") + std::string(2, '\0');
    std::size_t at = exe.find(key);
    ASSERT_NE(at, std::string::npos) << program << ": no version resource";
    at += key.size();
    at += (4 - at % 4) % 4;
    const std::string value =
        Bytes(std::u16string(VORLANTH_VERSION, VORLANTH_VERSION + sizeof VORLANTH_VERSION - 1));
    EXPECT_EQ(exe.substr(at, value.size() + 2), value + std::string(2, '\0')) << program;
    EXPECT_NE(exe.find("<ws2:longPathAware>true</ws2:longPathAware>"), std::string::npos)
        << program;
  }
}

} // namespace
