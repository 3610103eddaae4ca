// Fails every file and console call of a whole conversion in turn, with each kind of fault, and
// checks that nothing is lost: the report and status, the input untouched, and an output that is
// a prefix of the right one holding at least everything produced before the failing call.
#include "Harness.h"

#include "MemoryUnits.h"
#include "convert/DecodeUnits.h"
#include "convert/EncodeUnits.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>

namespace {

struct Call {
  std::string Kind;
  bool Std = false;
  long Result = 0;
};

std::vector<Call> ReadLog(const std::string& path) {
  std::vector<Call> calls;
  std::ifstream log(path);
  std::string kind;
  std::string target;
  long result = 0;
  while (log >> kind >> target >> result) {
    calls.push_back({kind, target == "std", result});
  }
  return calls;
}

// What a conversion has produced once it has read `bytes` of its input and no more.
std::string ProducedFrom(bool decoding, const std::string& input, std::size_t bytes) {
  UnitVector units = UnitsOf(input.substr(0, bytes));
  MemorySink sink;
  if (decoding) {
    sink.Output.push_back(0xFEFF);
    MemorySource source{units};
    DecodeUnits(source, sink);
    return Bytes(sink.Output);
  }
  if (units.empty()) {
    return {}; // not even the byte-order mark was read
  }
  units.erase(units.begin());
  MemorySource source{units};
  // A prefix that ends inside an id field leaves what came before it; otherwise the end marker is
  // dropped, as it comes only at the real end of the input.
  if (!EncodeUnits(source, sink).IdFieldCutShort) {
    sink.Output.pop_back();
  }
  return Bytes(sink.Output);
}

struct Fault {
  const char* Name;
  int Errno; // 0: a short transfer
  const char* Message;
};

const Fault Faults[] = {
    {"EIO", EIO, "I/O error 5."},
    {"ENOSPC", ENOSPC, "I/O error 28."},
    {"EACCES", EACCES, "File access denied."},
    {"EBADF", EBADF, "I/O error 9."},
    {"EINTR", EINTR, nullptr},
    {"short", 0, nullptr},
};

class FaultSweep : public BlackBox {
protected:
  struct Direction {
    bool Decoding;
    std::string Input;
    std::string InputName;
    std::string OutputName;
  };

  // Sweeps every call of the conversion; returns the number of injection points.
  int Sweep(const Direction& d) {
    WriteFile(d.InputName, d.Input);
    const std::string mode = d.Decoding ? "d" : "e";
    RunOptions counting;
    counting.Environment = {"LD_PRELOAD=" FAULT_LIBRARY, "FAULT_LOG=" + PathOf("calls.log")};
    const RunResult clean = Run({mode, d.InputName}, counting);
    EXPECT_EQ(clean.Status, 0) << clean.Err;
    const std::string expected = ReadFile(d.OutputName);
    const std::vector<Call> calls = ReadLog(PathOf("calls.log"));
    EXPECT_GT(calls.size(), 10U) << "the fault library saw too few calls";
    std::map<std::string, int> kinds;
    for (const Call& call : calls) {
      ++kinds[call.Kind + (call.Std ? " std" : " data")];
    }
    std::cout << d.InputName << ":";
    for (const auto& [kind, count] : kinds) {
      std::cout << ' ' << count << ' ' << kind << ',';
    }
    std::cout << '\n';

    int points = 0;
    std::map<std::pair<std::string, bool>, long> seen;
    for (std::size_t index = 0; index < calls.size(); ++index) {
      const Call& call = calls[index];
      const long nth = ++seen[{call.Kind, call.Std}];
      std::size_t writtenBefore = 0;
      std::size_t readBefore = 0;
      for (std::size_t k = 0; k < index; ++k) {
        if (!calls[k].Std && calls[k].Kind == "write") {
          writtenBefore += static_cast<std::size_t>(calls[k].Result);
        }
        if (!calls[k].Std && calls[k].Kind == "read") {
          readBefore += static_cast<std::size_t>(calls[k].Result);
        }
      }
      ++points;
      for (const Fault& fault : Faults) {
        const bool transfer = call.Kind == "read" || call.Kind == "write";
        if (fault.Errno == 0 && !transfer) {
          continue;
        }
        const std::string where = d.InputName + ": " + call.Kind + (call.Std ? " std" : " data") +
                                  " call " + std::to_string(nth) + ", " + fault.Name;
        std::remove(PathOf(d.OutputName).c_str());
        WriteFile(d.InputName, d.Input);
        RunOptions options;
        options.MergeStderr = true;
        options.Environment = {"LD_PRELOAD=" FAULT_LIBRARY, "FAULT_KIND=" + call.Kind,
                               std::string("FAULT_TARGET=") + (call.Std ? "std" : "data"),
                               "FAULT_NTH=" + std::to_string(nth),
                               "FAULT_ERRNO=" + (fault.Errno == 0 ? std::string("short")
                                                                  : std::to_string(fault.Errno))};
        const RunResult r = Run({mode, d.InputName}, options);
        const std::string output = Exists(d.OutputName) ? ReadFile(d.OutputName) : "";
        EXPECT_EQ(ReadFile(d.InputName), d.Input) << where << ": the input changed";

        if (fault.Message == nullptr) {
          // Interrupted and short transfers are completed, not failures.
          EXPECT_EQ(r.Status, 0) << where;
          EXPECT_EQ(r.Out, clean.Out) << where;
          EXPECT_TRUE(output == expected) << where;
          continue;
        }
        if (call.Kind == "lookup") {
          // The input cannot be looked at: to the program it is not there.
          EXPECT_EQ(r.Status, 0) << where;
          EXPECT_EQ(r.Out, Banner + Usage) << where;
          EXPECT_FALSE(Exists(d.OutputName)) << where;
          continue;
        }
        EXPECT_EQ(r.Status, 1) << where;
        // Console text, then the report, and nothing after it.
        const std::size_t report = r.Out.find("Exception ");
        if (report == std::string::npos) {
          ADD_FAILURE() << where << ": no report in " << r.Out;
          continue;
        }
        EXPECT_EQ(clean.Out.substr(0, report), r.Out.substr(0, report)) << where;
        EXPECT_EQ(ReportMessage(r.Out.substr(report)), fault.Message) << where;

        EXPECT_TRUE(expected.compare(0, output.size(), output) == 0 &&
                    output.size() <= expected.size())
            << where << ": the output is not a prefix of the right one";
        EXPECT_GE(output.size(), writtenBefore) << where << ": written units were lost";
        if (call.Kind == "read" && !call.Std) {
          EXPECT_TRUE(output == ProducedFrom(d.Decoding, d.Input, readBefore))
              << where << ": units converted before the failed read were lost";
        }
      }
    }
    return points;
  }
};

// A little over three of the program's 1 MiB buffers.
std::string Table() {
  std::mt19937 random(99);
  return Bytes(WellFormedTable(random, 1700000, 200));
}

// The input is judged by the handle the program reads, never by a lookup of its name, which could
// be swapped between the look and the open: here every lookup claims a regular file.
TEST_F(FaultSweep, InputJudgedByItsHandle) {
  ASSERT_EQ(mkfifo(PathOf("t.lang").c_str(), 0644), 0);
  RunOptions lying;
  lying.Environment = {"LD_PRELOAD=" FAULT_LIBRARY, "FAULT_LOOKUP_SAYS_FILE=1"};
  const RunResult r = Run({"d", "t.lang"}, lying);
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, Banner + Usage);
  EXPECT_FALSE(Exists("t.txt"));
}

TEST_F(FaultSweep, Decoding) {
  if (ProgramRunsOnWindows()) {
    GTEST_SKIP() << "faults are injected through the POSIX loader";
  }
  const int points = Sweep({true, Table(), "t.lang", "t.txt"});
  std::cout << "decode: " << points << " injection points swept\n";
}

TEST_F(FaultSweep, Encoding) {
  if (ProgramRunsOnWindows()) {
    GTEST_SKIP() << "faults are injected through the POSIX loader";
  }
  // The dump of the same table, made by the in-memory decoder.
  const std::string table = Table();
  const std::string dump = ProducedFrom(true, table, table.size());
  const int points = Sweep({false, dump, "t.txt", "t.lang"});
  std::cout << "encode: " << points << " injection points swept\n";
}

} // namespace

namespace {

// The same sweep for the programs that write the safe way (the PO bridge) or write nothing (the
// checker): after any failure there is a message and a non-zero status, the output is as it was
// and no temporary file is left; a run that ends with status 0 made exactly the clean run's output.
class ProgramFaultSweep : public BlackBox {
protected:
  using Files = std::map<std::string, std::string>;

  struct Scenario {
    const char* Name;
    bool Po; // the PO bridge; otherwise the checker
    std::vector<std::string> Arguments;
    Files Inputs;       // written before every run
    std::string Output; // the file it writes; empty for none
  };

  Files Listing() const {
    Files files;
    for (const auto& entry : std::filesystem::directory_iterator(Dir)) {
      const std::string name = entry.path().filename().string();
      if (name != "calls.log") {
        files[name] = ReadFile(name);
      }
    }
    return files;
  }

  void Reset(const Scenario& s) {
    for (const auto& entry : std::filesystem::directory_iterator(Dir)) {
      std::filesystem::remove_all(entry.path());
    }
    for (const auto& [name, bytes] : s.Inputs) {
      WriteFile(name, bytes);
    }
  }

  int Sweep(const Scenario& s) {
    RunOptions counting;
    counting.Command = s.Po ? PoCommand() : CheckerCommand();
    counting.Environment = {"LD_PRELOAD=" FAULT_LIBRARY, "FAULT_LOG=" + PathOf("calls.log")};
    Reset(s);
    const Files before = Listing();
    const RunResult clean = Run(s.Arguments, counting);
    EXPECT_EQ(clean.Status, 0) << s.Name;
    const Files after = Listing();
    const std::vector<Call> calls = ReadLog(PathOf("calls.log"));
    int points = 0;
    std::map<std::pair<std::string, bool>, long> seen;
    for (const Call& call : calls) {
      const long nth = ++seen[{call.Kind, call.Std}];
      ++points;
      for (const Fault& fault : Faults) {
        const bool transfer = call.Kind == "read" || call.Kind == "write";
        if (fault.Errno == 0 && !transfer) {
          continue;
        }
        const std::string where = std::string(s.Name) + ": " + call.Kind +
                                  (call.Std ? " std" : " data") + " call " + std::to_string(nth) +
                                  ", " + fault.Name;
        Reset(s);
        RunOptions options = counting;
        options.Environment = {"LD_PRELOAD=" FAULT_LIBRARY, "FAULT_KIND=" + call.Kind,
                               std::string("FAULT_TARGET=") + (call.Std ? "std" : "data"),
                               "FAULT_NTH=" + std::to_string(nth),
                               "FAULT_ERRNO=" + (fault.Errno == 0 ? std::string("short")
                                                                  : std::to_string(fault.Errno))};
        const RunResult r = Run(s.Arguments, options);
        const Files now = Listing();
        if (r.Status == 0) {
          // A clean verdict: the whole output, and the same words.
          EXPECT_EQ(now, after) << where;
          EXPECT_EQ(r.Out, clean.Out) << where;
          continue;
        }
        EXPECT_EQ(now, before) << where << ": the output changed, or a temporary file was left";
        // Unless it was the standard error stream itself that failed, the run said why.
        if (!(call.Std && call.Kind == "write")) {
          EXPECT_FALSE(r.Err.empty()) << where;
        }
      }
    }
    return points;
  }
};

TEST_F(ProgramFaultSweep, PoBridgeAndChecker) {
  const std::string table =
      Bytes(Units{0x0001, 'N', 'e', 'w', 0, 0x0002, 'Q', 'u', 'i', 't', 0, 0xFFFF});
  const std::string dump = ProducedFrom(true, table, table.size());
  const std::string po = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                         "msgctxt \"0001\"\nmsgid \"New\"\nmsgstr \"Neu\"\n\n"
                         "msgctxt \"0009\"\nmsgid \"Gone\"\nmsgstr \"Weg\"\n";
  const std::vector<Scenario> scenarios = {
      {"export to a new file", true, {"export", "t.lang", "t.pot"}, {{"t.lang", table}}, "t.pot"},
      {"export over a file",
       true,
       {"export", "t.lang", "t.pot"},
       {{"t.lang", table}, {"t.pot", "old"}},
       "t.pot"},
      {"import with a warning",
       true,
       {"import", "t.lang", "t.po", "out.lang"},
       {{"t.lang", table}, {"t.po", po}, {"out.lang", "old"}},
       "out.lang"},
      {"check a dump", false, {"t.txt"}, {{"t.txt", dump}}, ""},
  };
  for (const Scenario& s : scenarios) {
    std::cout << s.Name << ": " << Sweep(s) << " injection points swept\n";
  }
}

} // namespace
