// The reporter in process: what it prints for the findings it is given, under each option.
#include "console/Reporter.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

enum class TestKind { Problem, Remark, Withdrawable, Count };

const std::array<DiagnosticKind, 3> TestKinds = {{
    {Severity::Error, "problem", "problem {0}"},
    {Severity::Warning, "remark", "remark {0}"},
    {Severity::Warning, "withdrawable", "withdrawable {0}"},
}};

const DiagnosticKind& Describe(TestKind kind) {
  return TestKinds.at(static_cast<std::size_t>(kind));
}

// What a reporter prints on the standard output while `report` runs against it.
template <class Report> std::string Printed(ReporterOptions options, Report report) {
  testing::internal::CaptureStdout();
  Reporter reporter("f", options);
  report(reporter);
  reporter.Flush();
  return testing::internal::GetCapturedStdout();
}

std::size_t Lines(const std::string& text, const std::string& containing) {
  std::size_t count = 0;
  for (std::size_t at = text.find(containing); at != std::string::npos;
       at = text.find(containing, at + 1)) {
    ++count;
  }
  return count;
}

TEST(Reporter, Table) {
  struct Case {
    const char* Name;
    ReporterOptions Options;
    std::uint64_t Findings; // remarks reported, one a line, last line first
    bool Withdraw;          // then a withdrawable one on every line, withdrawn at the end
    std::size_t Remarks;    // remark lines printed
    std::string Contains;   // somewhere in what is printed
  };
  const Case cases[] = {
      {"in line order", {}, 3, false, 3, "f:1:1: warning: remark 1\nf:2:1: warning: remark 2\n"},
      {"a cap, with what shows the rest",
       {.MoreHint = " (--all shows them)"},
       150,
       false,
       100,
       "f: 50 more like this (--all shows them)\n"},
      {"--all: every one", {.All = true}, 150, false, 150, "f:150:1: warning: remark 150\n"},
      {"--quiet: errors only", {.Quiet = true}, 5, false, 0, "f:9:9: error: problem x\n"},
      {"--strict: a warning is an error",
       {.Strict = true},
       1,
       false,
       1,
       "f:1:1: error: remark 1\n"},
      {"--all, past the blocks it prints as it goes: nothing withdrawn is printed",
       {.All = true},
       5000,
       true,
       5000,
       "f:5000:1: warning: remark 5000\n"},
  };
  for (const Case& c : cases) {
    const std::string out = Printed(c.Options, [&c](Reporter& reporter) {
      reporter.HoldUntilEnd(TestKind::Withdrawable);
      reporter.Report(TestKind::Problem, 9, 9, {"x"});
      for (std::uint64_t line = c.Findings; line >= 1; --line) {
        reporter.Report(TestKind::Remark, line, 1, {std::to_string(line)});
        if (c.Withdraw) {
          reporter.Report(TestKind::Withdrawable, line, 2, {std::to_string(line)});
        }
      }
      if (c.Withdraw) {
        reporter.Withdraw(TestKind::Withdrawable);
      }
    });
    EXPECT_EQ(Lines(out, ": remark "), c.Remarks) << c.Name;
    EXPECT_NE(out.find(c.Contains), std::string::npos) << c.Name << "\n" << out.substr(0, 400);
    EXPECT_EQ(out.find("withdrawable"), std::string::npos) << c.Name;
  }
}

// The line under a finding, its caret under the column however the characters before it are
// shown, and a muted kind neither shown nor counted until it is withdrawn.
TEST(Reporter, LinesCaretsAndMutedKinds) {
  struct Lines final : SourceLines {
    bool Line(std::uint64_t number, std::vector<Unit>& units) override {
      const std::u16string_view text = u"\t\u4E2D=x\u00A0y";
      units.assign(text.begin(), text.end());
      return number == 3;
    }
  } lines;
  std::uint64_t warnings = 0;
  const std::string out = Printed({.KindNames = true}, [&](Reporter& reporter) {
    reporter.ShowLines(&lines);
    reporter.Mute(TestKind::Remark);
    reporter.Report(TestKind::Remark, 1, 1, {"muted"});
    reporter.Withdraw(TestKind::Remark);
    reporter.Report(TestKind::Remark, 3, 5, {"a"}); // the no-break space
    reporter.FixIt("delete it");
    reporter.Report(TestKind::Remark, 4, 1, {"no such line"});
    warnings = reporter.Warnings;
  });
  EXPECT_EQ(warnings, 2U);
  EXPECT_EQ(out, "f:3:5: warning: remark a [remark]\n"
                 "    3 | \\t\u4E2D=x<U+00A0>y\n"
                 "      |       ^\n"
                 "      | fix: delete it\n"
                 "f:4:1: warning: remark no such line [remark]\n");
}

} // namespace
