// The page's converter: both conversions over the file the page hands it, streamed through the
// worker in pieces, so that a file of any size converts with the same few MiB of memory. The
// worker supplies the bytes (Module.vlRead, which reads the next piece of the chosen file) and
// takes the result (Module.vlWrite); this file only drives the conversions, exactly as the
// converter's own run does between reading and writing.
#include "convert/Conversions.h"
#include "io/InOutError.h"

#include <emscripten.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <vector>

namespace {

// The worker's side: how many bytes it put at `buffer` (0 at the end of the file), and where the
// result's bytes go.
EM_JS(int, ReadPiece, (void* buffer, int room), { return Module.vlRead(buffer, room); });
EM_JS(void, WritePiece, (const void* buffer, int length), { Module.vlWrite(buffer, length); });

constexpr std::size_t PieceUnits = std::size_t{1} << 19; // 1 MiB, as the programs' own buffers

// The units of the file in pieces; a byte left over at the end belongs to no unit, as in a
// RecordFile.
struct PieceSource {
  std::vector<Unit> Buffer = std::vector<Unit>(PieceUnits);
  std::size_t Start = 0;
  std::size_t End = 0;
  bool Odd = false; // the byte just past End waits for its partner
  std::uint64_t Bytes = 0;

  std::span<const Unit> Peek() {
    if (Start == End) {
      Refill();
    }
    return {Buffer.data() + Start, End - Start};
  }
  void Advance(std::size_t count) { Start += count; }

  void Refill() {
    auto* bytes = reinterpret_cast<unsigned char*>(Buffer.data());
    std::size_t carried = 0;
    if (Odd) {
      bytes[0] = bytes[End * sizeof(Unit)];
      carried = 1;
    }
    Start = 0;
    End = 0;
    Odd = false;
    for (;;) {
      const int got = ReadPiece(bytes + carried, static_cast<int>(PieceUnits * 2 - carried));
      if (got < 0) {
        RaiseInOutError(5); // the browser refused to read the file
      }
      if (got == 0) {
        return; // a byte still carried has no partner: it is dropped, as a RecordFile does
      }
      Bytes += static_cast<std::uint64_t>(got);
      const std::size_t total = carried + static_cast<std::size_t>(got);
      if (total >= sizeof(Unit)) {
        End = total / sizeof(Unit);
        Odd = total % sizeof(Unit) != 0;
        return;
      }
      carried = total;
    }
  }
};

// The result, handed to the worker a buffer at a time.
struct PieceSink {
  std::vector<Unit> Buffer = std::vector<Unit>(PieceUnits);
  std::size_t Pending = 0;
  std::vector<Unit> Side;
  Unit* Lent = nullptr;

  void Flush() {
    if (Pending != 0) {
      WritePiece(Buffer.data(), static_cast<int>(Pending * sizeof(Unit)));
      Pending = 0;
    }
  }
  void Put(const Unit* units, std::size_t count) {
    while (count != 0) {
      if (Pending == Buffer.size()) {
        Flush();
      }
      const std::size_t part = std::min(count, Buffer.size() - Pending);
      std::memcpy(Buffer.data() + Pending, units, part * sizeof(Unit));
      Pending += part;
      units += part;
      count -= part;
    }
  }
  void PutUnit(Unit unit) { Put(&unit, 1); }
  Unit* Reserve(std::size_t count) {
    if (Buffer.size() - Pending < count) {
      Flush();
    }
    if (Buffer.size() - Pending >= count) {
      Lent = nullptr;
      return Buffer.data() + Pending;
    }
    Side.resize(std::max(Side.size(), count));
    Lent = Side.data();
    return Lent;
  }
  void Commit(std::size_t count) {
    if (Lent != nullptr) {
      Put(Lent, count);
    } else {
      Pending += count;
    }
  }
};

std::string Message;
double Count = 0;

} // namespace

extern "C" {

// Converts the file the worker reads out: decodes a table (encode 0) or encodes a dump (1).
// Returns 0 after success (the count in VorlanthCount), 1 after a failure or a refusal (its words
// in VorlanthMessage, as the converter prints them).
EMSCRIPTEN_KEEPALIVE int VorlanthConvert(int encode) {
  Message.clear();
  Count = 0;
  try {
    PieceSource source;
    PieceSink sink;
    if (encode == 0) {
      WriteDumpHead(sink);
      Count = static_cast<double>(DecodeBody(source, sink));
    } else {
      if (!ReadDumpHead(source)) {
        Message = "ERROR: Not UTF-16 LE (or headerless) encoding. Reencode then try again.";
        return 1;
      }
      Count = static_cast<double>(EncodeBody(source, sink));
    }
    sink.Flush();
    return 0;
  } catch (const Exception& failure) {
    Message = failure.Message;
  } catch (const std::bad_alloc&) {
    Message = "Out of memory";
  }
  return 1;
}

EMSCRIPTEN_KEEPALIVE const char* VorlanthMessage() {
  return Message.c_str();
}

EMSCRIPTEN_KEEPALIVE double VorlanthCount() {
  return Count;
}

} // extern "C"
