// The encoder over arbitrary units: it agrees with the unit-at-a-time reference wherever chunks
// end, stops short only inside an id field, and ends every table it completes with FFFF.
#include "MemoryUnits.h"
#include "Promise.h"
#include "convert/EncodeUnits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t chunk = 1;
  const UnitVector input = FuzzUnits(data, size, chunk);
  MemorySource source{input, chunk};
  MemorySink sink;
  const EncodeResult result = EncodeUnits(source, sink);
  const bool beyondEnd = result.IdFieldCutShort;
  const std::uint64_t lines = result.Lines;
  const ReferenceResult reference = ReferenceEncode(input);
  Promise(beyondEnd == reference.ReadBeyondEnd && sink.Output == reference.Output);
  Promise(beyondEnd || (lines == reference.Count && sink.Output.back() == 0xFFFF));
  return 0;
}
