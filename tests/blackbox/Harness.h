// Runs the built program as a user would, in a fresh folder per case, and captures what it prints.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using Units = std::vector<std::uint16_t>;

enum class StdoutKind { Pipe, Closed, BrokenPipe, File };

struct RunOptions {
  StdoutKind Stdout = StdoutKind::Pipe;
  std::string StdoutPath; // with StdoutKind::File
  bool CloseStdin = false;
  bool CloseStderr = false;
  bool AsUnprivilegedUser = false;      // run as "nobody", so permission checks bite even for root
  bool MergeStderr = false;             // standard error into the same pipe as standard output
  std::vector<std::string> Environment; // extra NAME=VALUE settings
  // Resource limits set for the run alone (0: none): file size and address space in bytes.
  std::uint64_t FileSizeLimit = 0;
  std::uint64_t AddressSpaceLimit = 0;
  std::uint64_t OpenFilesLimit = 0;
  std::vector<std::string> Command; // run instead of the program under test
};

// A program's exit status that carries what the program wrote on standard error, so that every
// assertion on a status shows why the program failed when it fails.
struct ExitStatus {
  int Value = -1;
  std::string Err;
  operator int() const { return Value; } // NOLINT(google-explicit-constructor): used as a number
  friend bool operator==(const ExitStatus& status, int value) { return status.Value == value; }
};
void PrintTo(const ExitStatus& status, std::ostream* out);

struct RunResult {
  ExitStatus Status;
  std::string Out;
  std::string Err;
};

// The command that runs the program under test, and the one that runs the checker, from the
// suite's configuration.
const std::vector<std::string>& ProgramCommand();
const std::vector<std::string>& CheckerCommand();
const std::vector<std::string>& PoCommand();

// Whether the program under test is the Windows build (run through Wine).
bool ProgramRunsOnWindows();

// Whether the command is the native program itself, with no tool (valgrind, Wine) around it and no
// sanitizer in it: only then do resource limits and /proc tell about the program alone.
bool ProgramRunsBare();

// Little-endian bytes of units, and back.
std::string Bytes(const Units& units);
std::string Bytes(std::u16string_view text);
Units UnitsOf(const std::string& bytes);

class BlackBox : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  RunResult Run(const std::vector<std::string>& arguments, const RunOptions& options = {});
  RunResult RunOnce(const std::vector<std::string>& arguments, const RunOptions& options);

  std::string PathOf(const std::string& name) const { return Dir + "/" + name; }
  void WriteFile(const std::string& name, const std::string& bytes) const;
  std::string ReadFile(const std::string& name) const;
  bool Exists(const std::string& name) const;

  std::string Dir;
};

// What the program prints before anything else.
extern const std::string Banner;
extern const std::string Usage;

// Checks a failure report on standard error and returns its message line; `className` receives
// the failure's class when asked for.
std::string ReportMessage(const std::string& err, std::string* className = nullptr);
