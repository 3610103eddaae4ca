#include "Harness.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>

const std::string Banner =
    "\r\nVorlanth .lang <-> .txt converter.\r\nvorlanth_lang " VORLANTH_VERSION
    ", free software under the MIT licence, with no warranty.\r\n";
const std::string Usage =
    "Usage:\r\n   vorlanth_lang.exe e some.txt\r\n   vorlanth_lang.exe d some.lang\r\n";

namespace {

// A configuration file: the first line names the program's system ("posix" or "windows"), each
// further line one word of the command that runs it.
std::vector<std::string> ReadConfiguration(const char* path) {
  std::vector<std::string> words;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    if (!line.empty()) {
      words.push_back(line);
    }
  }
  if (words.size() < 2) {
    throw std::runtime_error(std::string("no command in ") + path);
  }
  return words;
}

const std::vector<std::string>& Configuration() {
  static const std::vector<std::string> lines = ReadConfiguration(VORLANTH_COMMAND_FILE);
  return lines;
}

} // namespace

const std::vector<std::string>& ProgramCommand() {
  static const std::vector<std::string> command(Configuration().begin() + 1, Configuration().end());
  return command;
}

namespace {

std::vector<std::string> CommandIn(const char* path) {
  const std::vector<std::string> lines = ReadConfiguration(path);
  return {lines.begin() + 1, lines.end()};
}

} // namespace

const std::vector<std::string>& CheckerCommand() {
  static const std::vector<std::string> command = CommandIn(VORLANTH_CHECK_COMMAND_FILE);
  return command;
}

const std::vector<std::string>& PoCommand() {
  static const std::vector<std::string> command = CommandIn(VORLANTH_PO_COMMAND_FILE);
  return command;
}

bool ProgramRunsOnWindows() {
  return Configuration().front() == "windows";
}

bool ProgramRunsBare() {
  return !ProgramRunsOnWindows() && ProgramCommand().size() == 1 && !VORLANTH_SANITIZED;
}

std::string Bytes(const Units& units) {
  std::string bytes;
  for (const std::uint16_t unit : units) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::string Bytes(std::u16string_view text) {
  return Bytes(Units(text.begin(), text.end()));
}

Units UnitsOf(const std::string& bytes) {
  Units units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[i]) |
                                               static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return units;
}

void BlackBox::SetUp() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vorlanth-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr) << "mkdtemp: " << std::strerror(errno);
  Dir = pattern;
}

void BlackBox::TearDown() {
  std::error_code ignored;
  // Undo what a case may have done to its folder's permissions before removing it.
  std::filesystem::permissions(Dir, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(Dir, ignored);
}

void BlackBox::WriteFile(const std::string& name, const std::string& bytes) const {
  std::ofstream file(PathOf(name), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << "writing " << name;
}

std::string BlackBox::ReadFile(const std::string& name) const {
  std::ifstream file(PathOf(name), std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

bool BlackBox::Exists(const std::string& name) const {
  struct stat info {};
  return lstat(PathOf(name).c_str(), &info) == 0;
}

namespace {

// Collects both streams while the program runs, and what is left in them once it has ended;
// returns its wait status. A program still running after the deadline is killed, so that a hang
// fails its case instead of stalling the suite. The end is the program's own exit, not the pipes'
// closing: a helper that the command starts in the background (Wine starts its server so) may hold
// them long after, while everything the program wrote is in them by the time it has exited.
int Drain(pid_t child, int outFd, int errFd, std::string& out, std::string& err) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  char chunk[65536];
  int status = 0;
  bool exited = false;
  for (;;) {
    if (!exited && waitpid(child, &status, WNOHANG) == child) {
      exited = true; // one more round takes what it left in the pipes
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (!exited && left.count() <= 0) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      ADD_FAILURE() << "the program did not finish in time";
      break;
    }
    const int wait = exited ? 0 : static_cast<int>(std::min<long long>(left.count(), 20));
    const int ready = poll(fds, 2, wait);
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready <= 0 && exited) {
      break;
    }
    bool open = false;
    for (pollfd& entry : fds) {
      if (entry.fd >= 0 && entry.revents != 0) {
        const ssize_t got = read(entry.fd, chunk, sizeof chunk);
        if (got <= 0) {
          close(entry.fd);
          entry.fd = -1;
        } else {
          (&entry == &fds[0] ? out : err).append(chunk, static_cast<std::size_t>(got));
        }
      }
      open = open || entry.fd >= 0;
    }
    if (!open && !exited) {
      waitpid(child, &status, 0);
      break;
    }
  }
  for (const pollfd& entry : fds) {
    if (entry.fd >= 0) {
      close(entry.fd);
    }
  }
  return status;
}

} // namespace

RunResult BlackBox::RunOnce(const std::vector<std::string>& arguments, const RunOptions& options) {
  std::vector<std::string> words;
  if (options.AsUnprivilegedUser && geteuid() == 0) {
    words = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
  }
  const std::vector<std::string>& command =
      options.Command.empty() ? ProgramCommand() : options.Command;
  words.insert(words.end(), command.begin(), command.end());
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);

  int outPipe[2] = {-1, -1};
  int errPipe[2] = {-1, -1};
  EXPECT_EQ(pipe(errPipe), 0);
  if (options.Stdout == StdoutKind::Pipe || options.Stdout == StdoutKind::BrokenPipe) {
    EXPECT_EQ(pipe(outPipe), 0);
  }
  if (options.Stdout == StdoutKind::BrokenPipe) {
    close(outPipe[0]); // nobody reads: the program's first write meets a closed pipe
    outPipe[0] = -1;
  }

  const pid_t child = fork();
  if (child == 0) {
    if (chdir(Dir.c_str()) != 0) {
      _exit(126);
    }
    switch (options.Stdout) {
    case StdoutKind::Pipe:
    case StdoutKind::BrokenPipe:
      dup2(outPipe[1], STDOUT_FILENO);
      break;
    case StdoutKind::Closed:
      close(STDOUT_FILENO);
      break;
    case StdoutKind::File: {
      const int fd = open(options.StdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) {
        _exit(126);
      }
      dup2(fd, STDOUT_FILENO);
      close(fd);
      break;
    }
    }
    if (options.MergeStderr) {
      dup2(STDOUT_FILENO, STDERR_FILENO);
    } else {
      dup2(errPipe[1], STDERR_FILENO);
    }
    for (const std::string& setting : options.Environment) {
      putenv(const_cast<char*>(setting.c_str()));
    }
    for (const int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) {
      if (fd > STDERR_FILENO) {
        close(fd);
      }
    }
    const std::pair<int, std::uint64_t> limits[] = {{RLIMIT_FSIZE, options.FileSizeLimit},
                                                    {RLIMIT_AS, options.AddressSpaceLimit},
                                                    {RLIMIT_NOFILE, options.OpenFilesLimit}};
    for (const auto& [resource, limit] : limits) {
      const rlimit value{limit, limit};
      if (limit != 0 && setrlimit(resource, &value) != 0) {
        _exit(125);
      }
    }
    // A defined standard input, whatever the suite itself was started with (CI may start it
    // with none), unless the case closes it on purpose.
    if (options.CloseStdin) {
      close(STDIN_FILENO);
    } else {
      const int null = open("/dev/null", O_RDONLY);
      if (null < 0 || dup2(null, STDIN_FILENO) < 0) {
        _exit(126);
      }
      if (null != STDIN_FILENO) {
        close(null);
      }
    }
    if (options.CloseStderr) {
      close(STDERR_FILENO);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (outPipe[1] >= 0) {
    close(outPipe[1]);
  }
  close(errPipe[1]);
  RunResult result;
  const int status = Drain(child, outPipe[0], errPipe[0], result.Out, result.Err);
  result.Status.Value = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.Status.Err = result.Err;
  return result;
}

RunResult BlackBox::Run(const std::vector<std::string>& arguments, const RunOptions& options) {
  RunResult result = RunOnce(arguments, options);
  // Wine's own loader now and then fails to start a program in a prefix that is still busy with
  // itself; it says so as "wine: ..." and the program never ran (nothing of it happened), so the
  // start is tried again. The programs under test never write "wine: ".
  for (int attempt = 1; attempt < 3 && ProgramRunsOnWindows() && result.Status != 0 &&
                        result.Err.starts_with("wine: ");
       ++attempt) {
    std::cerr << "retrying a start that Wine failed: " << result.Err;
    result = RunOnce(arguments, options);
  }
  return result;
}

void PrintTo(const ExitStatus& status, std::ostream* out) {
  *out << status.Value;
  if (!status.Err.empty()) {
    *out << " (standard error: \"" << status.Err << "\")";
  }
}

std::string ReportMessage(const std::string& err, std::string* className) {
  static const std::regex report("Exception (EInOutError|EOutOfMemory) in module "
                                 "vorlanth_lang(\\.exe)? at [0-9A-F]{8}\\.\r\n(.*)\r\n\r\n");
  std::smatch match;
  if (!std::regex_match(err, match, report)) {
    ADD_FAILURE() << "not a failure report: \"" << err << '"';
    return {};
  }
  if (className != nullptr) {
    *className = match[1].str();
  }
  return match[3].str();
}
