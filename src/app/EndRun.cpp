#include "app/EndRun.h"

#include <cstdlib>

void EndRun(int status) {
  std::exit(status);
}
