#include "convert/FindUnit.h"

#include <cstdlib>

namespace {

// Test builds can be told to use the narrow scan on any processor, so that both paths are tested
// end to end; a release build always takes the widest the processor has.
[[maybe_unused]] bool NarrowScanForced() {
#if defined(VORLANTH_TEST_HOOKS)
  return std::getenv("VORLANTH_NARROW_SCAN") != nullptr;
#else
  return false;
#endif
}

} // namespace

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

namespace {

__attribute__((target("avx2"))) inline __m256i Equal(const Unit* at, __m256i needle) {
  return _mm256_cmpeq_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), needle);
}

__attribute__((target("avx2"))) inline unsigned Mask(__m256i equal) {
  return static_cast<unsigned>(_mm256_movemask_epi8(equal));
}

// Packing two vectors works on each 128-bit half apart, which leaves a's units 8-15 after b's
// units 0-7: put the four quarters back in the units' order.
__attribute__((target("avx2"))) inline __m256i InOrder(__m256i packed) {
  return _mm256_permute4x64_epi64(packed, 0xD8);
}

} // namespace

__attribute__((target("avx2"))) const Unit* FindUnitWide(const Unit* first, const Unit* last,
                                                         Unit value) {
  const __m256i needle = _mm256_set1_epi16(static_cast<short>(value));
  // As in FindUnit: four vectors tested together, the lanes looked at only once one matched.
  while (last - first >= 64) {
    const __m256i a = Equal(first, needle);
    const __m256i b = Equal(first + 16, needle);
    const __m256i c = Equal(first + 32, needle);
    const __m256i d = Equal(first + 48, needle);
    const __m256i any = _mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d));
    if (_mm256_testz_si256(any, any) == 0) {
      const unsigned ab = Mask(InOrder(_mm256_packs_epi16(a, b)));
      if (ab != 0) {
        return first + std::countr_zero(ab);
      }
      return first + 32 + std::countr_zero(Mask(InOrder(_mm256_packs_epi16(c, d))));
    }
    first += 64;
  }
  while (last - first >= 16) {
    if (const unsigned mask = Mask(Equal(first, needle)); mask != 0) {
      return first + std::countr_zero(mask) / 2;
    }
    first += 16;
  }
  return FindUnit(first, last, value);
}

bool WideScanAvailable() {
  static const bool available =
      __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") && !NarrowScanForced();
  return available;
}

#else

const Unit* FindUnitWide(const Unit* first, const Unit* last, Unit value) {
  return FindUnit(first, last, value);
}

bool WideScanAvailable() {
  return false;
}

#endif
