#include "convert/OutputPath.h"

#include <gtest/gtest.h>

namespace {

struct PathCase {
  const char* Path;
  const char* Extension;
  const char* Expected;
};

TEST(ReplaceExtension, Table) {
  const PathCase cases[] = {
      {"menu.lang", ".txt", "menu.txt"},
      {"menu.txt", ".lang", "menu.lang"},
      {"data", ".txt", "data.txt"},
      {"a.b.lang", ".txt", "a.b.txt"},
      {"data.", ".txt", "data.txt"},
      {"dir.x\\data", ".txt", "dir.x\\data.txt"},
      {"dir.x/data", ".txt", "dir.x/data.txt"},
      {"./data", ".txt", "./data.txt"},
      {"../up/data", ".lang", "../up/data.lang"},
      {"C:menu", ".txt", "C:menu.txt"},
      {"C:menu.lang", ".txt", "C:menu.txt"},
      {"d.1/e.2\\f:g", ".txt", "d.1/e.2\\f:g.txt"},
      {".hidden", ".txt", ".txt"},
      {"dir/.hidden", ".lang", "dir/.lang"},
      {"", ".txt", ".txt"},
      {"x.TXT", ".lang", "x.lang"},
  };
  for (const PathCase& c : cases) {
    EXPECT_EQ(ReplaceExtension(c.Path, c.Extension), c.Expected) << "path " << c.Path;
  }
}

} // namespace
