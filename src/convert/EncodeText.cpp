#include "convert/EncodeText.h"

#include "console/Console.h"
#include "convert/ConversionFrame.h"
#include "convert/EncodeUnits.h"
#include "convert/UnitStreams.h"
#include "io/EndRun.h"
#include "io/InOutError.h"

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
  const EncodeResult result = EncodeUnits(source, sink);
  if (result.IdFieldCutShort) {
    RaiseInOutError(ReadBeyondEnd);
  }
  FinishConversion(input, output, result.Lines);
}
