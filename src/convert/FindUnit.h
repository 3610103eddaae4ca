// Finding the next occurrence of one unit: the decoder's terminator and the encoder's line end.
// Text runs are long, so this scan is where conversion spends its time.
#pragma once

#include "io/Unit.h"

#include <bit>
#include <cstddef>
#include <cstdint>

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

// Bit i set where first[i] equals `value`, for the 64 units at `first`.
inline std::uint64_t UnitMask(const Unit* first, Unit value) {
#if defined(__SSE2__)
  const __m128i needle = _mm_set1_epi16(static_cast<short>(value));
  std::uint64_t mask = 0;
  for (std::ptrdiff_t part = 0; part < 4; ++part) {
    const auto* at = reinterpret_cast<const __m128i*>(first + part * 16);
    const __m128i a = _mm_cmpeq_epi16(_mm_loadu_si128(at), needle);
    const __m128i b = _mm_cmpeq_epi16(_mm_loadu_si128(at + 1), needle);
    const auto bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
    mask |= static_cast<std::uint64_t>(bits) << (part * 16);
  }
  return mask;
#else
  std::uint64_t mask = 0;
  for (std::ptrdiff_t i = 0; i < 64; ++i) {
    mask |= static_cast<std::uint64_t>(first[i] == value) << i;
  }
  return mask;
#endif
}

// UnitMask with 256-bit vectors; call it only when WideScanAvailable() says so.
std::uint64_t UnitMaskWide(const Unit* first, Unit value);

// Either mask; the conversions' block paths are built once for each.
using UnitMasker = std::uint64_t (*)(const Unit* first, Unit value);

// Finds the places of one unit in order, from a mask of its places among 64 units at a time: a
// run of short entries costs a mask a 64 units and a few instructions an entry, not a scan each.
template <UnitMasker Mask> class MaskedScan {
public:
  MaskedScan(const Unit* first, const Unit* last, Unit value)
      : Last(last), Value(value), Base(first), Bits(Mask(first, value)) {}

  // The first unit equal to the value at or after `from` (which never goes back), or nullptr when
  // it lies past the last full 64 units before `last`.
  const Unit* Next(const Unit* from) {
    if (from - Base >= 64) {
      Base = from;
      if (Last - Base < 64) {
        return nullptr;
      }
      Bits = Mask(Base, Value);
    }
    std::uint64_t found = Bits & (~std::uint64_t{0} << (from - Base));
    while (found == 0) {
      if (Last - (Base + 64) < 64) {
        return nullptr;
      }
      Base += 64;
      Bits = Mask(Base, Value);
      found = Bits;
    }
    return Base + std::countr_zero(found);
  }

private:
  const Unit* Last;
  Unit Value;
  const Unit* Base; // the mask covers [Base, Base + 64)
  std::uint64_t Bits;
};

// FindUnit with 256-bit vectors, 64 units a step. It is built for processors with AVX2 whatever
// the rest of the program is built for, so that one static build runs everywhere and still uses
// them where they are: call it only when WideScanAvailable() says so.
const Unit* FindUnitWide(const Unit* first, const Unit* last, Unit value);
bool WideScanAvailable();

// Either search; the conversions are built once for each and pick one per run.
using UnitFinder = const Unit* (*)(const Unit* first, const Unit* last, Unit value);

// Whether a text unit needs a closer look when a text is checked: a NUL or an LF (which end or
// split an entry), a CR (a line end from another system), U+0085, U+2028 or U+2029 (which an
// editor may show as a line break), or a surrogate, U+FEFF, U+FFFE or U+FFFF (all at or above
// U+D800).
inline bool IsSpecialTextUnit(Unit unit) {
  return unit == 0x0000 || unit == 0x000A || unit == 0x000D || unit == 0x0085 ||
         (unit & 0xFFFE) == 0x2028 || unit >= 0xD800;
}

// The first special text unit in [first, last), or `last`: the checkers skip plain text with it.
inline const Unit* FindSpecialTextUnit(const Unit* first, const Unit* last) {
#if defined(__SSE2__)
  const __m128i lineEnd = _mm_set1_epi16(0x000A);
  const __m128i carriageReturn = _mm_set1_epi16(0x000D);
  const __m128i nextLine = _mm_set1_epi16(0x0085);
  const __m128i separators = _mm_set1_epi16(0x2028);
  const __m128i separatorMask = _mm_set1_epi16(static_cast<short>(0xFFFE));
  const __m128i zero = _mm_setzero_si128();
  const __m128i belowSurrogates = _mm_set1_epi16(static_cast<short>(0xD7FF));
  while (last - first >= 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first));
    const __m128i plain = _mm_cmpeq_epi16(_mm_subs_epu16(units, belowSurrogates), zero);
    const __m128i breaks = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi16(units, carriageReturn), _mm_cmpeq_epi16(units, nextLine)),
        _mm_cmpeq_epi16(_mm_and_si128(units, separatorMask), separators));
    const __m128i ends = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi16(units, zero), _mm_cmpeq_epi16(units, lineEnd)), breaks);
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(ends)) |
                      (~static_cast<unsigned>(_mm_movemask_epi8(plain)) & 0xFFFFU);
    if (mask != 0) {
      return first + std::countr_zero(mask) / 2;
    }
    first += 8;
  }
#endif
  while (first != last && !IsSpecialTextUnit(*first)) {
    ++first;
  }
  return first;
}
