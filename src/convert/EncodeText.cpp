#include "convert/EncodeText.h"

#include "app/Console.h"
#include "convert/ConversionFiles.h"
#include "convert/EncodeUnits.h"
#include "convert/UnitStreams.h"

void EncodeText(RecordFile& input, const std::string& outputPath) {
  ConsoleWrite("Initializing...");
  Unit bom = 0;
  ReadRecords(input, &bom, 1);
  if (bom != TextBom) {
    // Checked before the output is created, so an existing table is left as it was.
    ConsoleWriteLine("ERROR: Not UTF-16 LE (or headerless) encoding. Reencode then try again.");
    EndRun(1);
  }
  RecordFile output;
  CreateOutput(output, outputPath, input);
  ConsoleWriteLine(" done");

  ConsoleWrite("Encoding...");
  FileUnitSource source{input};
  FileUnitSink sink{output};
  FinishConversion(input, output, EncodeUnits(source, sink));
}
