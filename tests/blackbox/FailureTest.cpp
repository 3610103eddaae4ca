// Runs that must fail: the report, the exit status, and what is left on disk.
#include "Harness.h"
#include "MemoryUnits.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <thread>

namespace {

const std::string Bom = "\xFF\xFE";
const std::string Table = Bytes(Units{0x0001, 'a', 0, 0xFFFF});
const std::string Dump = Bom + Bytes(u"0001=a\n");
const std::string Refusal =
    "Initializing...ERROR: The output file is the input file. Nothing was changed.\r\n";

class Failures : public BlackBox {};

TEST_F(Failures, DumpWithoutByteOrderMarkLeavesTheTableAlone) {
  for (const std::string& dump : {Bytes(u"0001=a\n"), std::string("\xFE\xFF\x30\x00", 4)}) {
    WriteFile("t.txt", dump);
    WriteFile("t.lang", "precious");
    const RunResult r = Run({"e", "t.txt"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, Banner + "Initializing...ERROR: Not UTF-16 LE (or headerless) encoding. "
                              "Reencode then try again.\r\n");
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(ReadFile("t.lang"), "precious");
  }
}

TEST_F(Failures, DumpTooShortForItsByteOrderMark) {
  std::vector<std::string> reports;
  for (const std::string dump : {"", "\xFF"}) {
    WriteFile("t.txt", dump);
    const RunResult r = Run({"e", "t.txt"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, Banner + "Initializing...");
    EXPECT_EQ(ReportMessage(r.Err), "Read beyond end of file.");
    EXPECT_FALSE(Exists("t.lang"));
    reports.push_back(r.Err);
  }
  // The same failure at the same place reports the same code location.
  EXPECT_EQ(reports[0], reports[1]);
}

TEST_F(Failures, ShortTrailingLineKeepsEarlierEntries) {
  WriteFile("t.txt", Bom + Bytes(u"0001=a\n0002=b\n00F"));
  const RunResult r = Run({"e", "t.txt"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, Banner + "Initializing... done\r\nEncoding...");
  EXPECT_EQ(ReportMessage(r.Err), "Read beyond end of file.");
  EXPECT_EQ(ReadFile("t.lang"), Bytes(Units{1, 'a', 0, 2, 'b', 0}));
}

TEST_F(Failures, OutputPathIsADirectory) {
  WriteFile("t.lang", Table);
  ASSERT_EQ(mkdir(PathOf("t.txt").c_str(), 0755), 0);
  const RunResult r = Run({"d", "t.lang"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, Banner + "Initializing...");
  EXPECT_EQ(ReportMessage(r.Err), "File access denied.");
}

// The system's own code for a full disk: ENOSPC, or ERROR_DISK_FULL on Windows.
std::string DiskFullMessage() {
  return ProgramRunsOnWindows() ? "I/O error 112." : "I/O error 28.";
}

TEST_F(Failures, OutputThroughALinkToAFullDisk) {
  WriteFile("t.lang", Table);
  ASSERT_EQ(symlink("/dev/full", PathOf("t.txt").c_str()), 0);
  const RunResult r = Run({"d", "t.lang"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, Banner + "Initializing... done\r\nDecoding...");
  EXPECT_EQ(ReportMessage(r.Err), DiskFullMessage());
  EXPECT_EQ(ReadFile("t.lang"), Table);
}

TEST_F(Failures, OutputRefusedWhenItIsTheInput) {
  WriteFile("real.lang", Table);
  ASSERT_EQ(link(PathOf("real.lang").c_str(), PathOf("hard.txt").c_str()), 0);
  ASSERT_EQ(symlink("real.lang", PathOf("soft.txt").c_str()), 0);
  WriteFile("same.txt", Dump);
  WriteFile("same.lang", Dump); // a dump under the table's name, so it passes the BOM check
  struct Case {
    const char* Name;
    std::vector<std::string> Args;
    const char* Input;
    const std::string& Bytes;
  };
  const Case cases[] = {
      {"decoding a .txt", {"d", "same.txt"}, "same.txt", Dump},
      {"encoding a .lang", {"e", "same.lang"}, "same.lang", Dump},
      {"output is a hard link to the input", {"d", "hard.txt"}, "real.lang", Table},
      {"output is a symbolic link to the input", {"d", "soft.txt"}, "real.lang", Table},
      {"another spelling of the input", {"d", "./same.txt"}, "same.txt", Dump},
  };
  for (const Case& c : cases) {
    const RunResult r = Run(c.Args);
    EXPECT_EQ(r.Status, 1) << c.Name;
    EXPECT_EQ(r.Out, Banner + Refusal) << c.Name;
    EXPECT_EQ(r.Err, "") << c.Name;
    EXPECT_EQ(ReadFile(c.Input), c.Bytes) << c.Name << ": the input changed";
  }
}

TEST_F(Failures, SymbolicLinkInputToItsOwnOutput) {
  // link.txt points at real.lang; decoding real.lang writes real.txt, a different file: allowed.
  // Decoding through link.lang, whose output link.txt is the same file as the input, is not.
  WriteFile("real.lang", Table);
  ASSERT_EQ(symlink("real.lang", PathOf("link.lang").c_str()), 0);
  ASSERT_EQ(symlink("real.lang", PathOf("link.txt").c_str()), 0);
  const RunResult r = Run({"d", "link.lang"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, Banner + Refusal);
  EXPECT_EQ(ReadFile("real.lang"), Table);
}

TEST_F(Failures, NameTooLongForTheSystem) {
  const std::string input = std::string(251, 'n') + ".txt"; // 255 characters: the most allowed
  WriteFile(input, Dump);
  const RunResult r = Run({"e", input});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, Banner + "Initializing...");
  const std::string message = ReportMessage(r.Err);
  if (ProgramRunsOnWindows()) {
    // Windows (and Wine in its place) names the fault in its own way.
    EXPECT_TRUE(message == "Invalid filename." || message == "File not found." ||
                message == "I/O error 206.")
        << message;
  } else {
    EXPECT_EQ(message, "Invalid filename.");
  }
  EXPECT_EQ(ReadFile(input), Dump);
}

TEST_F(Failures, PermissionsBiteEvenWhenRunByRoot) {
  if (ProgramRunsOnWindows()) {
    GTEST_SKIP() << "Wine refuses to run in a prefix that belongs to another user";
  }
  ASSERT_EQ(chmod(Dir.c_str(), 0777), 0);
  RunOptions asNobody;
  asNobody.AsUnprivilegedUser = true;

  WriteFile("t.lang", Table);
  WriteFile("t.txt", "kept");
  ASSERT_EQ(chmod(PathOf("t.lang").c_str(), 0444), 0);
  ASSERT_EQ(chmod(PathOf("t.txt").c_str(), 0444), 0);
  RunResult r = Run({"d", "t.lang"}, asNobody);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(ReportMessage(r.Err), "File access denied.");
  EXPECT_EQ(ReadFile("t.txt"), "kept");

  ASSERT_EQ(mkdir(PathOf("locked").c_str(), 0755), 0); // owned by root: nobody cannot add files
  WriteFile("locked/u.lang", Table);
  r = Run({"d", "locked/u.lang"}, asNobody);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(ReportMessage(r.Err), "File access denied.");
  EXPECT_FALSE(Exists("locked/u.txt"));

  WriteFile("secret.lang", Table);
  ASSERT_EQ(chmod(PathOf("secret.lang").c_str(), 0200), 0);
  r = Run({"d", "secret.lang"}, asNobody);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, Banner + "Initializing...");
  EXPECT_EQ(ReportMessage(r.Err), "File access denied.");
}

TEST_F(Failures, FileSizeLimit) {
  if (!ProgramRunsBare()) {
    GTEST_SKIP() << "a file-size limit is a POSIX resource limit, and tools around the program "
                    "write files of their own";
  }
  std::mt19937 random(3);
  const UnitVector table = WellFormedTable(random, 200000, 80);
  UnitVector dump = ReferenceDecode(table).Output;
  dump.insert(dump.begin(), 0xFEFF);
  WriteFile("t.lang", Bytes(table));
  RunOptions limited;
  limited.FileSizeLimit = 100 * 1024;
  const RunResult r = Run({"d", "t.lang"}, limited);
  EXPECT_EQ(r.Status, 1) << "killed by a signal instead of reporting";
  EXPECT_EQ(ReportMessage(r.Err), "I/O error 27.");
  EXPECT_TRUE(ReadFile("t.txt") == Bytes(dump).substr(0, limited.FileSizeLimit))
      << "the output does not hold exactly what fitted";
}

TEST_F(Failures, TooLittleMemory) {
  if (!ProgramRunsBare()) {
    GTEST_SKIP() << "an address-space limit would bind the sanitizer, valgrind or Wine first";
  }
  // Raises the limit step by step until the conversion succeeds: every run before that either
  // fails to start at all, or ends in a report with the old output untouched.
  WriteFile("t.lang", Table);
  int outOfMemory = 0;
  bool succeeded = false;
  for (std::uint64_t limit = 1 << 20; limit < (std::uint64_t{256} << 20) && !succeeded;
       limit += 64 << 10) {
    WriteFile("t.txt", "kept");
    RunOptions limited;
    limited.AddressSpaceLimit = limit;
    const RunResult r = Run({"d", "t.lang"}, limited);
    if (r.Out.empty() && r.Err.find("Exception ") == std::string::npos) {
      continue; // the loader could not map the program: it never ran
    }
    const std::string at = "limit " + std::to_string(limit >> 10) + " KiB";
    if (r.Status == 0) {
      EXPECT_EQ(ReadFile("t.txt"), Dump) << at;
      succeeded = true;
      continue;
    }
    ASSERT_EQ(r.Status, 1) << at << ": " << r.Err;
    std::string failure;
    ReportMessage(r.Err, &failure);
    if (failure == "EOutOfMemory") {
      ++outOfMemory;
      EXPECT_EQ(ReadFile("t.txt"), "kept") << at << ": the output changed before memory ran out";
    }
  }
  EXPECT_TRUE(succeeded);
  EXPECT_GT(outOfMemory, 0) << "no limit made memory run out after the program started";
}

class ConsoleFailures : public BlackBox {};

TEST_F(ConsoleFailures, NoDescriptorLeftAboveTheStandardStreams) {
  if (!ProgramRunsBare()) {
    GTEST_SKIP() << "descriptor limits are POSIX's, and tools around the program need their own";
  }
  WriteFile("t.lang", Table);
  RunOptions tight;
  tight.CloseStdin = true;
  tight.OpenFilesLimit = 3;
  const RunResult r = Run({"d", "t.lang"}, tight);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, Banner + "Initializing...");
  EXPECT_EQ(ReportMessage(r.Err), "Too many open files.");
}

TEST_F(ConsoleFailures, ReportNamesAProgramDeletedWhileItRuns) {
  if (!ProgramRunsBare()) {
    GTEST_SKIP() << "the program must run as its own file, not inside a tool";
  }
  ASSERT_TRUE(std::filesystem::copy_file(ProgramCommand().front(), PathOf("vlx")));
  std::mt19937 random(4);
  WriteFile("t.lang", Bytes(WellFormedTable(random, 100000, 60))); // more than a pipe holds
  ASSERT_EQ(mkfifo(PathOf("t.txt").c_str(), 0644), 0);
  std::thread remover([&] {
    // Once the program holds the pipe it is running: delete it, then leave it no reader.
    const int fd = open(PathOf("t.txt").c_str(), O_RDONLY);
    std::filesystem::remove(PathOf("vlx"));
    close(fd);
  });
  RunOptions copy;
  copy.Command = {PathOf("vlx")};
  const RunResult r = Run({"d", "t.lang"}, copy);
  remover.join();
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err.substr(0, 36), "Exception EInOutError in module vlx ") << r.Err;
}

TEST_F(ConsoleFailures, StandardOutputToAFullDisk) {
  WriteFile("t.lang", Table);
  RunOptions full;
  full.Stdout = StdoutKind::File;
  full.StdoutPath = "/dev/full";
  const RunResult r = Run({"d", "t.lang"}, full);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(ReportMessage(r.Err), DiskFullMessage());
  EXPECT_FALSE(Exists("t.txt")) << "nothing runs after the banner fails";
}

TEST_F(ConsoleFailures, StandardOutputClosed) {
  if (ProgramRunsOnWindows()) {
    GTEST_SKIP() << "Wine does not start a program with a closed standard stream: it substitutes "
                    "one of its own, so the fault cannot be staged";
  }
  WriteFile("t.lang", Table);
  RunOptions closed;
  closed.Stdout = StdoutKind::Closed;
  closed.CloseStdin = true;
  const RunResult r = Run({"d", "t.lang"}, closed);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(ReportMessage(r.Err), "I/O error 105.");
  EXPECT_FALSE(Exists("t.txt"));
}

TEST_F(ConsoleFailures, ClosedPipeIsAReportNotASignal) {
  WriteFile("t.lang", Table);
  RunOptions broken;
  broken.Stdout = StdoutKind::BrokenPipe;
  const RunResult r = Run({"d", "t.lang"}, broken);
  EXPECT_EQ(r.Status, 1);
  const std::string message = ReportMessage(r.Err);
  // EPIPE natively; ERROR_BROKEN_PIPE, ERROR_NO_DATA or ERROR_PIPE_NOT_CONNECTED from Windows.
  EXPECT_TRUE(message == "I/O error 32." || message == "I/O error 109." ||
              message == "I/O error 232." || message == "I/O error 233.")
      << message;
}

TEST_F(ConsoleFailures, ClosedStandardStreamsNeverReceiveData) {
  if (ProgramRunsOnWindows()) {
    GTEST_SKIP() << "Wine substitutes closed standard streams and then loses the exit status; "
                    "Windows handles are never small numbers a data file could take anyway";
  }
  // With standard input and error closed, the files must not take their descriptors: the
  // conversion's data goes to the files and nothing else does.
  WriteFile("t.lang", Table);
  RunOptions closed;
  closed.CloseStdin = true;
  closed.CloseStderr = true;
  RunResult r = Run({"d", "t.lang"}, closed);
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(ReadFile("t.txt"), Dump);

  // A failure after the files are open, with nowhere to report it: status 1, and the report
  // must not have gone into the table through a borrowed descriptor.
  WriteFile("s.txt", Bom + Bytes(u"0001=a\n00"));
  r = Run({"e", "s.txt"}, closed);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(ReadFile("s.lang"), Bytes(Units{1, 'a', 0}));
}

} // namespace
