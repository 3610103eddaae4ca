#include "convert/TextCompare.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.';
}

// The length of a printf conversion at `at` (which holds '%'), or 0.
std::size_t PrintfLength(std::string_view text, std::size_t at) {
  std::size_t i = at + 1;
  if (i < text.size() && text[i] == '%') {
    return 2;
  }
  const auto digits = [&] {
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      ++i;
    }
  };
  const std::size_t start = i;
  digits();
  if (i < text.size() && text[i] == '$' && i > start) {
    ++i; // a numbered argument
  } else {
    i = start;
  }
  // No space flag: "100% sure" and "50% off" are prose, not "% s" and "% o".
  while (i < text.size() && std::strchr("-+#0'", text[i]) != nullptr) {
    ++i;
  }
  if (i < text.size() && text[i] == '*') {
    ++i;
  } else {
    digits();
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    digits();
  }
  while (i < text.size() && std::strchr("hlLqjzt", text[i]) != nullptr) {
    ++i;
  }
  return i < text.size() && std::strchr("diouxXeEfFgGaAcspn", text[i]) != nullptr ? i + 1 - at : 0;
}

} // namespace

std::vector<std::string> Placeholders(std::string_view text) {
  std::vector<std::string> found;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t length = 0;
    if (text[i] == '%') {
      length = PrintfLength(text, i);
    } else if (text[i] == '\\' && i + 1 < text.size() &&
               std::strchr("nrt\\\"", text[i + 1]) != nullptr && text[i + 1] != '\0') {
      length = 2; // an escape written out, which the game may turn into what it stands for
    } else if (text[i] == '{') {
      std::size_t end = i + 1;
      while (end < text.size() && end - i <= 64 &&
             (IsNameCharacter(text[end]) || text[end] == ':' || text[end] == ',' ||
              text[end] == '#')) {
        ++end;
      }
      length = end < text.size() && text[end] == '}' ? end + 1 - i : 0;
    } else if (text[i] == '<') {
      std::size_t end = i + 1 + (i + 1 < text.size() && text[i + 1] == '/' ? 1 : 0);
      const bool named = end < text.size() && ((text[end] >= 'a' && text[end] <= 'z') ||
                                               (text[end] >= 'A' && text[end] <= 'Z'));
      while (named && end < text.size() && end - i <= 256 && text[end] != '>' && text[end] != '<' &&
             text[end] != '\n') {
        ++end;
      }
      length = named && end < text.size() && text[end] == '>' ? end + 1 - i : 0;
    } else if (text[i] == '[') {
      // BBCode: [b], [/b], [color=red], [url=...]: a lower-case name, then perhaps a value.
      std::size_t end = i + 1 + (i + 1 < text.size() && text[i + 1] == '/' ? 1 : 0);
      const std::size_t name = end;
      while (end < text.size() && ((text[end] >= 'a' && text[end] <= 'z') ||
                                   (end > name && text[end] >= '0' && text[end] <= '9'))) {
        ++end;
      }
      if (end > name && end < text.size() && text[end] == '=') {
        while (end < text.size() && end - i <= 256 && text[end] != ']' && text[end] != '[' &&
               text[end] != '\n') {
          ++end;
        }
      }
      length = end > name && end < text.size() && text[end] == ']' ? end + 1 - i : 0;
    }
    if (length != 0) {
      found.emplace_back(text.substr(i, length));
      i += length - 1;
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

bool IsCFormat(std::string_view text) {
  bool conversion = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      continue;
    }
    const std::size_t length = PrintfLength(text, i);
    if (length == 0) {
      return false; // a percent sign that starts no conversion: prose, or a broken format
    }
    conversion = conversion || text[i + 1] != '%';
    i += length - 1;
  }
  return conversion;
}

std::vector<std::string_view> Conversions(std::string_view text) {
  std::vector<std::string_view> found;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%') {
      const std::size_t length = PrintfLength(text, i);
      if (length > 2 || (length == 2 && text[i + 1] != '%')) {
        found.push_back(text.substr(i, length));
      }
      i += length == 0 ? 0 : length - 1;
    }
  }
  return found;
}

bool ConversionsInOtherOrder(std::string_view original, std::string_view translation) {
  if (!IsCFormat(original)) {
    return false;
  }
  const std::vector<std::string_view> want = Conversions(original);
  // Numbered conversions ("%2$d") name their arguments: a translation may order them at will.
  const bool numbered = std::any_of(want.begin(), want.end(), [](std::string_view conversion) {
    return conversion.find('$') != std::string_view::npos;
  });
  return !numbered && want != Conversions(translation);
}

namespace {

// The elements of `a` that `b` lacks, counting repeats (both sorted).
std::vector<std::string> Missing(const std::vector<std::string>& a,
                                 const std::vector<std::string>& b) {
  std::vector<std::string> out;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
  return out;
}

bool IsEdgeSpace(char c) {
  return c == ' ' || c == '\t';
}

// Whether text starts (or ends) with a space, a tab or a no-break space.
bool SpaceAtStart(std::string_view text) {
  return !text.empty() && (IsEdgeSpace(text.front()) || text.starts_with("\xC2\xA0"));
}
bool SpaceAtEnd(std::string_view text) {
  return !text.empty() && (IsEdgeSpace(text.back()) || text.ends_with("\xC2\xA0"));
}

// The runs of ASCII digits, sorted: "3 of 10" and "10 von 3" keep the same numbers.
std::vector<std::string> Numbers(std::string_view text) {
  std::vector<std::string> found;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] < '0' || text[i] > '9') {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      ++i;
    }
    // Not the digits of a placeholder ("%1$s", "{0}", "%5.2f"), which are compared as such,
    // nor an id field ("0005=") where two lines were joined, which the pairing names.
    const bool inPlaceholder = (start > 0 && (text[start - 1] == '%' || text[start - 1] == '{' ||
                                              text[start - 1] == '.')) ||
                               (i < text.size() && (text[i] == '$' || text[i] == '}')) ||
                               (i - start == 4 && i < text.size() && text[i] == '=');
    if (!inPlaceholder) {
      found.emplace_back(text.substr(start, i - start));
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

} // namespace

TextDifferences CompareTexts(std::string_view original, std::string_view translation) {
  TextDifferences differences;
  const std::vector<std::string> want = Placeholders(original);
  const std::vector<std::string> have = Placeholders(translation);
  differences.Lacks = Missing(want, have);
  differences.Adds = Missing(have, want);
  differences.ConversionOrder = differences.Lacks.empty() && differences.Adds.empty() &&
                                ConversionsInOtherOrder(original, translation);
  differences.EdgeLineBreaks =
      !original.empty() && !translation.empty() && EdgeLineBreaksDiffer(original, translation);
  if (!original.empty() && !translation.empty()) {
    const auto one = [](bool yes) { return yes ? 1 : 0; };
    differences.LeadingSpace = one(SpaceAtStart(translation)) - one(SpaceAtStart(original));
    differences.TrailingSpace = one(SpaceAtEnd(translation)) - one(SpaceAtEnd(original));
  }
  std::vector<std::string> numbers = Numbers(translation);
  std::vector<std::string> originalNumbers = Numbers(original);
  if (numbers != originalNumbers) {
    differences.Numbers = std::move(numbers);
    differences.OriginalNumbers = std::move(originalNumbers);
  }
  return differences;
}
