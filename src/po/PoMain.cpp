// vorlanth_po: string tables in and out of gettext PO, the format of translators' tools.
#include "console/CommandLine.h"
#include "console/Console.h"
#include "console/Printable.h"
#include "console/Reporter.h"
#include "convert/UnitStreams.h"
#include "io/InOutError.h"
#include "io/RecordFile.h"
#include "io/SafeOutput.h"
#include "platform/Platform.h"
#include "po/PoFormat.h"
#include "po/PoTable.h"

#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int Written = 0;
constexpr int Refused = 1;
constexpr int WrongArguments = 2;

const char* const Usage =
    "Usage: vorlanth_po export [--language CODE] ORIGINAL.lang OUTPUT.pot\n"
    "       vorlanth_po export [--language CODE] ORIGINAL.lang TRANSLATED.lang OUTPUT.po\n"
    "       vorlanth_po import [--use-fuzzy] [--strict] ORIGINAL.lang TRANSLATION.po OUTPUT.lang\n";

void ShowHelp() {
  ConsoleWrite(Usage);
  ConsoleWrite(
      "\n"
      "export makes a PO template from a table, or, given a translated table too, a PO that pairs\n"
      "each original text with its translation. import builds the translated table: the\n"
      "original's entries, ids and order, each text taken from the PO where it holds a\n"
      "translation of that very text.\n"
      "\n"
      "Each entry is keyed by msgctxt: its id as four hex digits, and ID#N for the N-th entry\n"
      "with that id and the same text. Empty texts and texts holding a lone surrogate or U+0004\n"
      "cannot travel in PO: they are left out, and come back unchanged on import.\n"
      "\n"
      "  --language CODE  the PO's Language field\n"
      "  --use-fuzzy      also use translations marked fuzzy\n"
      "  --strict         refuse the import when there is any warning\n"
      "  --help           print this help and exit\n"
      "  --version        print the version and exit\n"
      "\n"
      "Messages and the summary go to standard error. The output is written to a temporary file\n"
      "beside it and put in place only when all went well. Exit status: 0 written, 1 refused or\n"
      "failed (nothing written), 2 wrong arguments.\n");
}

// The file the run is working on, for the one report of a failure.
std::string CurrentFile;

// A file name without its folders, for the PO's header: the same on every system.
std::string BaseName(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\:");
  std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

void OpenInput(RecordFile& file, const std::string& path) {
  CurrentFile = path;
  // Said now, naming this file, rather than by the first operation on it.
  OpenInputFile(file, path);
}

std::int64_t ModificationTime(const RecordFile& file) {
  std::int64_t seconds = 0;
  if (!PlatformModificationTime(file.Handle, seconds)) {
    RaiseLastOsError();
  }
  return seconds;
}

// The texts of a translated table, read where they lie through a window of the file: a table in
// the original's order is read once, front to back, and no more of it is held than the window.
struct TranslatedTexts {
  RecordFile& File;
  std::vector<Unit> Window;
  std::uint64_t WindowStart = 0;

  std::vector<Unit> Read(std::uint64_t offset, std::uint32_t count) {
    if (offset < WindowStart || offset + count > WindowStart + Window.size()) {
      Window.resize(std::max<std::size_t>(count, std::size_t{1} << 15));
      Window.resize(ReadRecordsAt(File, Window.data(), Window.size(), offset));
      WindowStart = offset;
      if (Window.size() < count) {
        RaiseInOutError(ReadBeyondEnd); // the file was cut short while it was read
      }
    }
    const auto start = Window.begin() + static_cast<std::ptrdiff_t>(offset - WindowStart);
    return {start, start + count};
  }
};

// The PO text, written out in pieces as it is made: an export holds no more of it than that.
struct PoWriter {
  SafeOutput& Output;
  std::string Pending;

  void Write(std::string_view text) {
    Pending += text;
    if (Pending.size() >= std::size_t{1} << 16) {
      Flush();
    }
  }
  void Flush() {
    WriteBytes(Output.File, Pending);
    Pending.clear();
  }
};

void BeginOutput(SafeOutput& output, const std::string& path,
                 std::initializer_list<const RecordFile*> inputs) {
  CurrentFile = path;
  BeginSafeOutput(output, path, {inputs.begin(), inputs.size()});
}

// Runs a conversion that reads an input and writes the output: a failure that came from writing
// is the output's, not that of the input being read.
template <class Convert>
auto BlamingOutput(const SafeOutput& output, const std::string& path, Convert convert) {
  try {
    return convert();
  } catch (const Exception&) {
    if (output.File.WriteFailed) {
      CurrentFile = path;
    }
    throw;
  }
}

// The summary is the run's last word: the output takes its place only once it has been said.
void Conclude(SafeOutput& output, const std::string& path, const std::string& summary) {
  CurrentFile = path;
  FinishSafeOutput(output);
  ConsoleWriteError(Printable(path) + ": " + summary + "\n");
  CommitSafeOutput(output);
}

// Reads a PO file piece by piece into the catalog: no more of its text is held than a line.
bool ReadPoFile(RecordFile& file, PoCatalog& catalog, Reporter& reporter) {
  PoReader reader(catalog, reporter);
  for (std::span<const Unit> units = PeekRecords(file); !units.empty(); units = PeekRecords(file)) {
    const bool reading =
        reader.Feed({reinterpret_cast<const char*>(units.data()), units.size() * sizeof(Unit)});
    SkipRecords(file, units.size());
    if (!reading) {
      return false;
    }
  }
  if (file.DroppedByte) {
    const char last = static_cast<char>(file.DroppedByteValue);
    if (!reader.Feed({&last, 1})) {
      return false;
    }
  }
  return reader.End();
}

struct Arguments {
  std::string Command;
  std::string Language;
  bool UseFuzzy = false;
  bool Strict = false;
  std::vector<std::string> Files;
};

int Export(const Arguments& arguments) {
  const bool paired = arguments.Files.size() == 3;
  RecordFile original;
  OpenInput(original, arguments.Files[0]);
  RecordFile translatedFile;
  if (paired) {
    OpenInput(translatedFile, arguments.Files[1]);
  }
  const std::string& outputPath = arguments.Files.back();
  SafeOutput output;
  BeginOutput(output, outputPath, {&original, paired ? &translatedFile : &original});
  PoHeaderFields header;
  header.Project = BaseName(arguments.Files[0]);
  CurrentFile = arguments.Files[0];
  header.CreationDate = PoDate(ModificationTime(original));
  header.Language = arguments.Language;
  header.Generator = "vorlanth_po " VORLANTH_VERSION;
  TranslatedTexts texts{translatedFile, {}, 0};
  std::optional<TranslatedTable<TranslatedTexts>> translated;
  Reporter originalWarnings(arguments.Files[0], ReporterOptions{.ToError = true});
  Reporter translatedWarnings(arguments.Files.size() == 3 ? arguments.Files[1] : arguments.Files[0],
                              ReporterOptions{.ToError = true});
  if (paired) {
    CurrentFile = arguments.Files[1];
    header.RevisionDate = PoDate(ModificationTime(translatedFile));
    FileUnitSource source{translatedFile};
    translated.emplace(texts);
    translated->Index(source);
  }
  PoWriter writer{output, {}};
  writer.Write(PoHeader(header));
  CurrentFile = arguments.Files[0];
  FileUnitSource source{original};
  const ExportCounts counts = BlamingOutput(output, outputPath, [&] {
    return ExportUnits(source, translated ? &*translated : nullptr, writer, originalWarnings,
                       translatedWarnings);
  });
  originalWarnings.Flush();
  translatedWarnings.Flush();
  CurrentFile = outputPath;
  writer.Flush();
  std::string summary = Counted(counts.Entries, "entry", "entries") + ": ";
  if (paired) {
    summary += std::to_string(counts.Translated) + " translated, " + std::to_string(counts.Fuzzy) +
               " fuzzy, " + std::to_string(counts.Same) + " the same as the original (fuzzy), ";
  }
  summary += std::to_string(counts.Entries - counts.Translated - counts.Fuzzy - counts.Same -
                            counts.LeftOut) +
             " untranslated, " + std::to_string(counts.LeftOut) + " left out";
  Conclude(output, outputPath, summary);
  return Written;
}

int Import(const Arguments& arguments) {
  RecordFile original;
  OpenInput(original, arguments.Files[0]);
  RecordFile poFile;
  OpenInput(poFile, arguments.Files[1]);
  const std::string& outputPath = arguments.Files[2];
  SafeOutput output;
  BeginOutput(output, outputPath, {&original, &poFile});
  CurrentFile = arguments.Files[1];
  PoCatalog catalog;
  Reporter reporter(arguments.Files[1],
                    ReporterOptions{.Strict = arguments.Strict, .ToError = true});
  if (!ReadPoFile(poFile, catalog, reporter)) {
    reporter.Flush();
    ConsoleWriteError("vorlanth_po: " + Printable(arguments.Files[1]) + ": " +
                      Counted(reporter.Errors, "error", "errors") + "; nothing was written\n");
    return Refused;
  }
  FileUnitSource source{original};
  FileUnitSink sink{output.File};
  CurrentFile = arguments.Files[0];
  const ImportCounts counts = BlamingOutput(output, outputPath, [&] {
    return ImportUnits(source, catalog, arguments.UseFuzzy, sink, reporter);
  });
  reporter.Flush();
  if (reporter.Errors != 0) {
    ConsoleWriteError("vorlanth_po: --strict: " + Counted(reporter.Errors, "warning", "warnings") +
                      "; nothing was written\n");
    return Refused;
  }
  CurrentFile = outputPath;
  if (original.DroppedByte) {
    WriteBytes(output.File, std::string(1, static_cast<char>(original.DroppedByteValue)));
  }
  Conclude(output, outputPath,
           Counted(counts.Entries, "entry", "entries") + ": " + std::to_string(counts.Translated) +
               " translated, " + std::to_string(counts.Fuzzy) + " fuzzy" +
               (arguments.UseFuzzy || counts.Fuzzy == 0 ? "" : " (left in the original)") + ", " +
               std::to_string(counts.Untranslated) + " untranslated, " +
               std::to_string(counts.Stale) + " stale, " + std::to_string(counts.NotInOriginal) +
               " not in the original, " + std::to_string(counts.LeftOut) + " left out, " +
               std::to_string(catalog.WithoutKey) + " without a key");
  return Written;
}

int WrongUsage(const std::string& why) {
  ConsoleWriteError("vorlanth_po: " + why + "\n" + Usage);
  return WrongArguments;
}

int Run(const std::vector<std::string>& words) {
  Arguments arguments;
  bool optionsEnd = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (!optionsEnd && word == "--help") {
      ShowHelp();
      return Written;
    }
    if (!optionsEnd && word == "--version") {
      ConsoleWrite("vorlanth_po " VORLANTH_VERSION "\n");
      return Written;
    }
    if (optionsEnd || word.size() < 2 || word[0] != '-') {
      (arguments.Command.empty() ? arguments.Command : arguments.Files.emplace_back()) = word;
    } else if (word == "--") {
      optionsEnd = true;
    } else if (word == "--language" && i + 1 < words.size()) {
      arguments.Language = words[++i];
    } else if (word == "--use-fuzzy") {
      arguments.UseFuzzy = true;
    } else if (word == "--strict") {
      arguments.Strict = true;
    } else {
      return WrongUsage("unknown option " + word);
    }
  }
  if (arguments.Command == "export" && !arguments.UseFuzzy && !arguments.Strict &&
      (arguments.Files.size() == 2 || arguments.Files.size() == 3)) {
    return Export(arguments);
  }
  if (arguments.Command == "import" && arguments.Language.empty() && arguments.Files.size() == 3) {
    return Import(arguments);
  }
  return WrongUsage(arguments.Command.empty() ? "no command" : "wrong arguments");
}

} // namespace

int main(int argc, char** argv) {
  PlatformStartup();
  int status = Refused;
  try {
    status = Run(ProgramArguments(argc, argv));
  } catch (const Exception& failure) {
    const auto* inOut = dynamic_cast<const EInOutError*>(&failure);
    const std::string reason =
        inOut != nullptr && inOut->OsCode != 0 ? PlatformErrorText(inOut->OsCode) : failure.Message;
    const std::string text =
        "vorlanth_po: " + (CurrentFile.empty() ? "" : Printable(CurrentFile) + ": ") + reason +
        "; nothing was written\n";
    (void)PlatformStdWrite(StdStream::Error, text.data(), text.size());
  } catch (const std::bad_alloc&) {
    const std::string text = "vorlanth_po: Out of memory; nothing was written\n";
    (void)PlatformStdWrite(StdStream::Error, text.data(), text.size());
  } catch (const std::exception& failure) {
    const std::string text =
        "vorlanth_po: " + (CurrentFile.empty() ? "" : Printable(CurrentFile) + ": ") +
        failure.what() + "; nothing was written\n";
    (void)PlatformStdWrite(StdStream::Error, text.data(), text.size());
  }
  return status;
}
