// Finding the next occurrence of one unit: the decoder's terminator and the encoder's line end.
// Text runs are long, so this scan is where conversion spends its time.
#pragma once

#include "io/Unit.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The first unit equal to `value` in [first, last), or `last`.
inline const Unit* FindUnit(const Unit* first, const Unit* last, Unit value) {
#if defined(__SSE2__)
  const __m128i needle = _mm_set1_epi16(static_cast<short>(value));
  const auto equal = [needle](const Unit* at) {
    return _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), needle);
  };
  // 32 units a step, tested together; the lanes are looked at only once one of them matched.
  while (last - first >= 32) {
    const __m128i a = equal(first);
    const __m128i b = equal(first + 8);
    const __m128i c = equal(first + 16);
    const __m128i d = equal(first + 24);
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) != 0) {
      const auto low = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
      if (low != 0) {
        return first + std::countr_zero(low);
      }
      const auto high = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(c, d)));
      return first + 16 + std::countr_zero(high);
    }
    first += 32;
  }
  while (last - first >= 8) {
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(equal(first)));
    if (mask != 0) {
      return first + std::countr_zero(mask) / 2;
    }
    first += 8;
  }
#endif
  while (first != last && *first != value) {
    ++first;
  }
  return first;
}

#if defined(__SSE2__)
// Bit i set where `lanes` (all ones in each lane that passes a test of 8 units) passes first[i],
// for the 64 units at `first`.
template <class Lanes> std::uint64_t LaneMask64(const Unit* first, Lanes lanes) {
  std::uint64_t mask = 0;
  for (std::ptrdiff_t part = 0; part < 4; ++part) {
    const auto* at = reinterpret_cast<const __m128i*>(first + part * 16);
    const __m128i a = lanes(_mm_loadu_si128(at));
    const __m128i b = lanes(_mm_loadu_si128(at + 1));
    const auto bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
    mask |= static_cast<std::uint64_t>(bits) << (part * 16);
  }
  return mask;
}
#endif

// Bit i set where first[i] equals `value`, for the 64 units at `first`.
inline std::uint64_t UnitMask(const Unit* first, Unit value) {
#if defined(__SSE2__)
  const __m128i needle = _mm_set1_epi16(static_cast<short>(value));
  return LaneMask64(first, [needle](__m128i units) { return _mm_cmpeq_epi16(units, needle); });
#else
  std::uint64_t mask = 0;
  for (std::ptrdiff_t i = 0; i < 64; ++i) {
    mask |= static_cast<std::uint64_t>(first[i] == value) << i;
  }
  return mask;
#endif
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
// Code built for processors with AVX2 and BMI2 whatever the rest of the program is built for, so
// that one static build runs everywhere and still uses them where they are: it runs only when
// WideScanAvailable() says so.
#define VORLANTH_WIDE __attribute__((target("avx2,bmi,bmi2")))

// Bit i set where `lanes` (all ones in each lane that passes a test of the 16 units at a place)
// passes first[i], for the 64 units at `first`.
template <class Lanes>
VORLANTH_WIDE inline std::uint64_t LaneMask64Wide(const Unit* first, Lanes lanes) {
  // Packing works on each 128-bit half apart: the permutation puts the quarters back in order.
  const auto bits = [](__m256i a, __m256i b) VORLANTH_WIDE {
    return static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_permute4x64_epi64(_mm256_packs_epi16(a, b), 0xD8)));
  };
  const std::uint32_t low = bits(lanes(first), lanes(first + 16));
  const std::uint32_t high = bits(lanes(first + 32), lanes(first + 48));
  return static_cast<std::uint64_t>(high) << 32 | low;
}

// UnitMask with 256-bit vectors.
VORLANTH_WIDE inline std::uint64_t UnitMaskWide(const Unit* first, Unit value) {
  const __m256i needle = _mm256_set1_epi16(static_cast<short>(value));
  return LaneMask64Wide(first, [needle](const Unit* at) VORLANTH_WIDE {
    return _mm256_cmpeq_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), needle);
  });
}
#else
#define VORLANTH_WIDE
inline std::uint64_t UnitMaskWide(const Unit* first, Unit value) {
  return UnitMask(first, value);
}
#endif

// Either mask; the conversions' block paths are built once for each.
using UnitMasker = std::uint64_t (*)(const Unit* first, Unit value);

// Finds the ends of entries in order, from a mask of one unit's places among 64 units at a time:
// a run of short entries costs a mask a 64 units and a few instructions an entry, not a scan
// each. The masks tile [first, last - ReadAhead), so that a fixed-width move of up to ReadAhead
// units from anywhere before an end found stays inside [first, last). `Skip` is how many units
// from an end on cannot be the next end: the end itself and what starts the next entry.
template <UnitMasker Mask, unsigned Skip> class MaskedScan {
public:
  static constexpr std::ptrdiff_t ReadAhead = 32;

  // Whether [first, last) holds at least one window.
  static bool Fits(const Unit* first, const Unit* last) { return last - first >= 64 + ReadAhead; }

  // Call only when Fits(first, last).
  MaskedScan(const Unit* first, const Unit* last, Unit value)
      : LastBase(last - ReadAhead - 64), Value(value), Base(first), Bits(Mask(first, value)) {}

  // Whether the window holds no end that is not taken yet.
  [[nodiscard]] bool Empty() const { return Bits == 0; }

  // Moves on to the first window with an end at or after `from`, the start of the entry's text;
  // false when there is none before the last window's end.
  bool Refill(const Unit* from) {
    do {
      Base += 64;
      if (Base > LastBase) {
        return false;
      }
      Bits = Mask(Base, Value);
      if (from > Base) {
        Bits &= ~std::uint64_t{0} << (from - Base); // the start of the entry spilled over
      }
    } while (Bits == 0);
    return true;
  }

  // Where the window ends: the ends found so far lie before it.
  [[nodiscard]] const Unit* WindowEnd() const { return Base + 64; }

  // The next end; call only when the window is not empty.
  const Unit* Take() {
    const int at = std::countr_zero(Bits);
    Bits &= ~(SkipBits << at);
    return Base + at;
  }

  // The next place found, without taking it: for scans whose places are not all ends.
  [[nodiscard]] const Unit* Peek() const { return Base + std::countr_zero(Bits); }

  // Takes the next place found as a place inside an entry, with the `count` - 1 units after it
  // that belong with it (inside the window: those past it are still found in the next one).
  void Drop(unsigned count) {
    Bits &= ~(((std::uint64_t{1} << count) - 1) << std::countr_zero(Bits));
  }

private:
  static constexpr std::uint64_t SkipBits = (std::uint64_t{1} << Skip) - 1;
  const Unit* LastBase; // the last window starts at or before it
  Unit Value;
  const Unit* Base; // the window is [Base, Base + 64)
  std::uint64_t Bits;
};

// Moves 32 units.
inline void Copy32(Unit* to, const Unit* from) {
  std::memcpy(to, from, 32 * sizeof(Unit));
}
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
VORLANTH_WIDE inline void Copy32Wide(Unit* to, const Unit* from) {
  const auto* source = reinterpret_cast<const __m256i*>(from);
  auto* target = reinterpret_cast<__m256i*>(to);
  const __m256i a = _mm256_loadu_si256(source);
  const __m256i b = _mm256_loadu_si256(source + 1);
  _mm256_storeu_si256(target, a);
  _mm256_storeu_si256(target + 1, b);
}
#else
inline void Copy32Wide(Unit* to, const Unit* from) {
  Copy32(to, from);
}
#endif

// Moves `count` units in steps of 32, whatever the count (none included): the source is readable,
// and the destination has room, for 32 units past the last. A short text, as most are, is one
// step and one test.
template <bool Wide>
[[gnu::always_inline]] inline void CopyInSteps(Unit* to, const Unit* from, std::size_t count) {
  constexpr auto Step = Wide ? Copy32Wide : Copy32;
  Step(to, from);
  for (std::size_t done = 32; done < count; done += 32)
    [[unlikely]] {
      Step(to + done, from + done);
    }
}

// FindUnit with 256-bit vectors, 64 units a step. It is built for processors with AVX2 whatever
// the rest of the program is built for, so that one static build runs everywhere and still uses
// them where they are: call it only when WideScanAvailable() says so.
const Unit* FindUnitWide(const Unit* first, const Unit* last, Unit value);
bool WideScanAvailable();

// Either search; the conversions are built once for each and pick one per run.
using UnitFinder = const Unit* (*)(const Unit* first, const Unit* last, Unit value);
