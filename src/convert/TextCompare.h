// The comparison of a translated text with its original that every front end makes: the
// placeholders, tags and escapes each must keep, the spaces at its ends and its numbers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The placeholders of a text, sorted: printf conversions (%s, %5.2f, %1$s, %%), braces ({0},
// {name}), tags (<b>, </color>), BBCode tags ([b], [color=red], [/color]) and escapes written
// out (\n, \t, \").
std::vector<std::string> Placeholders(std::string_view text);

// Whether a text is a C format string with at least one conversion, as xgettext marks one
// "c-format": every percent sign starts a conversion ("100% sure" is prose, not a format).
bool IsCFormat(std::string_view text);

// Whether two texts differ in a line break at the start or at the end (non-empty texts).
inline bool EdgeLineBreaksDiffer(std::string_view a, std::string_view b) {
  return (a.front() == '\n') != (b.front() == '\n') || (a.back() == '\n') != (b.back() == '\n');
}

// A C format string's conversions in order, without %%: what msgfmt -c compares.
std::vector<std::string_view> Conversions(std::string_view text);

// Whether a translation has the C format original's unnumbered conversions in another order,
// which msgfmt -c refuses (numbered ones, "%2$d", may come in any order).
bool ConversionsInOtherOrder(std::string_view original, std::string_view translation);

// How a translation differs from its original in what it must keep. Lists hold what one has and
// the other lacks, each as often as it is missing.
struct TextDifferences {
  std::vector<std::string> Lacks;   // placeholders, tags, escapes of the original's
  std::vector<std::string> Adds;    // ... the original does not have
  bool ConversionOrder = false;     // a C format's conversions, in another order
  bool EdgeLineBreaks = false;      // a line break at the start or end, on one side only
  int LeadingSpace = 0;             // 1: the translation has one the original lacks; -1: lacks
  int TrailingSpace = 0;            // the same at the end
  std::vector<std::string> Numbers; // the translation's, when they differ from the original's
  std::vector<std::string> OriginalNumbers;

  [[nodiscard]] bool Placeholders() const {
    return !Lacks.empty() || !Adds.empty() || ConversionOrder;
  }
};

TextDifferences CompareTexts(std::string_view original, std::string_view translation);
