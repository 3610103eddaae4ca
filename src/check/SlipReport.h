// A slip: a line too short for an id field (or a run of empty lines) puts the encoder's id fields
// out of step with the lines until one starts a line again. Followed unit by unit, then reported
// once with the entries the encoder would make of it.
#pragma once

#include "console/Reporter.h"
#include "convert/Formats.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The entries the encoder would make once a line too short for an id field has put its id fields
// out of step with the lines: from the short line (or the first of a run of empty lines) until an
// id field starts a line again, or the file ends. Bounded: a few entries are described, the rest
// counted.
struct Slip {
  static constexpr std::size_t Described = 3;
  static constexpr std::size_t TextShown = 16;
  struct Entry {
    Unit Id = 0;
    std::uint64_t TextStart = 0;
    std::array<Unit, TextShown> Text{};
    std::size_t Length = 0;
    bool Cut = false;        // the text is longer than shown
    bool Terminated = false; // an LF ended it
  };

  bool Open = false;
  std::uint64_t FirstLine = 0;
  std::uint64_t LastEmptyLine = 0;        // 0 unless the slip begins with empty lines
  std::array<Unit, IdFieldUnits> Field{}; // the units of the first id field read out of step
  std::size_t FieldLength = 0;
  std::uint64_t NextLine = 0; // the first line after the short or empty ones
  std::array<Unit, IdFieldUnits> NextHead{};
  std::size_t NextHeadLength = 0;
  std::array<Entry, Described> Made{};
  std::size_t MadeCount = 0;
  std::uint64_t MoreMade = 0;

  void Start(std::uint64_t line, bool empty) {
    *this = Slip{};
    Open = true;
    FirstLine = line;
    LastEmptyLine = empty ? line : 0;
  }

  void Make(Unit id, std::uint64_t textStart) {
    if (MadeCount < Described) {
      Made[MadeCount].Id = id;
      Made[MadeCount++].TextStart = textStart;
    } else {
      ++MoreMade;
    }
  }

  // A unit at `offset`, read out of step.
  void Take(Unit unit, std::uint64_t offset) {
    if (FieldLength < IdFieldUnits) {
      Field[FieldLength++] = unit;
    }
    for (std::size_t i = 0; i < MadeCount; ++i) {
      Entry& entry = Made[i];
      if (entry.Terminated || entry.Cut || offset < entry.TextStart) {
        continue;
      }
      if (unit == LineEnd) {
        entry.Terminated = true;
      } else if (entry.Length < TextShown) {
        entry.Text[entry.Length++] = unit;
      } else {
        entry.Cut = true;
      }
    }
  }
};

// Says what the encoder makes of the lines since `slip` began, and closes it; `atEnd`: the file
// ended inside it, `cutShort`: inside an id field.
void ReportSlip(Slip& slip, bool atEnd, bool cutShort, Reporter& out);
