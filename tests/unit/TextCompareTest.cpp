// The comparison of a translation with its original, which the checker and the PO bridge share.
#include "convert/TextCompare.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(CompareTexts, WhatATranslationMustKeep) {
  using List = std::vector<std::string>;
  struct Case {
    const char* Original;
    const char* Translation;
    List Lacks;
    List Adds;
    int Leading;
    int Trailing;
    bool Numbers; // the numbers differ
  };
  const Case cases[] = {
      {"Load %s", "Laden %s", {}, {}, 0, 0, false},
      {"Load %s", "Laden", {"%s"}, {}, 0, 0, false},
      {"%1$s of %2$d", "%2$d von %1$s", {}, {}, 0, 0, false}, // numbered: any order
      {"{0} items", "{count} Dinge", {"{0}"}, {"{count}"}, 0, 0, false},
      {"<b>Options</b>", "<b>Optionen", {"</b>"}, {}, 0, 0, false},
      {"[color=red]Hot[/color]", "[color=red]Heiss", {"[/color]"}, {}, 0, 0, false},
      {"Line\\nbreak", "Zeilen umbruch", {"\\n"}, {}, 0, 0, false},
      {"100% sure", "100 % sicher", {}, {}, 0, 0, false}, // prose, no conversion
      {" Volume", "Lautstaerke", {}, {}, -1, 0, false},
      {"Name:", "Name: ", {}, {}, 0, 1, false},
      {"Name:\xC2\xA0", "Name:", {}, {}, 0, -1, false}, // a no-break space counts
      {"Score: 100", "Punkte: 10", {}, {}, 0, 0, true},
      {"3 of 10", "10 von 3", {}, {}, 0, 0, false},             // the same numbers, reordered
      {"Options", "Optionen0005=Beenden", {}, {}, 0, 0, false}, // an id field is no number
  };
  for (const Case& c : cases) {
    const TextDifferences d = CompareTexts(c.Original, c.Translation);
    EXPECT_EQ(d.Lacks, c.Lacks) << c.Original << " / " << c.Translation;
    EXPECT_EQ(d.Adds, c.Adds) << c.Original << " / " << c.Translation;
    EXPECT_EQ(d.LeadingSpace, c.Leading) << c.Original << " / " << c.Translation;
    EXPECT_EQ(d.TrailingSpace, c.Trailing) << c.Original << " / " << c.Translation;
    EXPECT_EQ(!d.Numbers.empty() || !d.OriginalNumbers.empty(), c.Numbers)
        << c.Original << " / " << c.Translation;
  }
  // The same C conversions in another order: msgfmt -c refuses it unless they are numbered.
  EXPECT_TRUE(CompareTexts("%s has %d", "%d hat %s").Placeholders());
  EXPECT_FALSE(CompareTexts("%1$s of %2$d", "%2$d von %1$s").Placeholders());
}

} // namespace
