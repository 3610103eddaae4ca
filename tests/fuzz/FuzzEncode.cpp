// The encoder over arbitrary units: it agrees with the unit-at-a-time reference wherever chunks
// end, fails only with "Read beyond end of file", and ends every table it completes with FFFF.
#include "MemoryUnits.h"
#include "convert/EncodeUnits.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t chunk = 1;
  const UnitVector input = FuzzUnits(data, size, chunk);
  MemorySource source{input, chunk};
  MemorySink sink;
  bool beyondEnd = false;
  std::uint64_t lines = 0;
  try {
    lines = EncodeUnits(source, sink);
  } catch (const EInOutError& failure) {
    if (failure.ErrorCode != ReadBeyondEnd) {
      std::abort();
    }
    beyondEnd = true;
  }
  const ReferenceResult reference = ReferenceEncode(input);
  if (beyondEnd != reference.ReadBeyondEnd || sink.Output != reference.Output ||
      (!beyondEnd && (lines != reference.Count || sink.Output.back() != 0xFFFF))) {
    std::abort();
  }
  return 0;
}
