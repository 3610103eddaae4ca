// The two conversions whole, as any front end drives them: what happens between reading and
// writing, with no console, no files and no ending of the process. A front end opens its input
// and output, calls the head, then the body, and says what it likes in between; the format's
// own failures come back as values (a dump without its byte-order mark) or as the failure classes
// ("Read beyond end of file" for a file cut short).
#pragma once

#include "convert/DecodeUnits.h"
#include "convert/EncodeUnits.h"
#include "convert/Formats.h"
#include "io/InOutError.h"

#include <cstdint>

// Decoding: the dump's head is its byte-order mark.
template <class Sink> void WriteDumpHead(Sink& sink) {
  sink.PutUnit(TextBom);
}

// Decodes the table's entries up to the end marker; returns how many lines the dump got.
template <class Source, class Sink> std::uint64_t DecodeBody(Source& source, Sink& sink) {
  return DecodeUnits(source, sink);
}

// Encoding: reads the dump's first unit. False when it is not the byte-order mark (the dump is
// not UTF-16 LE, or has no mark): nothing may be written then. A dump too short for one fails
// with "Read beyond end of file".
template <class Source> bool ReadDumpHead(Source& source) {
  const auto units = source.Peek();
  if (units.empty()) {
    RaiseInOutError(ReadBeyondEnd);
  }
  const Unit first = units[0];
  source.Advance(1);
  return first == TextBom;
}

// Encodes the dump's lines into a table with its end marker; returns how many lines it read. A
// dump whose last id field is cut short fails with "Read beyond end of file", after everything
// before it has gone to the sink.
template <class Source, class Sink> std::uint64_t EncodeBody(Source& source, Sink& sink) {
  const EncodeResult result = EncodeUnits(source, sink);
  if (result.IdFieldCutShort) {
    RaiseInOutError(ReadBeyondEnd);
  }
  return result.Lines;
}
