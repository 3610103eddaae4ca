// A file written whole or not at all, the one way every program but the converter writes one.
// The text goes to a new file beside the output, which takes the output's place in one step only
// once everything has succeeded; until then the output stays as it was, and a failure or an
// interruption (Ctrl-C, a closed console, SIGTERM, SIGHUP) leaves no temporary file behind.
//
// An output that is not a regular file (a folder, device, pipe or socket, or a Windows device name)
// is refused before anything is written, and so is one that could not be replaced as it is: a
// read-only file, and one with other hard links, which a new file in its place would split off.
// A symbolic link is followed, and the file it names is replaced, as the converter writes through
// links. A replaced file keeps its mode, and its owner and group where the process may set them.
#pragma once

#include "io/RecordFile.h"

#include <span>
#include <string>

struct SafeOutput {
  SafeOutput() = default;
  SafeOutput(const SafeOutput&) = delete;
  SafeOutput& operator=(const SafeOutput&) = delete;
  // Unless committed: closes the temporary file without writing out what it buffered, and removes
  // it.
  ~SafeOutput();

  std::string Target;    // the file the output's name leads to, links followed
  std::string Temporary; // where the text goes until it is committed
  RecordFile File;       // the temporary file, open for writing
  bool Replaces = false; // the target exists, and is replaced
  bool Finished = false;
  bool Committed = false;
};

// Checks the output and opens its temporary file. A refusal raises an Exception whose message says
// why ("is a directory", "is one of the input files", ...); a failed call, an EInOutError with the
// system's reason. `inputs` are the open files the run reads, none of which may be the output.
void BeginSafeOutput(SafeOutput& output, const std::string& path,
                     std::span<const RecordFile* const> inputs);

// Writes out and syncs the temporary file, gives it the replaced file's permissions and closes
// it: all that can fail before the output is replaced. What the run still has to say (its summary
// line) goes between this and CommitSafeOutput.
void FinishSafeOutput(SafeOutput& output);

// Puts the finished temporary file in the output's place.
void CommitSafeOutput(SafeOutput& output);
