// The units of a text that the checker looks at more closely, found 64 at a time by masks, as the
// conversions find their line ends and terminators. A dump's texts add "=", since four hex digits
// and "=" inside a text are where two lines were joined.
#pragma once

#include "convert/FindUnit.h"
#include "convert/Formats.h"

#include <cstdint>

// Whether a text unit needs a closer look when a text is checked: a NUL or an LF (which end or
// split an entry), a CR (a line end from another system), U+0085, U+2028 or U+2029 (which an
// editor may show as a line break), or a surrogate, U+FEFF, U+FFFE or U+FFFF (all at or above
// U+D800); with `Equals`, "=" too, for a dump. The other controls below CR come along, since one
// test of "at most CR" is cheaper than three: a look tells that they are plain.
template <bool Equals = false> inline bool IsSpecialTextUnit(Unit unit) {
  return (Equals && unit == IdFieldEnd) || unit <= 0x000D || unit == 0x0085 ||
         (unit & 0xFFFE) == 0x2028 || unit >= 0xD800;
}

#if defined(__SSE2__)
// All ones in each lane of `units` that holds a special text unit.
template <bool Equals = false> inline __m128i SpecialTextLanes(__m128i units) {
  const __m128i low =
      _mm_cmpeq_epi16(_mm_subs_epu16(units, _mm_set1_epi16(0x000D)), _mm_setzero_si128());
  // At or above U+D800: a signed comparison once the top bit is flipped.
  const __m128i high =
      _mm_cmpgt_epi16(_mm_xor_si128(units, _mm_set1_epi16(-0x8000)), _mm_set1_epi16(0x57FF));
  const __m128i breaks =
      _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(0x0085)),
                   _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFFFE))),
                                   _mm_set1_epi16(0x2028)));
  const __m128i special = _mm_or_si128(_mm_or_si128(low, high), breaks);
  if constexpr (Equals) {
    return _mm_or_si128(special, _mm_cmpeq_epi16(units, _mm_set1_epi16(IdFieldEnd)));
  }
  return special;
}
#endif

// The first special text unit in [first, last), or `last`: the checkers skip plain text with it.
template <bool Equals = false>
inline const Unit* FindSpecialTextUnit(const Unit* first, const Unit* last) {
#if defined(__SSE2__)
  while (last - first >= 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(SpecialTextLanes<Equals>(units)));
    if (mask != 0) {
      return first + std::countr_zero(mask) / 2;
    }
    first += 8;
  }
#endif
  while (first != last && !IsSpecialTextUnit<Equals>(*first)) {
    ++first;
  }
  return first;
}

// Bit i set where first[i] is a special text unit, for the 64 units at `first`; the second
// argument is not used, so that it serves as a UnitMasker.
template <bool Equals = false>
inline std::uint64_t SpecialTextMask(const Unit* first, Unit /*unused*/) {
#if defined(__SSE2__)
  return LaneMask64(first, SpecialTextLanes<Equals>);
#else
  std::uint64_t mask = 0;
  for (std::ptrdiff_t i = 0; i < 64; ++i) {
    mask |= static_cast<std::uint64_t>(IsSpecialTextUnit<Equals>(first[i])) << i;
  }
  return mask;
#endif
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// SpecialTextMask with 256-bit vectors.
template <bool Equals = false>
VORLANTH_WIDE inline std::uint64_t SpecialTextMaskWide(const Unit* first, Unit /*unused*/) {
  // As SpecialTextLanes, 16 units a vector.
  // (Capturing, so that no conversion to a plain function, built without AVX, is made.)
  const __m256i zero = _mm256_setzero_si256();
  const auto lanes = [zero](const Unit* at) VORLANTH_WIDE {
    const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i low =
        _mm256_cmpeq_epi16(_mm256_subs_epu16(units, _mm256_set1_epi16(0x000D)), zero);
    const __m256i high = _mm256_cmpgt_epi16(_mm256_xor_si256(units, _mm256_set1_epi16(-0x8000)),
                                            _mm256_set1_epi16(0x57FF));
    const __m256i breaks = _mm256_or_si256(
        _mm256_cmpeq_epi16(units, _mm256_set1_epi16(0x0085)),
        _mm256_cmpeq_epi16(_mm256_and_si256(units, _mm256_set1_epi16(static_cast<short>(0xFFFE))),
                           _mm256_set1_epi16(0x2028)));
    const __m256i special = _mm256_or_si256(_mm256_or_si256(low, high), breaks);
    if constexpr (Equals) {
      return _mm256_or_si256(special, _mm256_cmpeq_epi16(units, _mm256_set1_epi16(IdFieldEnd)));
    }
    return special;
  };
  return LaneMask64Wide(first, lanes);
}
#else
template <bool Equals = false>
inline std::uint64_t SpecialTextMaskWide(const Unit* first, Unit unused) {
  return SpecialTextMask<Equals>(first, unused);
}
#endif
