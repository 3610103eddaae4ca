// Between the encoder and the lines scanner.
#pragma once

#include "check/DumpLines.h"
#include "check/EncoderTrace.h"
#include "check/UnitReader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Hands the encoder small chunks and shows the lines scanner every unit it has used, once the
// trace has accounted for it: an id field that straddles two chunks is traced only when the
// encoder has read all of it, so the few units of a field still open are held back until then.
class EncoderTap {
public:
  static constexpr std::size_t Chunk = 16384;

  EncoderTap(UnitReader& inner, DumpLines& scanner, const EncoderTrace& trace)
      : Inner(inner), Scanner(scanner), Trace(trace) {}

  std::span<const Unit> Peek() {
    const std::span<const Unit> ready = Inner.Peek();
    return ready.first(ready.size() < Chunk ? ready.size() : Chunk);
  }

  void Advance(std::size_t count);

  // After the encoder has finished: the units it held back, then the rest of the dump.
  void Drain();

  std::uint64_t Used = 0;

private:
  void Release(std::size_t count);

  UnitReader& Inner;
  DumpLines& Scanner;
  const EncoderTrace& Trace;
  std::uint64_t Fed = 0;
  std::array<Unit, Chunk + IdFieldUnits> Held{};
  std::size_t HeldCount = 0;
};
