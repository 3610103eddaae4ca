#include "check/SlipReport.h"

#include "check/CheckKinds.h"
#include "convert/EncodeUnits.h"

#include <algorithm>
#include <span>
#include <string>
#include <vector>

void ReportSlip(Slip& slip, bool atEnd, bool cutShort, Reporter& out) {
  slip.Open = false;
  const bool empty = slip.LastEmptyLine != 0;
  const std::uint64_t line = slip.FirstLine;
  if (atEnd && cutShort) {
    if (empty && slip.NextLine == 0) {
      out.Report(slip.LastEmptyLine == line ? CheckKind::EmptyLineAtEnd
                                            : CheckKind::EmptyLinesAtEnd,
                 line, 1, {LineRange(line, slip.LastEmptyLine)});
    } else {
      out.Report(CheckKind::ShortLineAtEnd, line, 1, {std::to_string(line)});
    }
    return;
  }
  std::vector<std::string> made;
  for (std::size_t i = 0; i < slip.MadeCount; ++i) {
    const Slip::Entry& entry = slip.Made[i];
    made.push_back(
        DescribeEntry(entry.Id, std::span<const Unit>(entry.Text.data(), entry.Length), entry.Cut));
  }
  const Slip::Entry& last = slip.Made[slip.MadeCount - 1];
  if (atEnd && slip.MoreMade == 0 && !last.Terminated && !last.Cut && last.Id != EndMarkerId) {
    if (empty && slip.NextLine == 0) {
      out.Report(CheckKind::EmptyLinesCutTable, line, 1,
                 {LineRange(line, slip.LastEmptyLine), IdText(last.Id)});
    } else {
      out.Report(CheckKind::ShortLineCutsTable, line, 1, {std::to_string(line), IdText(last.Id)});
    }
    return;
  }
  const std::string entries = JoinEntries(made, slip.MoreMade);
  // The entry the user meant to start on the next line, when the encoder makes none with its id.
  std::string lost;
  if (slip.NextHeadLength >= 4) {
    bool digits = true;
    for (std::size_t i = 0; i < 4; ++i) {
      digits = digits && IdFieldDigit(slip.NextHead[i]) != NotAHexDigit;
    }
    const Unit meant = IdFieldValue(slip.NextHead.data());
    const bool madeOne = std::any_of(slip.Made.begin(), slip.Made.begin() + slip.MadeCount,
                                     [meant](const Slip::Entry& e) { return e.Id == meant; });
    if (digits && !madeOne) {
      lost = LostEntry(meant, slip.NextLine);
    }
  }
  if (empty) {
    out.Report(slip.LastEmptyLine == line ? CheckKind::EmptyLine : CheckKind::EmptyLines, line, 1,
               {LineRange(line, slip.LastEmptyLine), entries + lost});
    out.FixIt(slip.LastEmptyLine == line ? "delete line " + std::to_string(line)
                                         : "delete lines " + LineRange(line, slip.LastEmptyLine));
  } else {
    out.Report(CheckKind::ShortLine, line, 1,
               {std::to_string(line), line > 1 ? TextGoesOn(line - 1) : "",
                QuotedUnits(std::span<const Unit>(slip.Field.data(), slip.FieldLength)), entries,
                lost});
    if (line > 1) {
      out.FixIt("join lines " + std::to_string(line - 1) + " and " + std::to_string(line));
    }
  }
}
