#include "console/Reporter.h"

#include "console/Console.h"
#include "console/Printable.h"

#include <algorithm>

std::string FormatDiagnostic(std::string_view text, std::span<const std::string> arguments) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // "{N}", one digit: the N-th argument.
    if (text[i] == '{' && i + 2 < text.size() && text[i + 2] == '}' && text[i + 1] >= '0' &&
        text[i + 1] <= '9') {
      const auto index = static_cast<std::size_t>(text[i + 1] - '0');
      if (index < arguments.size()) {
        result += arguments[index];
      }
      i += 2;
    } else {
      result += text[i];
    }
  }
  return result;
}

std::string Counted(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + ' ' + std::string(count == 1 ? one : many);
}

Reporter::Reporter(std::string_view fileName, ReporterOptions options)
    : FileName(Printable(fileName)), Options(options) {}

Reporter::KindCount& Reporter::FindCount(const DiagnosticKind& kind) {
  auto found = std::find_if(Counts.begin(), Counts.end(),
                            [&kind](const KindCount& count) { return count.Kind == &kind; });
  if (found == Counts.end()) {
    Counts.push_back({&kind, 0, 0});
    found = Counts.end() - 1;
  }
  LastCount = &*found;
  return *found;
}

void Reporter::Keep(const DiagnosticKind& kind, std::uint64_t line, std::uint64_t column,
                    std::string message) {
  // Without a cap the records could grow with the file: print them in blocks (each with the
  // note of its last record, which comes before the next record).
  if (Options.All && Records.size() >= 4096) {
    PrintRecords(false);
  }
  ++CountOf(kind).Kept;
  if (Options.KindNames) {
    message += std::string(" [") + kind.Name + "]";
  }
  Records.push_back(
      {{line, column, std::move(message)}, &kind, CountsAsError(kind), std::nullopt, {}});
}

void Reporter::AddNote(std::uint64_t line, std::uint64_t column, const DiagnosticKind& kind,
                       std::span<const std::string> arguments) {
  if (LastKept && !Records.empty()) {
    Records.back().NoteAt = Place{line, column, FormatDiagnostic(kind.Text, arguments)};
  }
}

std::uint64_t Reporter::WithdrawKind(const DiagnosticKind& kind) {
  KindCount& count = CountOf(kind);
  const std::uint64_t found = count.Found;
  if (kind.Level != Severity::Note) {
    (CountsAsError(kind) ? Errors : Warnings) -= found;
  }
  count.Found = 0;
  count.Kept = 0;
  count.Muted = false;
  std::erase_if(Records, [&kind](const Record& record) { return record.Kind == &kind; });
  return found;
}

namespace {

// The margin before a shown line: its number, right-aligned, or as many spaces.
std::string Gutter(std::uint64_t line, bool numbered) {
  std::string number = std::to_string(line);
  number.insert(0, number.size() < 5 ? 5 - number.size() : 0, ' ');
  return (numbered ? number : std::string(number.size(), ' ')) + ' ';
}

} // namespace

void Reporter::Print(const Record& record, std::string& text) const {
  const auto line = [&](const Place& at, const char* level) {
    // Column 0: the place is a whole line (FILE:LINE:, as gettext's tools write it).
    text += FileName + ':' + std::to_string(at.Line) +
            (at.Column != 0 ? ':' + std::to_string(at.Column) : std::string()) + ": " + level +
            ": " + at.Message + '\n';
  };
  line(record.At, record.Error                           ? "error"
                  : record.Kind->Level == Severity::Note ? "note"
                                                         : "warning");
  ShowLine(record.At, text);
  if (!record.Fix.empty() && Lines != nullptr) {
    text += Gutter(record.At.Line, false) + "| fix: " + record.Fix + '\n';
  }
  if (record.NoteAt) {
    line(*record.NoteAt, "note");
    ShowLine(*record.NoteAt, text);
  }
}

void Reporter::ShowLine(const Place& at, std::string& text) const {
  std::vector<Unit> units;
  if (Lines == nullptr || at.Column == 0 || !Lines->Line(at.Line, units)) {
    return;
  }
  // A long line is shown around the column, as much as a terminal holds.
  constexpr std::size_t Around = 60;
  const std::size_t caret = std::min<std::uint64_t>(at.Column - 1, units.size());
  const std::size_t first = caret > Around ? caret - Around : 0;
  const std::size_t last = std::min(units.size(), caret + Around);
  std::size_t column = 0;
  std::string shown =
      ShownUnits(std::span<const Unit>(units).subspan(first, last - first), caret - first, column);
  if (first != 0) {
    shown.insert(0, "...");
    column += 3;
  }
  if (last != units.size()) {
    shown += "...";
  }
  text += Gutter(at.Line, true) + "| " + shown + '\n' + Gutter(at.Line, false) + "| " +
          std::string(column, ' ') + "^\n";
}

void Reporter::Write(std::string_view text) const {
  if (Options.ToError) {
    ConsoleWriteError(text);
  } else {
    ConsoleWrite(text);
  }
}

void Reporter::Flush() {
  PrintRecords(true);
}

void Reporter::PrintRecords(bool all) {
  // A block printed before the end leaves the kinds that may yet be withdrawn for the end.
  std::vector<Record> held;
  if (!all) {
    const auto isHeld = [this](const Record& record) {
      return std::find(Held.begin(), Held.end(), record.Kind) != Held.end();
    };
    std::copy_if(std::make_move_iterator(Records.begin()), std::make_move_iterator(Records.end()),
                 std::back_inserter(held), isHeld);
    std::erase_if(Records, isHeld);
  }
  std::stable_sort(Records.begin(), Records.end(), [](const Record& a, const Record& b) {
    return a.At.Line != b.At.Line ? a.At.Line < b.At.Line : a.At.Column < b.At.Column;
  });
  std::string text;
  std::vector<std::uint64_t> printed(Counts.size());
  for (const Record& record : Records) {
    Print(record, text);
    // After the last one printed of a kind that went past its cap: how many more there are.
    const KindCount& count = CountOf(*record.Kind);
    if (++printed[static_cast<std::size_t>(&count - Counts.data())] == count.Kept && !Options.All &&
        count.Found > count.Kept) {
      text += FileName + ": " + std::to_string(count.Found - count.Kept) + " more like this" +
              Options.MoreHint + "\n";
    }
    if (text.size() >= 65536) {
      Write(text);
      text.clear();
    }
  }
  Write(text);
  Records = std::move(held);
}
