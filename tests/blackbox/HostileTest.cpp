// Inputs a converter meets in the wild: files that are not what their names say, files that
// change while they are read, odd names, and outputs that someone else holds open.
#include "Harness.h"
#include "MemoryUnits.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

const std::string Bom = "\xFF\xFE";

class Hostile : public BlackBox {};

TEST_F(Hostile, TableNamedAsADumpIsRefused) {
  const std::string table = Bytes(Units{0x0001, 'a', 0, 0xFFFF});
  WriteFile("t.txt", table);
  WriteFile("t.lang", "kept");
  const RunResult r = Run({"e", "t.txt"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Out.find("ERROR: Not UTF-16 LE"), std::string::npos);
  EXPECT_EQ(ReadFile("t.lang"), "kept");
  EXPECT_EQ(ReadFile("t.txt"), table);
}

TEST_F(Hostile, FfffUnitsInsideADump) {
  // As a text unit FFFF is copied like any other; in an id field it is no digit.
  WriteFile("t.txt", Bom + Bytes(Units{'0', '0', '0', '1', '=', 'a', 0xFFFF, 'b', 0x0A, 0xFFFF, '0',
                                       '0', '2', '=', 'c', 0x0A}));
  const RunResult r = Run({"e", "t.txt"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ReadFile("t.lang"), Bytes(Units{1, 'a', 0xFFFF, 'b', 0, 0x0002, 'c', 0, 0xFFFF}));
}

TEST_F(Hostile, OddNames) {
  const std::string table = Bytes(Units{0x0001, 'a', 0, 0xFFFF});
  std::vector<std::pair<std::string, std::string>> names = {
      {"-d.lang", "-d.txt"},
      {"  spaced  .lang", "  spaced  .txt"},
      {"a=b;c&d.lang", "a=b;c&d.txt"},
  };
  if (!ProgramRunsOnWindows()) {
    // Names Windows does not allow: a quote, a backslash, and bytes that are not UTF-8.
    names.emplace_back("say \"hi\".lang", "say \"hi\".txt");
    names.emplace_back("back\\slash.lang", "back\\slash.txt");
    names.emplace_back("\xFF\xFE.lang", "\xFF\xFE.txt");
  }
  for (const auto& [input, output] : names) {
    WriteFile(input, table);
    const RunResult r = Run({"d", input});
    EXPECT_EQ(r.Status, 0) << input << ": " << r.Err;
    EXPECT_EQ(ReadFile(output), Bom + Bytes(u"0001=a\n")) << input;
  }
}

TEST_F(Hostile, OutputHeldOpenByAnotherProcess) {
  WriteFile("t.lang", Bytes(Units{0x0001, 'a', 0, 0xFFFF}));
  WriteFile("t.txt", "old contents, longer than the new ones will be");
  const int holder = open(PathOf("t.txt").c_str(), O_RDWR);
  ASSERT_GE(holder, 0);
  const RunResult r = Run({"d", "t.lang"});
  close(holder);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ReadFile("t.txt"), Bom + Bytes(u"0001=a\n"));
}

// A pipe's reader that comes late: a program that also held the pipe open for reading would
// have put the dump in the pipe, claimed success and taken the dump with it when it ended.
TEST_F(Hostile, OutputIsAPipe) {
  const std::string dump = Bom + Bytes(u"0001=a\n");
  WriteFile("t.lang", Bytes(Units{0x0001, 'a', 0, 0xFFFF}));
  ASSERT_EQ(mkfifo(PathOf("t.txt").c_str(), 0644), 0);
  std::string received;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int fd = open(PathOf("t.txt").c_str(), O_RDONLY);
    char chunk[4096];
    for (ssize_t got = 0; (got = read(fd, chunk, sizeof chunk)) > 0;) {
      received.append(chunk, static_cast<std::size_t>(got));
    }
    close(fd);
    done = true;
  });
  const RunResult r = Run({"d", "t.lang"});
  while (!done) { // a reader still waiting for a writer is let go
    close(open(PathOf("t.txt").c_str(), O_WRONLY | O_NONBLOCK));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  reader.join();
  if (r.Status == 0) {
    EXPECT_EQ(received, dump) << "success claimed, but the dump did not reach the reader";
  } else {
    EXPECT_EQ(r.Status, 1);
    EXPECT_FALSE(ReportMessage(r.Err).empty());
  }
}

// A big table without its end marker, so that the conversion is still reading, and reads on into
// what is added, while another process changes the file.
std::string BigTable() {
  Units table;
  while (table.size() < 4'000'000) {
    table.push_back(static_cast<std::uint16_t>(table.size() % 0xFFFF));
    table.insert(table.end(), 40, 'x');
    table.push_back(0);
  }
  return Bytes(table);
}

// What a decoder that read some prefix of `content` must have written and counted: the
// conversion of exactly what it read. Encoding undoes decoding, so the dump gives back the units
// read; each must be the one at its place in `content`, or, where `cutsReadAsZeros`, a zero: a
// read that races with a truncation may see the cut part of the last page as zeros.
void ExpectConversionOfAPrefix(const std::string& content, const RunResult& r,
                               const std::string& dump, bool cutsReadAsZeros) {
  ASSERT_EQ(r.Status, 0) << r.Err;
  const Units original = UnitsOf(content);
  Units lines = UnitsOf(dump);
  ASSERT_FALSE(lines.empty());
  lines.erase(lines.begin()); // the byte-order mark
  Units read = ReferenceEncode(lines).Output;
  read.pop_back(); // the end marker the encoder adds
  ASSERT_TRUE(ReferenceDecode(read).Output == lines) << "the output is not a conversion at all";
  ASSERT_LE(read.size(), original.size());
  std::size_t wrong = 0;
  while (wrong < read.size() &&
         (read[wrong] == original[wrong] || (cutsReadAsZeros && read[wrong] == 0))) {
    ++wrong;
  }
  EXPECT_EQ(wrong, read.size()) << "unit " << wrong << " read is not the file's";
  EXPECT_NE(r.Out.find("Decoding... " + std::to_string(ReferenceDecode(read).Count) +
                       " line(s) parsed\r\n"),
            std::string::npos)
      << "the count does not match what was read: " << r.Out;
}

TEST_F(Hostile, InputGrowingWhileRead) {
  WriteFile("t.lang", BigTable());
  std::atomic<bool> done{false};
  std::thread writer([&] {
    const int fd = open(PathOf("t.lang").c_str(), O_WRONLY | O_APPEND);
    const std::string more = Bytes(Units{0x0042, 'm', 'o', 'r', 'e', 0});
    // Bounded, so that a reader that follows the growth still reaches an end.
    for (int i = 0; i < 20000 && !done; ++i) {
      if (write(fd, more.data(), more.size()) < 0) {
        break;
      }
    }
    close(fd);
  });
  const RunResult r = Run({"d", "t.lang"});
  done = true;
  writer.join();
  // Only added to at its end: what was read is a prefix of the file as it is now.
  ExpectConversionOfAPrefix(ReadFile("t.lang"), r, ReadFile("t.txt"), false);
}

TEST_F(Hostile, InputShrinkingWhileRead) {
  const std::string table = BigTable();
  WriteFile("t.lang", table);
  std::atomic<bool> done{false};
  std::thread cutter([&] {
    for (off_t size = 6'000'000; size >= 0 && !done; size -= 500'000) {
      if (truncate(PathOf("t.lang").c_str(), size) != 0) {
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const RunResult r = Run({"d", "t.lang"});
  done = true;
  cutter.join();
  // Only cut: what was read is a prefix of the file as it was.
  ExpectConversionOfAPrefix(table, r, ReadFile("t.txt"), true);
}

} // namespace
