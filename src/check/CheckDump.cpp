#include "check/CheckDump.h"

#include "check/CheckKinds.h"
#include "check/DumpLines.h"
#include "check/EncoderTap.h"
#include "check/EncoderTrace.h"
#include "convert/EncodeUnits.h"

#include <span>
#include <string>

namespace {

// Whether bytes read as text: no NUL, and valid UTF-8 (a sequence cut by the end may stand).
bool LooksLikeUtf8(const std::string& bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead == 0) {
      return false;
    }
    const std::size_t length = lead < 0x80         ? 1
                               : (lead >> 5) == 6  ? 2
                               : (lead >> 4) == 14 ? 3
                               : (lead >> 3) == 30 ? 4
                                                   : 0;
    if (length == 0) {
      return false;
    }
    for (std::size_t k = 1; k < length && i + k < bytes.size(); ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) >> 6) != 2) {
        return false;
      }
    }
    i += length;
  }
  return true;
}

// The first units of a dump without its byte-order mark, as bytes, named when recognisable.
CheckKind NameMissingByteOrderMark(std::span<const Unit> first) {
  std::string bytes;
  for (std::size_t i = 0; i < first.size() && bytes.size() < 4096; ++i) {
    bytes += static_cast<char>(first[i] & 0xFF);
    bytes += static_cast<char>(first[i] >> 8);
  }
  if (bytes.starts_with("\xFE\xFF")) {
    return CheckKind::Utf16BigEndian;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    return CheckKind::Utf8WithMark;
  }
  return LooksLikeUtf8(bytes) ? CheckKind::Utf8Text : CheckKind::NoByteOrderMark;
}

} // namespace

CheckSummary CheckDumpUnits(UnitReader& source, Reporter& report, IdRegister& ids) {
  CheckSummary summary;
  const std::span<const Unit> first = source.Peek();
  if (first.empty()) {
    report.Report(CheckKind::EmptyDump, 1, 1);
    return summary;
  }
  if (first[0] != TextBom) {
    report.Report(NameMissingByteOrderMark(first), 1, 1);
    return summary;
  }
  source.Advance(1);
  summary.Checked = true;
  if (source.Peek().empty()) {
    report.Report(CheckKind::MarkOnly, 1, 2);
    return summary;
  }
  EncoderTrace trace;
  ids.Clear();
  DumpLines lines(report, trace, ids);
  EncoderTap tapped(source, lines, trace);
  const EncodeResult encoded = EncodeUnits(tapped, trace);
  const bool stoppedAtEndMarker =
      !encoded.IdFieldCutShort && trace.LastIdWasEndMarker && trace.Offset == tapped.Used;
  summary.Entries = encoded.Lines - (stoppedAtEndMarker ? 1 : 0);
  if (!encoded.IdFieldCutShort) {
    // The end marker written at the end of the input stands for no id field of the dump.
    while (!trace.Fields.empty() && trace.Fields.back().Offset >= tapped.Used) {
      trace.Fields.pop_back();
    }
  }
  tapped.Drain();
  lines.Finish(encoded.IdFieldCutShort);
  summary.NextLine = lines.NextLine;
  summary.CrLfEverywhere = lines.CrLfEverywhere;
  summary.LastLineOpen = lines.LastLineOpen;
  summary.LastLineStart = lines.LastLineStart;
  return summary;
}
