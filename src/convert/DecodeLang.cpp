#include "convert/DecodeLang.h"

#include "app/Console.h"
#include "convert/DecodeUnits.h"
#include "convert/OutputFile.h"
#include "convert/UnitStreams.h"

void DecodeLang(const std::string& inputPath, const std::string& outputPath) {
  ConsoleWrite("Initializing...");
  RecordFile input;
  OpenExisting(input, inputPath);
  RecordFile output;
  CreateOutput(output, outputPath, input);
  WriteRecords(output, &TextBom, 1);
  ConsoleWriteLine(" done");

  ConsoleWrite("Decoding...");
  FileUnitSource source{input};
  FileUnitSink sink{output};
  const std::uint64_t entries = DecodeUnits(source, sink);
  FlushRecords(output);
  ConsoleWriteLine(" " + std::to_string(entries) + " line(s) parsed");

  CloseRecordFile(input);
  CloseRecordFile(output);
  ConsoleWriteLine("Done");
}
