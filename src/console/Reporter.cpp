#include "console/Reporter.h"

#include "console/Console.h"

#include <algorithm>

std::string FormatDiagnostic(std::string_view text, std::initializer_list<std::string> arguments) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t close = text.find('}', i);
    if (text[i] == '{' && close != std::string_view::npos && close == i + 2 && text[i + 1] >= '0' &&
        text[i + 1] <= '9') {
      const auto index = static_cast<std::size_t>(text[i + 1] - '0');
      if (index < arguments.size()) {
        result += *(arguments.begin() + index);
      }
      i = close;
    } else {
      result += text[i];
    }
  }
  return result;
}

std::string Counted(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + ' ' + std::string(count == 1 ? one : many);
}

bool Reporter::CountsAsError(const DiagnosticKind& kind) const {
  return kind.Level == Severity::Error || (Options.Strict && kind.Level == Severity::Warning);
}

void Reporter::Add(const DiagnosticKind& kind, std::uint64_t line, std::uint64_t column,
                   std::string message) {
  const bool error = CountsAsError(kind);
  ++(error ? Errors : Warnings);
  ++Found[&kind];
  LastKept = (error || !Options.Quiet) && (Options.All || Kept[&kind] < CapPerKind);
  if (!LastKept) {
    return;
  }
  // Without a cap the records could grow with the file: print them in blocks (each with the
  // note of its last record, which comes before the next record).
  if (Options.All && Records.size() >= 4096) {
    Flush();
  }
  ++Kept[&kind];
  Records.push_back({{line, column, std::move(message)}, &kind, error, std::nullopt});
}

void Reporter::AddNote(std::uint64_t line, std::uint64_t column, std::string message) {
  if (LastKept && !Records.empty()) {
    Records.back().NoteAt = Place{line, column, std::move(message)};
  }
}

void Reporter::WithdrawKind(const DiagnosticKind& kind) {
  const std::uint64_t count = Found[&kind];
  (CountsAsError(kind) ? Errors : Warnings) -= count;
  Found[&kind] = 0;
  Kept[&kind] = 0;
  std::erase_if(Records, [&kind](const Record& record) { return record.Kind == &kind; });
}

void Reporter::Print(const Record& record, std::string& text) const {
  const auto line = [&](const Place& at, const char* level) {
    // Column 0: the place is a whole line (FILE:LINE:, as gettext's tools write it).
    text += FileName + ':' + std::to_string(at.Line) +
            (at.Column != 0 ? ':' + std::to_string(at.Column) : std::string()) + ": " + level +
            ": " + at.Message + '\n';
  };
  line(record.At, record.Error ? "error" : "warning");
  if (record.NoteAt) {
    line(*record.NoteAt, "note");
  }
}

void Reporter::Flush() {
  std::stable_sort(Records.begin(), Records.end(), [](const Record& a, const Record& b) {
    return a.At.Line != b.At.Line ? a.At.Line < b.At.Line : a.At.Column < b.At.Column;
  });
  std::string text;
  std::map<const DiagnosticKind*, std::uint64_t> printed;
  for (const Record& record : Records) {
    Print(record, text);
    // After the last one printed of a kind that went past its cap: how many more there are.
    const std::uint64_t kept = Kept[record.Kind];
    if (++printed[record.Kind] == kept && !Options.All && Found[record.Kind] > kept) {
      text += FileName + ": " + std::to_string(Found[record.Kind] - kept) + " more like this\n";
    }
    if (text.size() >= 65536) {
      ConsoleWrite(text);
      text.clear();
    }
  }
  ConsoleWrite(text);
  Records.clear();
}
