// A RecordFile used the wrong way round fails through the ordinary check, whatever it holds
// buffered: never a write past its buffer, never a unit accepted and lost.
#include "io/RecordFile.h"
#include "io/InOutError.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

namespace {

struct Misuse {
  const char* Name;
  std::function<void(RecordFile& input, RecordFile& output, RecordFile& closed)> Act;
  int Code;
};

TEST(RecordFile, MisuseFailsThroughTheCheck) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path();
  const std::string inputPath = (dir / "vorlanth-recordfile-in.lang").string();
  const std::string outputPath = (dir / "vorlanth-recordfile-out.txt").string();
  std::ofstream(inputPath, std::ios::binary) << std::string(64, 'x');
  std::vector<Unit> many(600000, 0x41);
  const Misuse cases[] = {
      {"a large write to an input",
       [&](RecordFile& in, RecordFile&, RecordFile&) {
         WriteRecords(in, many.data(), many.size());
       },
       NotOpenForOutput},
      {"a one-unit write to an input",
       [&](RecordFile& in, RecordFile&, RecordFile&) { WriteRecords(in, many.data(), 1); },
       NotOpenForOutput},
      {"a flush of an input", [&](RecordFile& in, RecordFile&, RecordFile&) { FlushRecords(in); },
       NotOpenForOutput},
      {"a peek at an output", [&](RecordFile&, RecordFile& out, RecordFile&) { PeekRecords(out); },
       NotOpenForInput},
      {"a read from an output",
       [&](RecordFile&, RecordFile& out, RecordFile&) { ReadRecords(out, many.data(), 1); },
       NotOpenForInput},
      {"a write to a closed file",
       [&](RecordFile&, RecordFile&, RecordFile& closed) { WriteRecords(closed, many.data(), 1); },
       FileNotOpen},
      {"a read from a closed file",
       [&](RecordFile&, RecordFile&, RecordFile& closed) { PeekRecords(closed); }, FileNotOpen},
  };
  for (const Misuse& c : cases) {
    RecordFile input;
    ASSERT_TRUE(OpenExisting(input, inputPath));
    ASSERT_EQ(PeekRecords(input).size(), 32U); // something buffered for reading
    RecordFile output;
    ASSERT_TRUE(CreateNew(output, outputPath, input));
    const Unit unit = 0x42;
    WriteRecords(output, &unit, 1); // something pending for writing
    RecordFile closed;
    try {
      c.Act(input, output, closed);
      ADD_FAILURE() << c.Name << ": accepted";
    } catch (const EInOutError& failure) {
      EXPECT_EQ(failure.ErrorCode, c.Code) << c.Name;
    }
    CloseRecordFile(output);
    std::ifstream written(outputPath, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), std::string("B\0", 2))
        << c.Name;
  }
  std::remove(inputPath.c_str());
  std::remove(outputPath.c_str());
}

} // namespace
