// Finding the next occurrence of one unit: the decoder's terminator and the encoder's line end.
// Text runs are long, so this scan is where conversion spends its time.
#pragma once

#include "io/RecordFile.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The first unit equal to `value` in [first, last), or `last`.
inline const Unit* FindUnit(const Unit* first, const Unit* last, Unit value) {
#if defined(__SSE2__)
  const __m128i needle = _mm_set1_epi16(static_cast<short>(value));
  while (last - first >= 16) {
    const __m128i a =
        _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(first)), needle);
    const __m128i b =
        _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(first + 8)), needle);
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
    if (mask != 0) {
      return first + __builtin_ctz(mask);
    }
    first += 16;
  }
#endif
  while (first != last && *first != value) {
    ++first;
  }
  return first;
}
