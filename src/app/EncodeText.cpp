#include "app/EncodeText.h"

#include "app/ConversionFrame.h"
#include "app/EndRun.h"
#include "console/Console.h"
#include "convert/Conversions.h"
#include "convert/UnitStreams.h"

void EncodeText(RecordFile& input, const std::string& outputPath) {
  ConsoleWrite("Initializing...");
  FileUnitSource source{input};
  if (!ReadDumpHead(source)) {
    // Checked before the output is created, so an existing table is left as it was.
    ConsoleWriteLine("ERROR: Not UTF-16 LE (or headerless) encoding. Reencode then try again.");
    EndRun(1);
  }
  RecordFile output;
  CreateOutput(output, outputPath, input);
  ConsoleWriteLine(" done");

  ConsoleWrite("Encoding...");
  FileUnitSink sink{output};
  FinishConversion(input, output, EncodeBody(source, sink));
}
