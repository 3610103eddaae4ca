#include "convert/DecodeLang.h"

#include "console/Console.h"
#include "convert/ConversionFrame.h"
#include "convert/DecodeUnits.h"
#include "convert/UnitStreams.h"

void DecodeLang(RecordFile& input, const std::string& outputPath) {
  ConsoleWrite("Initializing...");
  RecordFile output;
  CreateOutput(output, outputPath, input);
  WriteRecords(output, &TextBom, 1);
  ConsoleWriteLine(" done");

  ConsoleWrite("Decoding...");
  FileUnitSource source{input};
  FileUnitSink sink{output};
  FinishConversion(input, output, DecodeUnits(source, sink));
}
