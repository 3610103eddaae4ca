// A fuzz target's property: when it breaks, say where before aborting, so that a finding in a CI
// log reads without a debugger.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void Promise(bool holds, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  if (!holds) {
    std::fprintf(stderr, "%s:%d: promise broken\n", file, line);
    std::abort();
  }
}
