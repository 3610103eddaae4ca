#include "convert/OutputFile.h"

#include "app/Console.h"

void CreateOutput(RecordFile& output, const std::string& outputPath, const RecordFile& input) {
  if (!CreateNew(output, outputPath, input)) {
    ConsoleWriteLine("ERROR: The output file is the input file. Nothing was changed.");
    EndRun(1);
  }
}
