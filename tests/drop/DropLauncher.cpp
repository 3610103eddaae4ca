// Starts a program with an exact command line, as Explorer starts a drop target: the file named by
// the one argument holds, in UTF-8, the program's full path on its first line and the whole
// command line on its second. Exits with the program's exit status (255 when it did not start).
#include <windows.h>

#include <fstream>
#include <string>

namespace {

std::wstring Widen(const std::string& text) {
  const int length = static_cast<int>(text.size());
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  wide.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), length)));
  return wide;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    return 255;
  }
  std::ifstream file(argv[1], std::ios::binary);
  std::string application;
  std::string commandLine;
  if (!std::getline(file, application) || !std::getline(file, commandLine)) {
    return 255;
  }
  std::wstring line = Widen(commandLine);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(Widen(application).c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     nullptr, &startup, &process) == 0) {
    return 255;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 255;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return static_cast<int>(status);
}
