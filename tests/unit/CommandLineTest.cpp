#include "console/CommandLine.h"

#include <gtest/gtest.h>

namespace {

using Arguments = std::vector<std::string>;

struct SplitCase {
  std::string Line;
  Arguments Expected;
};

TEST(SplitCommandLine, Table) {
  const SplitCase cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"prog d menu.lang", {"prog", "d", "menu.lang"}},
      {"  prog\t\td   menu.lang  ", {"prog", "d", "menu.lang"}},
      {"prog \"\" d x.lang", {"prog", "d", "x.lang"}},
      {"prog d \"My Games\\menu.lang\"", {"prog", "d", "My Games\\menu.lang"}},
      {"prog d My\" \"Games\\menu.lang", {"prog", "d", "My Games\\menu.lang"}},
      {"prog d \"unterminated path", {"prog", "d", "unterminated path"}},
      {"prog \"d\"\"\" x", {"prog", "d", "x"}},
      {"\"C:\\Program Files\\v.exe\" e a.txt", {"C:\\Program Files\\v.exe", "e", "a.txt"}},
      {std::string("a\x01"
                   "b\x1f"
                   "c\x20"
                   "d\x21"
                   "e"),
       {"a", "b", "c",
        "d\x21"
        "e"}},
      {"a\\\"b c\\\"", {"a\\b c\\"}}, // no escape character: a backslash stays as it is
      {"\xd0\x9c\xd0\xb5\xd0\xbd\xd1\x8e.lang", {"\xd0\x9c\xd0\xb5\xd0\xbd\xd1\x8e.lang"}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.Line), c.Expected) << "line " << c.Line;
  }
}

TEST(ProgramArguments, DropsTheProgramAndEmptyArguments) {
  const char* argv[] = {"vorlanth_lang", "", "d", "", "menu.lang", "extra", nullptr};
  EXPECT_EQ(ProgramArguments(6, argv), (Arguments{"d", "menu.lang", "extra"}));
  const char* alone[] = {"vorlanth_lang", nullptr};
  EXPECT_TRUE(ProgramArguments(1, alone).empty());
  // Spaces inside one argument stay: the shell has split the line already.
  const char* spaced[] = {"vorlanth_lang", "d", "my menu.lang", nullptr};
  EXPECT_EQ(ProgramArguments(3, spaced), (Arguments{"d", "my menu.lang"}));
}

} // namespace
