#include "check/EncoderTap.h"

#include <algorithm>

void EncoderTap::Advance(std::size_t count) {
  const std::span<const Unit> used = Inner.Peek().first(count);
  Used += count;
  const std::uint64_t traced = Trace.Offset < Used ? Trace.Offset : Used;
  // The units held back come first; the traced part of this chunk is shown where it lies, and
  // only the rest (a few units at most) is copied to be held.
  auto ready = static_cast<std::size_t>(traced - Fed);
  const std::size_t fromHeld = ready < HeldCount ? ready : HeldCount;
  Release(fromHeld);
  ready -= fromHeld;
  Scanner.Feed(used.first(ready));
  Fed += ready;
  std::copy(used.begin() + static_cast<std::ptrdiff_t>(ready), used.end(),
            Held.begin() + static_cast<std::ptrdiff_t>(HeldCount));
  HeldCount += count - ready;
  Inner.Advance(count);
}

void EncoderTap::Drain() {
  Release(HeldCount);
  for (std::span<const Unit> rest = Inner.Peek(); !rest.empty(); rest = Inner.Peek()) {
    Scanner.Feed(rest);
    Used += rest.size();
    Fed += rest.size();
    Inner.Advance(rest.size());
  }
}

void EncoderTap::Release(std::size_t count) {
  Scanner.Feed(std::span<const Unit>(Held.data(), count));
  std::copy(Held.begin() + static_cast<std::ptrdiff_t>(count),
            Held.begin() + static_cast<std::ptrdiff_t>(HeldCount), Held.begin());
  HeldCount -= count;
  Fed += count;
}
