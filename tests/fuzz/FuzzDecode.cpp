// The decoder over arbitrary bytes: it agrees with the unit-at-a-time reference wherever chunks
// end, counts one id field per entry, and a well-formed table comes back through the encoder.
#include "MemoryUnits.h"
#include "Promise.h"
#include "convert/DecodeUnits.h"
#include "convert/EncodeUnits.h"

namespace {

// Every entry terminated, the end marker present, no LF in any text: such a table survives a
// round trip byte for byte up to its end marker.
bool WellFormed(const UnitVector& table, std::size_t& endMarker) {
  bool atId = true;
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (atId) {
      if (table[i] == 0xFFFF) {
        endMarker = i;
        return true;
      }
      atId = false;
    } else if (table[i] == 0x000A) {
      return false;
    } else if (table[i] == 0x0000) {
      atId = true;
    }
  }
  return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t chunk = 1;
  const UnitVector input = FuzzUnits(data, size, chunk);
  MemorySource source{input, chunk};
  MemorySink sink;
  const std::uint64_t entries = DecodeUnits(source, sink);
  const ReferenceResult reference = ReferenceDecode(input);
  Promise(sink.Output == reference.Output);
  Promise(entries == reference.Count);

  std::size_t endMarker = 0;
  if (WellFormed(input, endMarker)) {
    MemorySource dump{sink.Output, chunk};
    MemorySink table;
    EncodeUnits(dump, table);
    const UnitVector expected(input.begin(), input.begin() + static_cast<long>(endMarker) + 1);
    Promise(table.Output == expected);
  }
  return 0;
}
