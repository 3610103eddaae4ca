// Win32 implementation of the platform seam. Paths are UTF-8 inside the program and UTF-16 at the
// system's wide functions, so a name outside the system's code page still opens.
#include "platform/Platform.h"

#include "platform/DeviceName.h"
#include "platform/ExtendedPath.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

thread_local int LastError = 0;

bool Fail() {
  LastError = static_cast<int>(GetLastError());
  return false;
}

// A FileHandle holds a HANDLE's bits unchanged.
static_assert(sizeof(FileHandle) == sizeof(HANDLE));

HANDLE AsHandle(FileHandle handle) {
  return std::bit_cast<HANDLE>(handle);
}

FileHandle FromHandle(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) {
    Fail();
    return InvalidFileHandle;
  }
  return std::bit_cast<FileHandle>(handle);
}

// 8-bit text in a code page (UTF-8 unless said otherwise) as UTF-16; empty if it cannot be read.
std::wstring Widen(std::string_view text, UINT codePage = CP_UTF8) {
  if (text.empty()) {
    return {};
  }
  const int length = static_cast<int>(text.size());
  const int wide = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  std::wstring result(static_cast<std::size_t>(wide), L'\0');
  if (wide == 0 ||
      MultiByteToWideChar(codePage, 0, text.data(), length, result.data(), wide) == 0) {
    return {};
  }
  return result;
}

// A path as the wide functions take it: UTF-16, and, when it is longer than the classic limit,
// made full and extended (\\?\...), so that deep mod folders open too. The program declares
// itself long-path aware in its manifest as well, for systems that allow that.
std::wstring SystemPath(const std::string& path) {
  std::wstring wide = Widen(path);
  const DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (length == 0) {
    return wide; // let the call that uses it fail with the system's own reason
  }
  std::wstring full(length, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), length, full.data(), nullptr);
  if (written == 0 || written >= length) {
    return wide;
  }
  full.resize(written);
  // Within the limit the path goes to the system as it was given.
  return full.size() <= ClassicPathLimit ? wide : ExtendedPath(full);
}

// UTF-16 text in a code page (UTF-8 unless said otherwise); empty if it cannot be written so.
std::string Narrow(std::wstring_view text, UINT codePage = CP_UTF8) {
  if (text.empty()) {
    return {};
  }
  const int length = static_cast<int>(text.size());
  const int bytes =
      WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(bytes), '\0');
  if (bytes == 0 || WideCharToMultiByte(codePage, 0, text.data(), length, result.data(), bytes,
                                        nullptr, nullptr) == 0) {
    return {};
  }
  return result;
}

HANDLE StdHandle(StdStream stream) {
  return GetStdHandle(stream == StdStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

// One WriteFile call moves at most this much, so that a count always fits its DWORD.
constexpr std::size_t MaxTransfer = std::size_t{1} << 30;

std::int64_t WriteAll(HANDLE handle, const void* buffer, std::size_t count) {
  const auto* bytes = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const std::size_t part = count - done < MaxTransfer ? count - done : MaxTransfer;
    DWORD put = 0;
    if (WriteFile(handle, bytes + done, static_cast<DWORD>(part), &put, nullptr) == 0) {
      Fail();
      return done == 0 ? -1 : static_cast<std::int64_t>(done);
    }
    if (put == 0) {
      LastError = 0;
      return static_cast<std::int64_t>(done);
    }
    done += put;
  }
  return static_cast<std::int64_t>(done);
}

} // namespace

void PlatformStartup() {
  // A missing floppy or an unready drive must fail the call, not open a dialog box.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

bool PlatformCommandLine(std::string& line) {
  line = Narrow(GetCommandLineW());
  return true;
}

// Unlike paths, which are UTF-8 inside the program, the module name is read in the ANSI code page:
// it only ever goes into the failure report, which PlatformToOem converts from ANSI for the
// console.
std::string PlatformProgramFileName(const char* /*argv0*/) {
  char name[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, name, MAX_PATH);
  std::string path(name, length);
  const std::size_t separator = path.find_last_of("\\/:");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

bool PlatformIsExistingFile(const std::string& path) {
  const std::wstring wide = SystemPath(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return false;
  }
  // Device names such as CON or NUL answer to GetFileAttributes too: only a file on a disk counts.
  // A file that is there but refused (no access, or locked by another program) is still a file:
  // the conversion then reports why it cannot be read.
  HANDLE handle =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION;
  }
  const bool onDisk = GetFileType(handle) == FILE_TYPE_DISK;
  CloseHandle(handle);
  return onDisk;
}

FileHandle PlatformOpenRead(const std::string& path) {
  return FromHandle(CreateFileW(SystemPath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

bool PlatformIsRegularFile(FileHandle handle, bool& regular) {
  SetLastError(NO_ERROR);
  const DWORD type = GetFileType(AsHandle(handle));
  if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) {
    return Fail();
  }
  regular = false;
  if (type != FILE_TYPE_DISK) {
    return true;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(AsHandle(handle), &info) == 0) {
    return Fail();
  }
  regular = (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
  return true;
}

FileHandle PlatformOpenWrite(const std::string& path) {
  // Attributes are read for the same-file check; the data is never read.
  HANDLE handle = CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  // A pipe is refused: where its other end is not another program's (a Unix FIFO under Wine, for
  // one), what is written may vanish while the run reports success.
  if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_PIPE) {
    CloseHandle(handle);
    LastError = ERROR_BAD_PIPE;
    return InvalidFileHandle;
  }
  return FromHandle(handle);
}

bool PlatformTruncate(FileHandle handle) {
  if (GetFileType(AsHandle(handle)) != FILE_TYPE_DISK) {
    return true;
  }
  LARGE_INTEGER size{};
  if (GetFileSizeEx(AsHandle(handle), &size) == 0) {
    return Fail();
  }
  if (size.QuadPart == 0) {
    return true; // just created: nothing to cut
  }
  LARGE_INTEGER start{};
  return (SetFilePointerEx(AsHandle(handle), start, nullptr, FILE_BEGIN) != 0 &&
          SetEndOfFile(AsHandle(handle)) != 0) ||
         Fail();
}

bool PlatformSameFile(FileHandle first, FileHandle second, bool& same) {
  // A device has no file index to compare, and is never the same as a file on a disk.
  if (GetFileType(AsHandle(first)) != FILE_TYPE_DISK ||
      GetFileType(AsHandle(second)) != FILE_TYPE_DISK) {
    same = false;
    return true;
  }
  // The 128-bit file id where the system has one (ReFS needs all of it); the 64-bit file index
  // otherwise. Both handles are compared the same way, so neither two files are taken for one nor
  // one file for two.
  FILE_ID_INFO firstId{};
  FILE_ID_INFO secondId{};
  if (GetFileInformationByHandleEx(AsHandle(first), FileIdInfo, &firstId, sizeof firstId) != 0 &&
      GetFileInformationByHandleEx(AsHandle(second), FileIdInfo, &secondId, sizeof secondId) != 0) {
    same = firstId.VolumeSerialNumber == secondId.VolumeSerialNumber &&
           std::memcmp(&firstId.FileId, &secondId.FileId, sizeof firstId.FileId) == 0;
    return true;
  }
  BY_HANDLE_FILE_INFORMATION a{};
  BY_HANDLE_FILE_INFORMATION b{};
  if (GetFileInformationByHandle(AsHandle(first), &a) == 0 ||
      GetFileInformationByHandle(AsHandle(second), &b) == 0) {
    return Fail();
  }
  same = a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
  return true;
}

std::int64_t PlatformRead(FileHandle handle, void* buffer, std::size_t count) {
  const std::size_t part = count < MaxTransfer ? count : MaxTransfer;
  DWORD got = 0;
  if (ReadFile(AsHandle(handle), buffer, static_cast<DWORD>(part), &got, nullptr) == 0) {
    Fail();
    return -1;
  }
  return got;
}

std::int64_t PlatformReadAt(FileHandle handle, void* buffer, std::size_t count,
                            std::uint64_t offset) {
  const std::size_t part = count < MaxTransfer ? count : MaxTransfer;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (ReadFile(AsHandle(handle), buffer, static_cast<DWORD>(part), &got, &at) == 0) {
    if (GetLastError() == ERROR_HANDLE_EOF) {
      return 0;
    }
    Fail();
    return -1;
  }
  return got;
}

std::int64_t PlatformWrite(FileHandle handle, const void* buffer, std::size_t count) {
  return WriteAll(AsHandle(handle), buffer, count);
}

bool PlatformClose(FileHandle handle) {
  return CloseHandle(AsHandle(handle)) != 0 || Fail();
}

int PlatformLastError() {
  return LastError;
}

int PlatformErrorRow(int osCode) {
  // The table's rows are Windows' own codes.
  return osCode >= 2 && osCode <= 5 ? osCode : 0;
}

bool PlatformStdStreamUsable(StdStream stream) {
  HANDLE handle = StdHandle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  // FILE_TYPE_UNKNOWN is also the answer of a call that failed; only a handle whose kind is
  // really unknown is unusable. Any other trouble shows in the write itself, with its own code.
  SetLastError(NO_ERROR);
  return GetFileType(handle) != FILE_TYPE_UNKNOWN || GetLastError() != NO_ERROR;
}

bool PlatformStdWrite(StdStream stream, const char* text, std::size_t length) {
  return WriteAll(StdHandle(stream), text, length) == static_cast<std::int64_t>(length);
}

std::string PlatformToOem(const std::string& text) {
  // The report's 8-bit text is in the system's ANSI code page (its module name comes from
  // GetModuleFileNameA). Converted through UTF-16 with kernel32 alone: the program then never
  // loads user32, which would tie its start to the window station and the desktop.
  std::string oem = Narrow(Widen(text, CP_ACP), CP_OEMCP);
  return oem.empty() ? text : oem;
}

std::vector<std::string> PlatformExpandArgument(const std::string& argument) {
  if (argument.find_first_of("*?") == std::string::npos) {
    return {argument};
  }
  const std::size_t separator = argument.find_last_of("\\/:");
  const std::string folder =
      separator == std::string::npos ? "" : argument.substr(0, separator + 1);
  std::vector<std::string> names;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileExW(Widen(argument).c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        names.push_back(folder + Narrow(found.cFileName));
      }
    } while (FindNextFileW(search, &found) != 0);
    FindClose(search);
  }
  std::sort(names.begin(), names.end());
  if (names.empty()) {
    names.push_back(argument);
  }
  return names;
}

bool PlatformConsoleClosesWithProgram() {
  // The console lists only this process when nothing started it from a command prompt.
  DWORD processes[2] = {};
  return GetConsoleProcessList(processes, 2) == 1;
}

void PlatformWaitForEnter() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char c = 0;
  DWORD got = 0;
  while (ReadFile(input, &c, 1, &got, nullptr) != 0 && got == 1 && c != '\n') {
  }
}

std::string PlatformProgramFolder() {
  // The path may be longer than MAX_PATH: grow until it fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return {};
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return Narrow(path.substr(0, path.find_last_of(L"\\/") + 1));
}

bool PlatformRunProgram(const std::string& program, const std::vector<std::string>& arguments,
                        int& status) {
  // Every word is quoted, and nothing in it is special to SplitCommandLine but the quote itself,
  // which no Windows file name can hold: a word holding one is refused rather than split.
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::wstring commandLine;
  for (const std::string& word : words) {
    if (word.find('"') != std::string::npos) {
      LastError = ERROR_INVALID_NAME;
      return false;
    }
    commandLine += (commandLine.empty() ? L"\"" : L" \"") + Widen(word) + L"\"";
  }
  const std::wstring application = SystemPath(program);
  // The child writes straight to this program's standard streams, so its output stands in order
  // with what this program prints.
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
      (void)SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
  }
  PROCESS_INFORMATION process{};
  // The application name is the full path: the system never searches for the program. A start
  // that failed inside the system (ERROR_INTERNAL_ERROR, which Wine gives now and then under
  // load) ran nothing, so it is tried again, a few times.
  bool started = false;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    started = CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                             nullptr, nullptr, &startup, &process) != 0;
    if (!started && GetLastError() != ERROR_INTERNAL_ERROR) {
      break;
    }
  }
  if (!started) {
    return Fail();
  }
  CloseHandle(process.hThread);
  DWORD exitCode = 1;
  const bool waited = WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                      GetExitCodeProcess(process.hProcess, &exitCode) != 0;
  if (!waited) {
    Fail();
  }
  CloseHandle(process.hProcess);
  status = static_cast<int>(exitCode);
  return waited;
}

namespace {

UINT ConsoleCodePage = 0;

void RestoreConsoleCodePage() {
  (void)SetConsoleOutputCP(ConsoleCodePage);
}

} // namespace

void PlatformUseUtf8Console() {
  ConsoleCodePage = GetConsoleOutputCP();
  if (ConsoleCodePage != 0 && ConsoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8) != 0) {
    (void)std::atexit(RestoreConsoleCodePage);
  }
}

PathKind PlatformPathKind(const std::string& path) {
  // A device name opens the device wherever it stands, whether or not the system lists it.
  if (IsDeviceName(path)) {
    return PathKind::Other;
  }
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    Fail();
    return LastError == ERROR_ACCESS_DENIED ? PathKind::Denied : PathKind::Missing;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return PathKind::Folder;
  }
  return PlatformIsExistingFile(path) ? PathKind::Regular : PathKind::Other;
}

std::string PlatformErrorText(int osCode) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(osCode), 0, std::bit_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length == 0 ? "" : Narrow(std::wstring_view(buffer, length));
  LocalFree(buffer);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == '.' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) {
    return "error " + std::to_string(osCode);
  }
  if (text[0] >= 'A' && text[0] <= 'Z') {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  return text;
}

bool PlatformIsBrokenPipe(int osCode) {
  // Which of these a closed pipe gives depends on the system and the kind of pipe (Wine says 233).
  return osCode == ERROR_BROKEN_PIPE || osCode == ERROR_NO_DATA ||
         osCode == ERROR_PIPE_NOT_CONNECTED;
}

FileHandle PlatformCreateExclusive(const std::string& path) {
  // Shared for deletion, so that the console's control handler can remove it while it is open.
  return FromHandle(CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

int PlatformExistsError() {
  return ERROR_FILE_EXISTS;
}

bool PlatformModificationTime(FileHandle handle, std::int64_t& seconds) {
  FILETIME written{};
  if (GetFileTime(AsHandle(handle), nullptr, nullptr, &written) == 0) {
    return Fail();
  }
  // 100-nanosecond steps since 1601.
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  seconds = static_cast<std::int64_t>(ticks / 10000000U) - 11644473600LL;
  return true;
}

bool PlatformCopyPermissions(const std::string& /*model*/, FileHandle /*handle*/) {
  // A file moved over another takes the folder's permissions; attributes such as read-only would
  // stop the move itself.
  return true;
}

bool PlatformReplace(const std::string& from, const std::string& to) {
  return MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
         Fail();
}

bool PlatformRemove(const std::string& path) {
  return DeleteFileW(SystemPath(path).c_str()) != 0 || Fail();
}

std::string PlatformFollowLinks(const std::string& path) {
  const std::wstring wide = SystemPath(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return path;
  }
  HANDLE handle =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return path; // a link to nothing: the file is created where the name stands
  }
  std::wstring final(MAX_PATH, L'\0');
  DWORD length =
      GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
  if (length >= final.size()) {
    final.resize(length + 1);
    length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
  }
  CloseHandle(handle);
  if (length == 0 || length >= final.size()) {
    return path;
  }
  final.resize(length);
  return Narrow(final);
}

bool PlatformLinkCount(const std::string& path, std::uint64_t& links) {
  HANDLE handle = CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return Fail();
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool read = GetFileInformationByHandle(handle, &info) != 0 || Fail();
  CloseHandle(handle);
  links = info.nNumberOfLinks;
  return read;
}

bool PlatformCanWrite(const std::string& path) {
  const std::wstring wide = SystemPath(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    LastError = ERROR_ACCESS_DENIED;
    return false;
  }
  HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return Fail();
  }
  CloseHandle(handle);
  return true;
}

bool PlatformSync(FileHandle handle) {
  return FlushFileBuffers(AsHandle(handle)) != 0 || Fail();
}

namespace {

// What the control handler, which runs on a thread of its own, may touch.
wchar_t InterruptPath[32768];
volatile LONG InterruptArmed = 0;
bool InterruptHandlerSet = false;

BOOL WINAPI RemoveOnControl(DWORD /*event*/) {
  if (InterruptArmed != 0) {
    (void)DeleteFileW(InterruptPath);
  }
  return FALSE; // and then the default: the process ends
}

} // namespace

void PlatformRemoveOnInterrupt(const std::string& path) {
  if (!InterruptHandlerSet) {
    InterruptHandlerSet = SetConsoleCtrlHandler(RemoveOnControl, TRUE) != 0;
  }
  InterlockedExchange(&InterruptArmed, 0);
  const std::wstring wide = SystemPath(path);
  if (path.empty() || wide.size() >= std::size(InterruptPath)) {
    return;
  }
  std::memcpy(InterruptPath, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  InterlockedExchange(&InterruptArmed, 1);
}

std::uint32_t PlatformProcessId() {
  return GetCurrentProcessId();
}

bool PlatformFileId(FileHandle handle, std::string& id) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(AsHandle(handle), &info) == 0) {
    return Fail();
  }
  id = std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
       std::to_string(info.nFileIndexLow);
  return true;
}
