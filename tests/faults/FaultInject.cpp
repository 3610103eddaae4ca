// A preloaded library for the fault sweep: counts the program's file and console calls, and makes
// the Nth call of one kind fail with a chosen errno, or move fewer bytes than asked.
//
//   FAULT_KIND    lookup (stat or lstat by name) | open | read | write | stat (fstat) | close |
//                 rename | sync (fsync) | chmod (fchmod) | chown (fchown) | unlink
//   FAULT_TARGET  data (descriptors above 2, or opened by name) | std (0 to 2)
//   FAULT_NTH     which matching call fails, counting from 1 (0 or unset: none, only count)
//   FAULT_ERRNO   the errno to fail with, or "short" for a transfer of about half the bytes asked
//                 (an odd number, so that a unit is split between two calls)
//   FAULT_LOG     a file that receives one line per matching call: "KIND TARGET RESULT"
//   FAULT_LOOKUP_SAYS_FILE  set: every successful stat by name reports a regular file, as if the
//                 name had been swapped for something else right after it was looked at
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Settings {
  const char* Kind = nullptr;
  bool Std = false;
  long Nth = 0;
  int Errno = 0;
  bool Short = false;
  int LogFd = -1;
  long Seen = 0;
  bool Ready = false;
};

Settings& Config() {
  static Settings settings;
  if (!settings.Ready) {
    settings.Ready = true;
    settings.Kind = std::getenv("FAULT_KIND");
    const char* target = std::getenv("FAULT_TARGET");
    settings.Std = target != nullptr && std::strcmp(target, "std") == 0;
    const char* nth = std::getenv("FAULT_NTH");
    settings.Nth = nth != nullptr ? std::atol(nth) : 0;
    const char* error = std::getenv("FAULT_ERRNO");
    if (error != nullptr && std::strcmp(error, "short") == 0) {
      settings.Short = true;
    } else if (error != nullptr) {
      settings.Errno = std::atoi(error);
    }
    const char* log = std::getenv("FAULT_LOG");
    if (log != nullptr) {
      using OpenFn = int (*)(const char*, int, ...);
      auto realOpen = reinterpret_cast<OpenFn>(dlsym(RTLD_NEXT, "open"));
      settings.LogFd = realOpen(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
      // Keep the log out of the descriptors the program under test watches.
      if (settings.LogFd >= 0 && settings.LogFd < 100) {
        const int moved = fcntl(settings.LogFd, F_DUPFD_CLOEXEC, 100);
        close(settings.LogFd);
        settings.LogFd = moved;
      }
    }
  }
  return settings;
}

template <class Fn> Fn Real(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

void Log(const char* kind, bool std, long result) {
  Settings& s = Config();
  if (s.LogFd < 0) {
    return;
  }
  char line[64];
  const int length =
      std::snprintf(line, sizeof line, "%s %s %ld\n", kind, std ? "std" : "data", result);
  const ssize_t ignored = ::write(s.LogFd, line, static_cast<std::size_t>(length));
  (void)ignored;
}

// Whether this call, of `kind` on a descriptor of the given target, is the one to fail.
enum class Verdict { Pass, Fail, Short };

Verdict Judge(const char* kind, bool std) {
  Settings& s = Config();
  if (s.Kind == nullptr || std::strcmp(s.Kind, kind) != 0 || s.Std != std) {
    return Verdict::Pass;
  }
  ++s.Seen;
  if (s.Nth == 0 || s.Seen != s.Nth) {
    return Verdict::Pass;
  }
  return s.Short ? Verdict::Short : Verdict::Fail;
}

bool IsStd(int fd) {
  return fd >= 0 && fd <= 2;
}

bool Watched(int fd) {
  return fd != Config().LogFd;
}

// A read or a write: failed, shortened to half, or passed on, and logged.
template <class Buffer> ssize_t Transfer(const char* kind, int fd, Buffer buffer, size_t count) {
  const auto real = Real<ssize_t (*)(int, Buffer, size_t)>(kind);
  if (!Watched(fd)) {
    return real(fd, buffer, count);
  }
  const Verdict verdict = Judge(kind, IsStd(fd));
  if (verdict == Verdict::Fail) {
    Log(kind, IsStd(fd), -1);
    errno = Config().Errno;
    return -1;
  }
  if (verdict == Verdict::Short && count > 2) {
    count = count / 2 | 1; // an odd count, so that half a unit is left over
  }
  const ssize_t moved = real(fd, buffer, count);
  Log(kind, IsStd(fd), moved);
  return moved;
}

// Calls on names or descriptors that only fail or succeed, all alike.
template <class... Args> int Simple(const char* kind, const char* name, Args... args) {
  if (Judge(kind, false) == Verdict::Fail) {
    Log(kind, false, -1);
    errno = Config().Errno;
    return -1;
  }
  const int result = Real<int (*)(Args...)>(name)(args...);
  Log(kind, false, result);
  return result;
}

// A look at a file by its name (stat or lstat).
int LookUp(const char* name, const char* path, struct stat* info) {
  if (Judge("lookup", false) == Verdict::Fail) {
    Log("lookup", false, -1);
    errno = Config().Errno;
    return -1;
  }
  const int result = Real<int (*)(const char*, struct stat*)>(name)(path, info);
  if (result == 0 && std::getenv("FAULT_LOOKUP_SAYS_FILE") != nullptr) {
    info->st_mode = (info->st_mode & ~S_IFMT) | S_IFREG;
  }
  Log("lookup", false, result);
  return result;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  if (Judge("open", false) == Verdict::Fail) {
    Log("open", false, -1);
    errno = Config().Errno;
    return -1;
  }
  const int fd = Real<int (*)(const char*, int, ...)>("open")(path, flags, mode);
  Log("open", false, fd);
  return fd;
}

// The same function under its large-file name, in case a build reaches for that one.
int open64(const char* path, int flags, ...) __attribute__((alias("open")));

ssize_t read(int fd, void* buffer, size_t count) {
  return Transfer("read", fd, buffer, count);
}

ssize_t write(int fd, const void* buffer, size_t count) {
  return Transfer("write", fd, buffer, count);
}

int fstat(int fd, struct stat* info) {
  if (Judge("stat", IsStd(fd)) == Verdict::Fail) {
    Log("stat", IsStd(fd), -1);
    errno = Config().Errno;
    return -1;
  }
  const int result = Real<int (*)(int, struct stat*)>("fstat")(fd, info);
  Log("stat", IsStd(fd), result);
  return result;
}

int stat(const char* path, struct stat* info) {
  return LookUp("stat", path, info);
}

int lstat(const char* path, struct stat* info) {
  return LookUp("lstat", path, info);
}

int rename(const char* from, const char* to) {
  return Simple("rename", "rename", from, to);
}

int fsync(int fd) {
  return Simple("sync", "fsync", fd);
}

int fchmod(int fd, mode_t mode) {
  return Simple("chmod", "fchmod", fd, mode);
}

int fchown(int fd, uid_t owner, gid_t group) {
  return Simple("chown", "fchown", fd, owner, group);
}

int unlink(const char* path) {
  return Simple("unlink", "unlink", path);
}

int close(int fd) {
  if (!Watched(fd)) {
    return Real<int (*)(int)>("close")(fd);
  }
  if (Judge("close", IsStd(fd)) == Verdict::Fail) {
    Log("close", IsStd(fd), -1);
    Real<int (*)(int)>("close")(fd); // the descriptor is gone even when close reports a failure
    errno = Config().Errno;
    return -1;
  }
  const int result = Real<int (*)(int)>("close")(fd);
  Log("close", IsStd(fd), result);
  return result;
}

} // extern "C"
