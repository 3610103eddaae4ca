// The entry point: banner, argument checks, dispatch, and the one place where a failure becomes
// the report and exit status 1.
#include "app/DecodeLang.h"
#include "app/EncodeText.h"
#include "console/CommandLine.h"
#include "console/Console.h"
#include "convert/OutputPath.h"
#include "io/FailureReport.h"
#include "io/RecordFile.h"
#include "platform/Platform.h"

#include <exception>
#include <new>

namespace {

void ShowUsage() {
  ConsoleWriteLine("Usage:");
  ConsoleWriteLine("   vorlanth_lang.exe e some.txt");
  ConsoleWriteLine("   vorlanth_lang.exe d some.lang");
}

int RunMain(const std::vector<std::string>& arguments) {
  ConsoleWriteLine("");
  ConsoleWriteLine("Vorlanth .lang <-> .txt converter.");
  ConsoleWriteLine("vorlanth_lang " VORLANTH_VERSION
                   ", free software under the MIT licence, with no warranty.");
  RecordFile input;
  if (arguments.size() < 2 || !OpenExisting(input, arguments[1])) {
    ShowUsage();
    return 0;
  }
  const std::string& inputPath = arguments[1];
  switch (arguments[0].front()) {
  case 'd':
    DecodeLang(input, ReplaceExtension(inputPath, ".txt"));
    break;
  case 'e':
    EncodeText(input, ReplaceExtension(inputPath, ".lang"));
    break;
  default:
    ShowUsage();
    break;
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  PlatformStartup();
  const std::string moduleName = PlatformProgramFileName(argc > 0 ? argv[0] : nullptr);
  try {
    return RunMain(ProgramArguments(argc, argv));
  } catch (const Exception& failure) {
    ReportFailure(failure, moduleName);
  } catch (const std::bad_alloc&) {
    ReportFailure(EOutOfMemory(CodeLocationOf(__FILE__, __LINE__)), moduleName);
  } catch (const std::exception& failure) {
    // Nothing else is expected to fail; if it does, it still ends in a report, never an abort.
    ReportFailure(Exception(failure.what(), CodeLocationOf(__FILE__, __LINE__)), moduleName);
  }
  return 1;
}
