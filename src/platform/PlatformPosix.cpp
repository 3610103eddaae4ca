// POSIX implementation of the platform seam.
#include "platform/Platform.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string_view>

namespace {

thread_local int LastError = 0;

// An interrupted call is repeated: a signal is not a failure of the file.
template <class Call> auto Retried(Call call) {
  for (;;) {
    const auto result = call();
    if (result != -1 || errno != EINTR) {
      return result;
    }
  }
}

bool Fail() {
  LastError = errno;
  return false;
}

int StdFd(StdStream stream) {
  return stream == StdStream::Output ? STDOUT_FILENO : STDERR_FILENO;
}

// Data files never take descriptors 0 to 2: if the process started with a standard stream closed,
// console text written to that descriptor would otherwise land in a data file.
FileHandle AboveStdStreams(int fd) {
  if (fd < 0 || fd > STDERR_FILENO) {
    return fd < 0 ? (Fail(), InvalidFileHandle) : fd;
  }
  const int moved = Retried([fd] { return fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1); });
  if (moved < 0) {
    // EINVAL here means the descriptor limit leaves nothing above 2: too many open files.
    LastError = errno == EINVAL ? EMFILE : errno;
  }
  close(fd);
  return moved < 0 ? InvalidFileHandle : moved;
}

} // namespace

void PlatformStartup() {
  // A closed pipe and a file-size limit must surface as a failed write with a report, not as a
  // silent death. Cannot fail for a valid signal number.
  (void)std::signal(SIGPIPE, SIG_IGN);
  (void)std::signal(SIGXFSZ, SIG_IGN);
}

bool PlatformCommandLine(std::string& /*line*/) {
  return false;
}

std::string PlatformProgramFileName(const char* argv0) {
  std::string name;
  char target[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", target, sizeof target);
  if (length > 0) {
    name.assign(target, static_cast<std::size_t>(length));
    // The kernel marks a program file deleted while it runs; that mark is not part of its name.
    constexpr std::string_view deleted = " (deleted)";
    struct stat info {};
    if (name.ends_with(deleted) && lstat(name.c_str(), &info) != 0) {
      name.resize(name.size() - deleted.size());
    }
  } else if (argv0 != nullptr) {
    name = argv0;
  }
  const std::size_t slash = name.find_last_of('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool PlatformIsExistingFile(const std::string& path) {
  struct stat info {};
  return Retried([&] { return stat(path.c_str(), &info); }) == 0 && S_ISREG(info.st_mode);
}

FileHandle PlatformOpenRead(const std::string& path) {
  // Non-blocking open: a name that leads to a FIFO must not hang the program before the handle
  // can be checked and refused.
  const FileHandle handle = AboveStdStreams(
      Retried([&] { return open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); }));
  if (handle != InvalidFileHandle) {
    const int fd = static_cast<int>(handle);
    const int flags = Retried([fd] { return fcntl(fd, F_GETFL); });
    if (flags < 0 || Retried([&] { return fcntl(fd, F_SETFL, flags & ~O_NONBLOCK); }) < 0) {
      Fail();
      close(fd);
      return InvalidFileHandle;
    }
  }
  return handle;
}

bool PlatformIsRegularFile(FileHandle handle, bool& regular) {
  struct stat info {};
  if (Retried([&] { return fstat(static_cast<int>(handle), &info); }) != 0) {
    return Fail();
  }
  regular = S_ISREG(info.st_mode);
  return true;
}

FileHandle PlatformOpenWrite(const std::string& path) {
  constexpr mode_t everyone = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;
  return AboveStdStreams(
      Retried([&] { return open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, everyone); }));
}

bool PlatformTruncate(FileHandle handle) {
  struct stat info {};
  const int fd = static_cast<int>(handle);
  if (Retried([&] { return fstat(fd, &info); }) != 0) {
    return Fail();
  }
  // A file that is already empty (one just created) is left alone: truncating it would only make
  // some file systems (ext4) write it out at close, as they do for a file replaced in place.
  if (!S_ISREG(info.st_mode) || info.st_size == 0) {
    return true;
  }
  return Retried([fd] { return ftruncate(fd, 0); }) == 0 || Fail();
}

bool PlatformSameFile(FileHandle first, FileHandle second, bool& same) {
  struct stat a {};
  struct stat b {};
  if (Retried([&] { return fstat(static_cast<int>(first), &a); }) != 0 ||
      Retried([&] { return fstat(static_cast<int>(second), &b); }) != 0) {
    return Fail();
  }
  same = a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  return true;
}

std::int64_t PlatformRead(FileHandle handle, void* buffer, std::size_t count) {
  const ssize_t got = Retried([&] { return read(static_cast<int>(handle), buffer, count); });
  if (got < 0) {
    Fail();
  }
  return got;
}

std::int64_t PlatformReadAt(FileHandle handle, void* buffer, std::size_t count,
                            std::uint64_t offset) {
  const ssize_t got = Retried(
      [&] { return pread(static_cast<int>(handle), buffer, count, static_cast<off_t>(offset)); });
  if (got < 0) {
    Fail();
  }
  return got;
}

namespace {

std::int64_t WriteAll(int fd, const void* buffer, std::size_t count) {
  const auto* bytes = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t put = write(fd, bytes + done, count - done);
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A non-blocking descriptor inherited from the caller (a pipe to a slow reader): wait
      // until it takes more, rather than lose what was to be written.
      pollfd ready{fd, POLLOUT, 0};
      if (poll(&ready, 1, -1) >= 0 || errno == EINTR) {
        continue;
      }
    }
    if (put <= 0) {
      LastError = put < 0 ? errno : 0;
      return done == 0 && put < 0 ? -1 : static_cast<std::int64_t>(done);
    }
    done += static_cast<std::size_t>(put);
  }
  return static_cast<std::int64_t>(done);
}

} // namespace

std::int64_t PlatformWrite(FileHandle handle, const void* buffer, std::size_t count) {
  return WriteAll(static_cast<int>(handle), buffer, count);
}

bool PlatformClose(FileHandle handle) {
  // Linux releases the descriptor even when close is interrupted: that is done, not failed.
  return close(static_cast<int>(handle)) == 0 || errno == EINTR || Fail();
}

int PlatformLastError() {
  return LastError;
}

int PlatformErrorRow(int osCode) {
  switch (osCode) {
  case ENOENT:
  case ENOTDIR:
    return 2;
  case ENAMETOOLONG:
    return 3;
  case EMFILE:
  case ENFILE:
    return 4;
  case EACCES:
  case EPERM:
  case EROFS:
  case EISDIR:
    return 5;
  default:
    return 0;
  }
}

bool PlatformStdStreamUsable(StdStream stream) {
  return fcntl(StdFd(stream), F_GETFL) >= 0;
}

bool PlatformStdWrite(StdStream stream, const char* text, std::size_t length) {
  return WriteAll(StdFd(stream), text, length) == static_cast<std::int64_t>(length);
}

std::string PlatformToOem(const std::string& text) {
  return text;
}

std::vector<std::string> PlatformExpandArgument(const std::string& argument) {
  return {argument};
}

bool PlatformConsoleClosesWithProgram() {
  return false;
}

void PlatformWaitForEnter() {}

std::string PlatformProgramFolder() {
  char target[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", target, sizeof target);
  const std::string path(target, length > 0 ? static_cast<std::size_t>(length) : 0);
  return path.substr(0, path.find_last_of('/') + 1);
}

bool PlatformRunProgram(const std::string& program, const std::vector<std::string>& arguments,
                        int& status) {
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv(words.size() + 1, nullptr);
  std::transform(words.begin(), words.end(), argv.begin(),
                 [](std::string& word) { return word.data(); });
  pid_t child = 0;
  // posix_spawn, unlike posix_spawnp, never searches PATH.
  const int failure = posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (failure != 0) {
    LastError = failure;
    return false;
  }
  int waited = 0;
  if (Retried([&] { return waitpid(child, &waited, 0); }) < 0) {
    return Fail();
  }
  status = WIFEXITED(waited) ? WEXITSTATUS(waited) : 128 + WTERMSIG(waited);
  return true;
}

void PlatformUseUtf8Console() {}

PathKind PlatformPathKind(const std::string& path) {
  struct stat info {};
  if (Retried([&] { return stat(path.c_str(), &info); }) != 0) {
    Fail();
    return LastError == EACCES ? PathKind::Denied : PathKind::Missing;
  }
  return S_ISDIR(info.st_mode)   ? PathKind::Folder
         : S_ISREG(info.st_mode) ? PathKind::Regular
                                 : PathKind::Other;
}

std::string PlatformErrorText(int osCode) {
  std::string text = std::strerror(osCode);
  if (!text.empty()) {
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  }
  return text;
}

bool PlatformIsBrokenPipe(int osCode) {
  return osCode == EPIPE;
}

FileHandle PlatformCreateExclusive(const std::string& path) {
  constexpr mode_t everyone = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;
  return AboveStdStreams(Retried(
      [&] { return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, everyone); }));
}

int PlatformExistsError() {
  return EEXIST;
}

bool PlatformModificationTime(FileHandle handle, std::int64_t& seconds) {
  struct stat info {};
  if (Retried([&] { return fstat(static_cast<int>(handle), &info); }) != 0) {
    return Fail();
  }
  seconds = info.st_mtime;
  return true;
}

bool PlatformCopyPermissions(const std::string& model, FileHandle handle) {
  struct stat info {};
  struct stat mine {};
  const int fd = static_cast<int>(handle);
  if (Retried([&] { return stat(model.c_str(), &info); }) != 0 ||
      Retried([&] { return fstat(fd, &mine); }) != 0) {
    return Fail();
  }
  // Owner first: a change of owner clears the set-id bits that the mode then puts back. Only root
  // may give a file away; anyone may keep the group where they belong to it.
  if (mine.st_uid != info.st_uid || mine.st_gid != info.st_gid) {
    if (Retried([&] { return fchown(fd, info.st_uid, info.st_gid); }) != 0) {
      if (errno != EPERM) {
        return Fail();
      }
      if (Retried([&] { return fchown(fd, static_cast<uid_t>(-1), info.st_gid); }) != 0 &&
          errno != EPERM) {
        return Fail();
      }
    }
  }
  return Retried([&] { return fchmod(fd, info.st_mode & 07777); }) == 0 || Fail();
}

std::string PlatformFollowLinks(const std::string& path) {
  std::string current = path;
  // The kernel's own limit on a chain of links.
  for (int hop = 0; hop < 40; ++hop) {
    struct stat info {};
    if (Retried([&] { return lstat(current.c_str(), &info); }) != 0 || !S_ISLNK(info.st_mode)) {
      return current;
    }
    char target[PATH_MAX];
    const ssize_t length = readlink(current.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) == sizeof target) {
      return current;
    }
    const std::string_view next(target, static_cast<std::size_t>(length));
    const std::size_t slash = current.find_last_of('/');
    // A relative target is relative to the folder that holds the link.
    if (next.front() == '/' || slash == std::string::npos) {
      current = next;
    } else {
      current.resize(slash + 1);
      current += next;
    }
  }
  return path;
}

bool PlatformLinkCount(const std::string& path, std::uint64_t& links) {
  struct stat info {};
  if (Retried([&] { return stat(path.c_str(), &info); }) != 0) {
    return Fail();
  }
  links = info.st_nlink;
  return true;
}

bool PlatformCanWrite(const std::string& path) {
  // Non-blocking and never creating: only an existing regular file is asked about, and the open
  // is the system's own verdict (access() would answer for the real, not the effective, user).
  const int fd =
      Retried([&] { return open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); });
  if (fd < 0) {
    return Fail();
  }
  close(fd);
  return true;
}

bool PlatformSync(FileHandle handle) {
  return Retried([&] { return fsync(static_cast<int>(handle)); }) == 0 || Fail();
}

namespace {

// What the signal handler may touch: a fixed buffer and a flag, nothing that allocates.
char InterruptPath[PATH_MAX + 1];
volatile std::sig_atomic_t InterruptArmed = 0;
bool InterruptHandlersSet = false;

extern "C" void RemoveAndEnd(int signal) {
  if (InterruptArmed != 0) {
    (void)unlink(InterruptPath);
  }
  // Then the signal's own default action, so that the caller sees the process ended by it.
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  (void)sigaction(signal, &action, nullptr);
  (void)raise(signal);
}

} // namespace

void PlatformRemoveOnInterrupt(const std::string& path) {
  if (!InterruptHandlersSet) {
    InterruptHandlersSet = true;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction old {};
      // A signal the caller chose to ignore (nohup, a background job) stays ignored.
      if (sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) {
        continue;
      }
      struct sigaction action {};
      action.sa_handler = RemoveAndEnd;
      sigfillset(&action.sa_mask);
      (void)sigaction(signal, &action, nullptr);
    }
  }
  InterruptArmed = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (path.empty() || path.size() >= sizeof InterruptPath) {
    return;
  }
  std::memcpy(InterruptPath, path.c_str(), path.size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  InterruptArmed = 1;
}

std::uint32_t PlatformProcessId() {
  return static_cast<std::uint32_t>(getpid());
}

bool PlatformReplace(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0 || Fail();
}

bool PlatformRemove(const std::string& path) {
  return unlink(path.c_str()) == 0 || Fail();
}

bool PlatformFileId(FileHandle handle, std::string& id) {
  struct stat info {};
  if (Retried([&] { return fstat(static_cast<int>(handle), &info); }) != 0) {
    return Fail();
  }
  id = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
  return true;
}
