// vorlanth_drop: the target for files dropped in Explorer. Each .lang is decoded and each .txt,
// once the checker has passed it, encoded, by running the converter and the checker from this
// program's own folder. No command interpreter ever sees a file name: each name goes to the child
// as one quoted word of its command line.
#include "console/CommandLine.h"
#include "console/Console.h"
#include "io/InOutError.h"
#include "platform/Platform.h"

#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The checker's exit status when it found an error (2 means it could not read the file).
constexpr int CheckFoundErrors = 1;

struct Tally {
  std::uint64_t Converted = 0;
  std::uint64_t Refused = 0;
  std::uint64_t Failed = 0;
  std::uint64_t Skipped = 0;
};

// Runs one of the programs beside this one; false (having said why) when it could not start.
bool RunBeside(const std::string& program, const std::vector<std::string>& arguments, int& status) {
  const std::string path = PlatformProgramFolder() + program;
  if (PlatformRunProgram(path, arguments, status)) {
    return true;
  }
  ConsoleWriteLine("   could not start " + path + ": " + OsErrorMessage(PlatformLastError()));
  return false;
}

void Convert(const std::string& name, Tally& tally) {
  const bool decode = HasExtension(name, ".lang");
  if (!decode && !HasExtension(name, ".txt")) {
    ConsoleWriteLine("== " + name + ": skipped, not a .lang or .txt file");
    ++tally.Skipped;
    return;
  }
  if (!PlatformIsExistingFile(name)) {
    ConsoleWriteLine("== " + name + ": skipped, not an existing file");
    ++tally.Skipped;
    return;
  }
  ConsoleWriteLine("== " + name);
  int status = 0;
  if (!decode) {
    // The user who drops files sees no console otherwise: the check is their one safety net.
    // "--" keeps a name that starts with a dash a name.
    if (!RunBeside("vorlanth_check.exe", {"--", name}, status)) {
      ++tally.Failed;
      return;
    }
    if (status == CheckFoundErrors) {
      ConsoleWriteLine("   not encoded: the check found errors in it");
      ++tally.Refused;
      return;
    }
    if (status != 0) {
      ++tally.Failed;
      return;
    }
  }
  if (!RunBeside("vorlanth_lang.exe", {decode ? "d" : "e", name}, status)) {
    ++tally.Failed;
    return;
  }
  ++(status == 0 ? tally.Converted : tally.Failed);
}

int Run(const std::vector<std::string>& names) {
  PlatformUseUtf8Console();
  if (names.empty()) {
    ConsoleWriteLine("Drop .lang and .txt files onto vorlanth_drop.exe: each .lang is decoded, and "
                     "each .txt is checked and encoded, beside it.");
    return 0;
  }
  Tally tally;
  for (const std::string& name : names) {
    Convert(name, tally);
  }
  ConsoleWriteLine("");
  ConsoleWriteLine(std::to_string(tally.Converted) + " converted, " +
                   std::to_string(tally.Refused) + " refused by the check, " +
                   std::to_string(tally.Failed) + " failed, " + std::to_string(tally.Skipped) +
                   " skipped");
  return tally.Converted == names.size() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
  PlatformStartup();
  int status = 1;
  try {
    status = Run(ProgramArguments(argc, argv));
  } catch (const Exception& failure) {
    const std::string text = "vorlanth_drop: " + failure.Message + "\r\n";
    (void)PlatformStdWrite(StdStream::Error, text.data(), text.size());
  } catch (const std::bad_alloc&) {
    constexpr std::string_view text = "vorlanth_drop: Out of memory\r\n";
    (void)PlatformStdWrite(StdStream::Error, text.data(), text.size());
  }
  if (PlatformConsoleClosesWithProgram()) {
    // Started by dropping files onto it: keep what the runs printed on the screen.
    constexpr std::string_view text = "\r\nPress Enter to close this window.";
    (void)PlatformStdWrite(StdStream::Output, text.data(), text.size());
    PlatformWaitForEnter();
  }
  return status;
}
