// What the checker learns from the encoder as it runs over a dump.
#pragma once

#include "convert/Formats.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The encoder's output seen only for where each id field starts in the dump (offsets count units
// after the byte-order mark) and the id stored from it.
struct EncoderTrace {
  struct IdField {
    std::uint64_t Offset;
    Unit Id;
    bool WellFormed = false; // known to be four digits and "="; unknown when false
  };
  // A queue of at most about one chunk's worth, as the scanner takes them as it goes: kept in one
  // vector that starts over whenever all is taken (or drops its taken front once that is half of
  // it), so that a field costs a store.
  struct FieldQueue {
    std::vector<IdField> Items;
    std::size_t Taken = 0;
    [[nodiscard]] bool empty() const { return Taken == Items.size(); }
    [[nodiscard]] const IdField& front() const { return Items[Taken]; }
    [[nodiscard]] const IdField& back() const { return Items.back(); }
    void pop_front() { ++Taken; }
    void pop_back() { Items.pop_back(); }
    void push_back(IdField field) {
      if (Taken == Items.size()) {
        Items.clear();
        Taken = 0;
      } else if (Taken >= 4096 && 2 * Taken >= Items.size()) {
        Items.erase(Items.begin(), Items.begin() + static_cast<std::ptrdiff_t>(Taken));
        Taken = 0;
      }
      Items.push_back(field);
    }
  };
  FieldQueue Fields;
  std::uint64_t Offset = 0;
  bool InText = false;
  bool LastIdWasEndMarker = false;

  void Put(const Unit* /*units*/, std::size_t count) { Offset += count; }
  // A whole line from the encoder's block path.
  void Line(Unit id, std::size_t length, bool wellFormed) {
    Fields.push_back({Offset, id, wellFormed});
    Offset += IdFieldUnits + length + 1;
  }
  void PutUnit(Unit unit) {
    if (!InText) {
      // An id, or the end marker written at the end of the input (told apart afterwards).
      Fields.push_back({Offset, unit});
      LastIdWasEndMarker = unit == EndMarkerId;
      Offset += IdFieldUnits;
      InText = true;
    } else if (unit == TextTerminator) {
      Offset += 1; // the LF it came from
      InText = false;
    }
    // Otherwise the end marker after a last line without LF: it stands for no unit of the dump.
  }
};
