// Decoding, encoding and round trips through files, byte for byte.
#include "Harness.h"
#include "MemoryUnits.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>

namespace {

std::string DecodeOut(std::uint64_t count) {
  return Banner + "Initializing... done\r\nDecoding... " + std::to_string(count) +
         " line(s) parsed\r\nDone\r\n";
}

std::string EncodeOut(std::uint64_t count) {
  return Banner + "Initializing... done\r\nEncoding... " + std::to_string(count) +
         " line(s) parsed\r\nDone\r\n";
}

const std::string Bom = "\xFF\xFE";

struct FormatCase {
  const char* Name;
  std::string Table;
  std::string Dump;
  std::uint64_t Count;
};

class Decoding : public BlackBox {};

TEST_F(Decoding, Cases) {
  const FormatCase cases[] = {
      {"the documented example", std::string("\x01\x00\x48\x00\x69\x00\x00\x00\xFF\xFF", 10),
       std::string("\xFF\xFE\x30\x00\x30\x00\x30\x00\x31\x00\x3D\x00\x48\x00\x69\x00\x0A\x00", 18),
       1},
      {"an empty file", "", Bom, 0},
      {"a single byte", "\x41", Bom, 0},
      {"the end marker only", "\xFF\xFF", Bom, 0},
      {"an odd trailing byte", Bytes(Units{0x0005, 'a', 0}) + "\x7F", Bom + Bytes(u"0005=a\n"), 1},
      {"no end marker", Bytes(Units{0x0005, 'a', 0, 0x0006, 'b', 0}),
       Bom + Bytes(u"0005=a\n0006=b\n"), 2},
      {"an id at the very end", Bytes(Units{0x0005, 0, 0x0006}), Bom + Bytes(u"0005=\n0006="), 2},
      {"high ids", Bytes(Units{0x8000, 0, 0xFFFE, 0, 0xFFFF}), Bom + Bytes(u"8000=\nFFFE=\n"), 2},
      {"bytes after the end marker", Bytes(Units{0x0001, 0, 0xFFFF, 0x0002, 'x', 0}),
       Bom + Bytes(u"0001=\n"), 1},
      {"an LF inside a text", Bytes(Units{0x0001, 'a', 0x0A, 'b', 0, 0xFFFF}),
       Bom + Bytes(u"0001=a\nb\n"), 1},
      {"a dump decoded as a table", Bom + Bytes(u"0001=Hi\n"), Bom + Bytes(u"FEFF=0001=Hi\n"), 1},
  };
  for (const FormatCase& c : cases) {
    WriteFile("t.lang", c.Table);
    const RunResult r = Run({"d", "t.lang"});
    EXPECT_EQ(r.Status, 0) << c.Name;
    EXPECT_EQ(r.Out, DecodeOut(c.Count)) << c.Name;
    EXPECT_EQ(r.Err, "") << c.Name;
    EXPECT_EQ(ReadFile("t.txt"), c.Dump) << c.Name;
    EXPECT_EQ(ReadFile("t.lang"), c.Table) << c.Name << ": the input changed";
  }
}

TEST_F(Decoding, ReplacesALongerExistingDump) {
  WriteFile("t.lang", Bytes(Units{0x0001, 'a', 0, 0xFFFF}));
  WriteFile("t.txt", std::string(100000, 'z'));
  ASSERT_EQ(Run({"d", "t.lang"}).Status, 0);
  EXPECT_EQ(ReadFile("t.txt"), Bom + Bytes(u"0001=a\n"));
}

TEST_F(Decoding, ThroughASymbolicLink) {
  ASSERT_EQ(mkdir(PathOf("real").c_str(), 0755), 0);
  WriteFile("real/t.lang", Bytes(Units{0x0001, 'a', 0, 0xFFFF}));
  ASSERT_EQ(symlink("real/t.lang", PathOf("link.lang").c_str()), 0);
  const RunResult r = Run({"d", "link.lang"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(ReadFile("link.txt"), Bom + Bytes(u"0001=a\n"));
}

class Encoding : public BlackBox {};

TEST_F(Encoding, Cases) {
  const FormatCase cases[] = {
      {"the documented example", std::string("\x01\x00\x48\x00\x69\x00\x00\x00\xFF\xFF", 10),
       Bom + Bytes(u"0001=Hi\n"), 1},
      {"the BOM only", "\xFF\xFF", Bom, 0},
      {"the BOM and an odd byte", "\xFF\xFF", Bom + "\x30", 0},
      {"lower-case digits", Bytes(Units{0x00AB, 'x', 0, 0xFFFF}), Bom + Bytes(u"00ab=x\n"), 1},
      {"CR LF line ends", Bytes(Units{1, 'a', 0x0D, 0, 2, 0x0D, 0, 0xFFFF}),
       Bom + Bytes(u"0001=a\r\n0002=\r\n"), 2},
      {"five digits", Bytes(Units{0x2345, 'x', 0, 0xFFFF}), Bom + Bytes(u"12345x\n"), 1},
      {"a last line without LF", Bytes(Units{1, 'a', 0xFFFF}), Bom + Bytes(u"0001=a"), 1},
      {"an FFFF line ends it", Bytes(Units{1, 'a', 0, 0xFFFF}),
       Bom + Bytes(u"0001=a\nFFFF=x\n0002=b\n"), 2},
      {"an empty line shifts the id field", Bytes(Units{1, 0, 2, '=', 'b', 0, 0xFFFF}),
       Bom + Bytes(u"0001=\n\n0002=b\n"), 2},
      {"non-ASCII units in the id field are not digits", Bytes(Units{0x0012, 'x', 0, 0xFFFF}),
       Bom + Bytes(Units{0x0661, '1', 0xFF12, '2', '=', 'x', 0x0A}), 1},
      {"a lone surrogate and NUL in the id field", Bytes(Units{0x0003, 0, 0xFFFF}),
       Bom + Bytes(Units{0xD800, 0, '0', '3', 0, 0x0A}), 1},
  };
  for (const FormatCase& c : cases) {
    WriteFile("t.txt", c.Dump);
    const RunResult r = Run({"e", "t.txt"});
    EXPECT_EQ(r.Status, 0) << c.Name;
    EXPECT_EQ(r.Out, EncodeOut(c.Count)) << c.Name;
    EXPECT_EQ(r.Err, "") << c.Name;
    EXPECT_EQ(ReadFile("t.lang"), c.Table) << c.Name;
    EXPECT_EQ(ReadFile("t.txt"), c.Dump) << c.Name << ": the input changed";
  }
}

TEST_F(Encoding, ReadOnlyInputConverts) {
  WriteFile("t.txt", Bom + Bytes(u"0001=a\n"));
  ASSERT_EQ(chmod(PathOf("t.txt").c_str(), 0444), 0);
  ASSERT_EQ(chmod(Dir.c_str(), 0777), 0);
  RunOptions asNobody;
  asNobody.AsUnprivilegedUser = !ProgramRunsOnWindows();
  const RunResult r = Run({"e", "t.txt"}, asNobody);
  EXPECT_EQ(r.Status, 0) << r.Out << r.Err;
  EXPECT_EQ(ReadFile("t.lang"), Bytes(Units{1, 'a', 0, 0xFFFF}));
}

class RoundTrip : public BlackBox {};

std::string ReadExample() {
  std::ifstream file(VORLANTH_EXAMPLES_DIR "/menu.lang", std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

TEST_F(RoundTrip, BundledExample) {
  const std::string table = ReadExample();
  ASSERT_GT(table.size(), 100U);
  WriteFile("menu.lang", table);
  const RunResult decoded = Run({"d", "menu.lang"});
  ASSERT_EQ(decoded.Status, 0);
  EXPECT_EQ(decoded.Out, DecodeOut(35));
  const std::string dump = ReadFile("menu.txt");
  for (std::u16string_view line :
       {u"\xFEFF"
        u"0001=New Game\n",
        u"\n0030=Новая игра\n", u"\n0012=\n", u"\n8000=Debug menu\n",
        u"\n0013=Press any key\rto start\n", u"\n0050=Victory! \U0001F3C6\n"}) {
    EXPECT_NE(dump.find(Bytes(line)), std::string::npos) << "line " << Bytes(line);
  }
  std::remove(PathOf("menu.lang").c_str());
  const RunResult encoded = Run({"e", "menu.txt"});
  ASSERT_EQ(encoded.Status, 0);
  EXPECT_EQ(encoded.Out, EncodeOut(35));
  EXPECT_EQ(ReadFile("menu.lang"), table);
}

// A table spanning several of the program's buffers, with an odd length, so that buffer ends fall
// inside ids, texts and the trailing byte.
TEST_F(RoundTrip, TableLargerThanTheBuffers) {
  std::mt19937 random(42);
  const UnitVector table = WellFormedTable(random, 1800000, 300); // 3.4 MiB: over three buffers
  const auto entries = static_cast<std::uint64_t>(ReferenceDecode(table).Count);
  const std::string bytes = Bytes(table);
  WriteFile("big.lang", bytes + "\x01");
  const RunResult decoded = Run({"d", "big.lang"});
  ASSERT_EQ(decoded.Status, 0);
  EXPECT_EQ(decoded.Out, DecodeOut(entries));
  std::remove(PathOf("big.lang").c_str());
  const RunResult encoded = Run({"e", "big.txt"});
  ASSERT_EQ(encoded.Status, 0);
  EXPECT_EQ(encoded.Out, EncodeOut(entries));
  EXPECT_TRUE(ReadFile("big.lang") == bytes) << "the table did not come back byte for byte";
}

TEST_F(RoundTrip, PathLongerThan259Characters) {
  std::string relative;
  for (int i = 0; i < 4; ++i) {
    relative += std::string(70, static_cast<char>('a' + i)) + "/";
    ASSERT_EQ(mkdir(PathOf(relative).c_str(), 0755), 0);
  }
  const std::string name = relative + "menu.lang";
  ASSERT_GT(name.size(), 259U);
  const std::string table = Bytes(Units{0x0001, 'a', 0, 0xFFFF});
  WriteFile(name, table);
  ASSERT_EQ(Run({"d", name}).Status, 0);
  std::remove(PathOf(name).c_str());
  ASSERT_EQ(Run({"e", relative + "menu.txt"}).Status, 0);
  EXPECT_EQ(ReadFile(name), table);
}

} // namespace
