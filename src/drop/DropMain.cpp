// vorlanth_drop: the target for files dropped in Explorer. Each .lang is decoded and each .txt,
// once the checker has passed it, encoded, by running the converter and the checker from this
// program's own folder. No command interpreter ever sees a file name: each name goes to the child
// as one quoted word of its command line.
//
// It plans before it writes: a file that one conversion would replace is never itself among the
// dropped files (a .lang and its .txt dropped together are both refused, whichever way round), and
// an output newer than the file it would be made from is kept as NAME.bak first.
#include "console/CommandLine.h"
#include "console/Console.h"
#include "console/Printable.h"
#include "console/Reporter.h"
#include "convert/OutputPath.h"
#include "io/InOutError.h"
#include "io/RecordFile.h"
#include "io/SafeOutput.h"
#include "platform/Platform.h"

#include <cstdint>
#include <map>
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
  std::uint64_t Pairs = 0;
  std::uint64_t Failed = 0;
  std::uint64_t Skipped = 0;
};

// What is to become of one dropped name.
struct Plan {
  std::string Name;
  std::string Output;
  bool Decode = false;
  std::string Skip;        // why it is skipped; empty when it is converted
  std::size_t Partner = 0; // with Paired: the other file of the pair
  bool Paired = false;     // refused: its output is another dropped file
  bool PairShown = false;  // the pair's line is printed once, at its first file
};

// Runs one of the programs beside this one; false (having said why) when it could not start.
bool RunBeside(const std::string& program, const std::vector<std::string>& arguments, int& status) {
  const std::string path = PlatformProgramFolder() + program;
  if (PlatformRunProgram(path, arguments, status)) {
    return true;
  }
  ConsoleWriteLine("   could not start " + Printable(path) + ": " +
                   OsErrorMessage(PlatformLastError()));
  return false;
}

// The identity of an existing file, by which two spellings of one file are one; empty when the
// name leads to no file that can be opened.
std::string FileIdOf(const std::string& path) {
  const FileHandle handle = PlatformOpenRead(path);
  if (handle == InvalidFileHandle) {
    return {};
  }
  std::string id;
  if (!PlatformFileId(handle, id)) {
    id.clear();
  }
  (void)PlatformClose(handle);
  return id;
}

std::vector<Plan> PlanAll(const std::vector<std::string>& names) {
  std::vector<Plan> plans(names.size());
  std::map<std::string, std::size_t> dropped; // file identity -> the first plan that names it
  for (std::size_t i = 0; i < names.size(); ++i) {
    Plan& plan = plans[i];
    plan.Name = names[i];
    plan.Decode = HasExtension(plan.Name, ".lang");
    if (!plan.Decode && !HasExtension(plan.Name, ".txt")) {
      plan.Skip = "not a .lang or .txt file";
    } else if (!PlatformIsExistingFile(plan.Name)) {
      plan.Skip = "not an existing file";
    } else {
      plan.Output = ReplaceExtension(plan.Name, plan.Decode ? ".txt" : ".lang");
      const std::string id = FileIdOf(plan.Name);
      if (!id.empty()) {
        dropped.emplace(id, i);
      }
    }
  }
  for (std::size_t i = 0; i < plans.size(); ++i) {
    Plan& plan = plans[i];
    if (!plan.Skip.empty() || plan.Paired) {
      continue;
    }
    const auto other = dropped.find(FileIdOf(plan.Output));
    if (other != dropped.end() && other->second != i) {
      plan.Paired = true;
      plan.Partner = other->second;
      plans[other->second].Paired = true;
      plans[other->second].Partner = i;
    }
  }
  return plans;
}

std::int64_t ModificationTimeOf(const std::string& path, bool& known) {
  known = false;
  const FileHandle handle = PlatformOpenRead(path);
  if (handle == InvalidFileHandle) {
    return 0;
  }
  std::int64_t seconds = 0;
  known = PlatformModificationTime(handle, seconds);
  (void)PlatformClose(handle);
  return seconds;
}

// Copies a file whole to a new name, written the safe way: the copy is complete or not there.
void CopyWhole(const std::string& from, const std::string& to) {
  RecordFile source;
  OpenInputFile(source, from);
  SafeOutput copy;
  const RecordFile* inputs[] = {&source};
  BeginSafeOutput(copy, to, inputs);
  for (std::span<const Unit> units = PeekRecords(source); !units.empty();
       units = PeekRecords(source)) {
    WriteRecords(copy.File, units.data(), units.size());
    SkipRecords(source, units.size());
  }
  if (source.DroppedByte) {
    WriteBytes(copy.File, std::string(1, static_cast<char>(source.DroppedByteValue)));
  }
  CommitSafeOutput(copy);
}

// Keeps an output that is newer than the file it is about to be made from (edited since): false
// (having said why) when it could not be kept, and so must not be replaced.
bool KeepNewerOutput(const Plan& plan) {
  bool inputKnown = false;
  bool outputKnown = false;
  const std::int64_t input = ModificationTimeOf(plan.Name, inputKnown);
  const std::int64_t output = ModificationTimeOf(plan.Output, outputKnown);
  if (!inputKnown || !outputKnown || output <= input) {
    return true;
  }
  const std::string backup = plan.Output + ".bak";
  try {
    CopyWhole(plan.Output, backup);
  } catch (const Exception& failure) {
    ConsoleWriteLine("   not converted: " + Printable(plan.Output) +
                     " is newer, and could not be kept as " + Printable(backup) + ": " +
                     FailureReason(failure));
    return false;
  }
  ConsoleWriteLine("   " + Printable(plan.Output) + " is newer than " + Printable(plan.Name) +
                   ": kept it as " + Printable(backup));
  return true;
}

void Convert(std::vector<Plan>& plans, std::size_t index, Tally& tally) {
  Plan& plan = plans[index];
  if (!plan.Skip.empty()) {
    ConsoleWriteLine("== " + Printable(plan.Name) + ": skipped, " + plan.Skip);
    ++tally.Skipped;
    return;
  }
  if (plan.Paired) {
    if (!plans[plan.Partner].PairShown) {
      plan.PairShown = true;
      ConsoleWriteLine("== " + Printable(plan.Name) + " and " +
                       Printable(plans[plan.Partner].Name) +
                       ": refused, dropped together: each would replace the other; drop only the "
                       "one to convert");
      ++tally.Pairs;
    }
    return;
  }
  ConsoleWriteLine("== " + Printable(plan.Name));
  int status = 0;
  if (!plan.Decode) {
    // The user who drops files sees no console otherwise: the check is their one safety net.
    // "--" keeps a name that starts with a dash a name.
    if (!RunBeside("vorlanth_check.exe", {"--", plan.Name}, status)) {
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
  if (!KeepNewerOutput(plan) ||
      !RunBeside("vorlanth_lang.exe", {plan.Decode ? "d" : "e", plan.Name}, status)) {
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
  std::vector<Plan> plans = PlanAll(names);
  Tally tally;
  for (std::size_t i = 0; i < plans.size(); ++i) {
    Convert(plans, i, tally);
  }
  ConsoleWriteLine("");
  ConsoleWriteLine(
      std::to_string(tally.Converted) + " converted, " + std::to_string(tally.Refused) +
      " refused by the check, " + Counted(tally.Pairs, "pair", "pairs") + " refused, " +
      std::to_string(tally.Failed) + " failed, " + std::to_string(tally.Skipped) + " skipped");
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
