#include "platform/DeviceName.h"

#include <gtest/gtest.h>

namespace {

TEST(DeviceName, Table) {
  struct Case {
    const char* Path;
    bool Device;
  };
  const Case cases[] = {
      {"aux", true},
      {"AUX.lang", true},
      {"C:\\mods\\Com1.tar.gz", true},
      {"dir/nul ", true},
      {"lpt9.txt", true},
      {"conout$.po", true},
      {"com\xC2\xB9.lang", true},
      {"auxiliary.lang", false},
      {"com10.lang", false},
      {"lpt.lang", false},
      {"menu.lang", false},
      {"aux/menu.lang", false},
      {"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsDeviceName(c.Path), c.Device) << c.Path;
  }
}

} // namespace
