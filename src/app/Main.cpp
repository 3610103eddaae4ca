// The entry point: banner, argument checks, dispatch, and the one place where a failure becomes
// the report and exit status 1.
#include "app/CommandLine.h"
#include "app/Console.h"
#include "app/OutputPath.h"
#include "convert/DecodeLang.h"
#include "convert/EncodeText.h"
#include "io/FailureReport.h"
#include "platform/Platform.h"

namespace {

void ShowUsage() {
  ConsoleWriteLine("Usage:");
  ConsoleWriteLine("   vorlanth_lang.exe e some.txt");
  ConsoleWriteLine("   vorlanth_lang.exe d some.lang");
}

int RunMain(const std::vector<std::string>& arguments) {
  ConsoleWriteLine("");
  ConsoleWriteLine("Vorlanth .lang <-> .txt converter.");
  ConsoleWriteLine("Free software under the MIT licence, with no warranty.");
  if (arguments.size() < 2 || !PlatformIsExistingFile(arguments[1])) {
    ShowUsage();
    return 0;
  }
  const std::string& inputPath = arguments[1];
  switch (arguments[0].front()) {
  case 'd':
    DecodeLang(inputPath, ReplaceExtension(inputPath, ".txt"));
    break;
  case 'e':
    EncodeText(inputPath, ReplaceExtension(inputPath, ".lang"));
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
    return 1;
  }
}
