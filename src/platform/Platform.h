// The one seam between the converter and the operating system. Everything above it is portable;
// PlatformPosix.cpp and PlatformWin32.cpp each implement all of it. Paths are 8-bit strings (UTF-8
// where the system needs a conversion). A call that fails returns false (or -1) and leaves its
// cause for PlatformLastError().
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using FileHandle = std::intptr_t;
inline constexpr FileHandle InvalidFileHandle = -1;

enum class StdStream { Output, Error };

// Process set-up that must happen before anything else runs.
void PlatformStartup();

// True when the platform hands the program one command-line string (which the caller then splits);
// false when it has already split it into argv.
bool PlatformCommandLine(std::string& line);

// The program's own file name, without its directory.
std::string PlatformProgramFileName(const char* argv0);

// True only for an existing regular file (or a link to one), judged by its name. Asked only after
// an open failed, to tell "no such file" from "a file that cannot be opened".
bool PlatformIsExistingFile(const std::string& path);

// Opens an existing file for reading only: a converter never writes its input, so a read-only
// input converts too. Opening never waits, even if the name leads to a pipe.
FileHandle PlatformOpenRead(const std::string& path);

// Whether an open handle is a regular file on a disk (not a folder, device or pipe). Asked of the
// handle, not the name, so that nothing can swap the file in between.
bool PlatformIsRegularFile(FileHandle handle, bool& regular);

// Opens for writing only, creating the file if it is missing; never truncates it, so that the
// caller can first make sure it is not about to destroy its own input. Write-only, because a
// program that also held a pipe open for reading would swallow its own output.
FileHandle PlatformOpenWrite(const std::string& path);

// Sets the length of a file to zero (a no-op on devices, which have no length, and on a file that
// is already empty).
bool PlatformTruncate(FileHandle handle);

// Whether two open handles name the same file (device and file number).
bool PlatformSameFile(FileHandle first, FileHandle second, bool& same);

// Reads up to count bytes from a given place in a file, without moving its position for
// PlatformRead; returns the number read (0 only at the end of the file) or -1.
std::int64_t PlatformReadAt(FileHandle handle, void* buffer, std::size_t count,
                            std::uint64_t offset);

// Reads up to count bytes; returns the number read (0 only at the end of the file) or -1.
std::int64_t PlatformRead(FileHandle handle, void* buffer, std::size_t count);

// Writes count bytes, retrying short and interrupted writes; returns the number written, which is
// less than count only when the system stopped accepting bytes, or -1 when nothing was written.
std::int64_t PlatformWrite(FileHandle handle, const void* buffer, std::size_t count);

bool PlatformClose(FileHandle handle);

// The operating system's code for the last failed call.
int PlatformLastError();

// The row of the converter's message table (2, 3, 4 or 5) that means the same as an operating
// system code, or 0 when none does.
int PlatformErrorRow(int osCode);

// Whether the standard stream's handle is of a kind that can be written at all.
bool PlatformStdStreamUsable(StdStream stream);

// Writes the whole text to a standard stream, unbuffered.
bool PlatformStdWrite(StdStream stream, const char* text, std::size_t length);

// Converts 8-bit text to the console's OEM character set where the platform has one.
std::string PlatformToOem(const std::string& text);

// The file names a command-line argument stands for. On Windows, where the shell leaves wildcards
// (* and ?) to the program, the files that match, sorted (the argument itself when none does);
// elsewhere, where the shell has expanded them already, the argument as it is.
std::vector<std::string> PlatformExpandArgument(const std::string& argument);

// Whether the program's console closes when it ends (it was started by a double click or by files
// dropped onto it), so that what it printed would vanish before it could be read.
bool PlatformConsoleClosesWithProgram();

// Waits until the user presses Enter, or the standard input ends.
void PlatformWaitForEnter();

// The folder that holds the running program's own file, ending in its separator.
std::string PlatformProgramFolder();

// Runs the program file `program`, a full path that is used as it stands (never looked for along
// a search path or in the current folder), with `arguments`, on this program's console and
// standard streams, and waits for it to end. Every argument reaches it whole, whatever characters
// it holds, for a program that splits its command line as SplitCommandLine does. Returns false
// when it could not be started; otherwise `status` is its exit status.
bool PlatformRunProgram(const std::string& program, const std::vector<std::string>& arguments,
                        int& status);

// Shows UTF-8 text correctly on the console for the rest of the run, where the console has a code
// page of its own; the console's own setting comes back when the program ends.
void PlatformUseUtf8Console();

// What a name leads to, for saying why it is not a file that can be read. Missing and Denied
// leave the system's code for PlatformLastError().
enum class PathKind { Missing, Folder, Regular, Other, Denied };
PathKind PlatformPathKind(const std::string& path);

// The system's own words for one of its codes, starting in lower case: "no space left on device".
std::string PlatformErrorText(int osCode);

// Whether a code means that the reader of a pipe has gone away.
bool PlatformIsBrokenPipe(int osCode);

// Creates a file that must not exist yet, for writing only, readable and writable as a new file
// of the user's would be.
FileHandle PlatformCreateExclusive(const std::string& path);

// The code PlatformLastError() gives when a file to be created exists already.
int PlatformExistsError();

// The last modification time of an open file, in seconds since 1970 (UTC).
bool PlatformModificationTime(FileHandle handle, std::int64_t& seconds);

// Gives an open file the permissions of the file `model`, whose place it is about to take, and
// its owner and group where the process may set them.
bool PlatformCopyPermissions(const std::string& model, FileHandle handle);

// The file a name leads to once every symbolic link on the way is followed (the name itself when
// it is no link). A chain that loops is given back as it stands, for the next call to fail on.
std::string PlatformFollowLinks(const std::string& path);

// How many names (hard links) an existing file has.
bool PlatformLinkCount(const std::string& path, std::uint64_t& links);

// Whether an existing file may be opened for writing, by the same test an open would make;
// nothing is created or changed.
bool PlatformCanWrite(const std::string& path);

// Makes sure that what was written to a file is on the disk.
bool PlatformSync(FileHandle handle);

// Names a file to be removed if the process is ended by a signal (SIGINT, SIGTERM, SIGHUP) or its
// console closes, before it is put in place; an empty name ends that. One file at a time.
void PlatformRemoveOnInterrupt(const std::string& path);

// A key that is the same for two open handles exactly when they are the same file.
bool PlatformFileId(FileHandle handle, std::string& id);

// A number of this process, for names no other running process will pick.
std::uint32_t PlatformProcessId();

// Moves a file over another, which it replaces in one step.
bool PlatformReplace(const std::string& from, const std::string& to);

// Removes a file.
bool PlatformRemove(const std::string& path);
