// Checking one file on disk and printing what was found.
#pragma once

#include "check/Diagnostics.h"

#include <cstdint>
#include <string>

// Collects a file's diagnostics as "FILE:LINE:COLUMN: error: MESSAGE" lines and prints them in
// blocks on the standard output. With `quiet`, warnings are counted but not printed.
class DiagnosticPrinter {
public:
  DiagnosticPrinter(std::string fileName, bool quiet)
      : FileName(std::move(fileName)), Quiet(quiet) {}
  DiagnosticPrinter(const DiagnosticPrinter&) = delete;
  DiagnosticPrinter& operator=(const DiagnosticPrinter&) = delete;
  ~DiagnosticPrinter() = default;

  void Error(std::uint64_t line, std::uint64_t column, const std::string& message);
  void Warning(std::uint64_t line, std::uint64_t column, const std::string& message);
  void Flush();

  std::uint64_t Errors = 0;
  std::uint64_t Warnings = 0;

private:
  void Emit(std::uint64_t line, std::uint64_t column, const char* kind, const std::string& message);

  std::string FileName;
  bool Quiet;
  std::string Pending;
};

// Checks the dump or table `name` (a dump if its name ends in .txt, a table if in .lang, in any
// case; otherwise a dump when it starts with FF FE), printing its diagnostics through `printer`,
// and returns the entries it would hold. Returns false, having printed nothing, when the name
// leads to no regular file; a file that cannot be read raises its failure.
bool CheckFile(const std::string& name, DiagnosticPrinter& printer, IdRegister& ids,
               std::uint64_t& entries);
