#include "io/FailureReport.h"

#include <gtest/gtest.h>

namespace {

struct MessageCase {
  int Code;
  const char* Message;
};

TEST(InOutErrorMessage, Table) {
  const MessageCase cases[] = {
      {2, "File not found"},
      {3, "Invalid filename"},
      {4, "Too many open files"},
      {5, "File access denied"},
      {100, "Read beyond end of file"},
      {101, "Disk full"},
      {106, "Invalid numeric input"},
      {103, "I/O error 103"},
      {105, "I/O error 105"},
      {0, "I/O error 0"},
      {28, "I/O error 28"},
      {-7, "I/O error -7"},
  };
  for (const MessageCase& c : cases) {
    EXPECT_EQ(InOutErrorMessage(c.Code), c.Message) << "code " << c.Code;
  }
}

TEST(FailureReportText, Format) {
  const EInOutError failure(2, "File not found", 0x0040A1B2U);
  EXPECT_EQ(
      FailureReportText(failure, "vorlanth_lang"),
      "Exception EInOutError in module vorlanth_lang at 0040A1B2.\r\nFile not found.\r\n\r\n");
  const EInOutError closed(7, "Already closed.", 0xDEADBEEFU);
  EXPECT_EQ(FailureReportText(closed, "m.exe"),
            "Exception EInOutError in module m.exe at DEADBEEF.\r\nAlready closed.\r\n\r\n");
  const EInOutError empty(7, "", 0);
  EXPECT_EQ(FailureReportText(empty, "m"),
            "Exception EInOutError in module m at 00000000.\r\n\r\n\r\n");
}

TEST(RaiseInOutError, CarriesCodeMessageAndLocation) {
  unsigned line = 0;
  try {
    line = __LINE__ + 1;
    RaiseInOutError(ReadBeyondEnd);
    FAIL() << "nothing was raised";
  } catch (const EInOutError& failure) {
    EXPECT_EQ(failure.ErrorCode, ReadBeyondEnd);
    EXPECT_EQ(failure.Message, "Read beyond end of file");
    EXPECT_STREQ(failure.ClassName(), "EInOutError");
    EXPECT_EQ(failure.CodeLocation, CodeLocationOf(__FILE__, line)) << "not the caller's";
  }
  // Two call sites tell themselves apart.
  EXPECT_NE(CodeLocationOf("RecordFile.cpp", 10), CodeLocationOf("RecordFile.cpp", 11));
  EXPECT_NE(CodeLocationOf("RecordFile.cpp", 10), CodeLocationOf("Console.cpp", 10));
  // The build folder does not change it.
  EXPECT_EQ(CodeLocationOf("/a/src/io/RecordFile.cpp", 10),
            CodeLocationOf("C:\\b\\RecordFile.cpp", 10));
}

} // namespace
