#include "app/ConversionFrame.h"

#include "app/EndRun.h"
#include "console/Console.h"

void CreateOutput(RecordFile& output, const std::string& outputPath, const RecordFile& input) {
  if (!CreateNew(output, outputPath, input)) {
    ConsoleWriteLine("ERROR: The output file is the input file. Nothing was changed.");
    EndRun(1);
  }
}

void FinishConversion(RecordFile& input, RecordFile& output, std::uint64_t count) {
  // Everything converted is on disk before the count claims it.
  FlushRecords(output);
  std::string line = " ";
  line += std::to_string(count);
  line += " line(s) parsed";
  ConsoleWriteLine(line);
  CloseRecordFile(input);
  CloseRecordFile(output);
  ConsoleWriteLine("Done");
}
