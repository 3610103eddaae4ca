#include "app/DecodeLang.h"

#include "app/ConversionFrame.h"
#include "console/Console.h"
#include "convert/Conversions.h"
#include "convert/UnitStreams.h"

void DecodeLang(RecordFile& input, const std::string& outputPath) {
  ConsoleWrite("Initializing...");
  RecordFile output;
  CreateOutput(output, outputPath, input);
  FileUnitSink sink{output};
  WriteDumpHead(sink);
  ConsoleWriteLine(" done");

  ConsoleWrite("Decoding...");
  FileUnitSource source{input};
  FinishConversion(input, output, DecodeBody(source, sink));
}
