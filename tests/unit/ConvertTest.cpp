// The conversions over memory: fixed cases, agreement with a plain unit-at-a-time reading of the
// formats wherever chunk boundaries fall, and round trips.
#include "MemoryUnits.h"
#include "check/TextMasks.h"
#include "convert/Conversions.h"
#include "convert/DecodeUnits.h"
#include "convert/EncodeUnits.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using Units = UnitVector;

Units U(std::u16string_view text) {
  return {text.begin(), text.end()};
}

Units Join(std::initializer_list<Units> parts) {
  Units all;
  for (const Units& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

using Result = ReferenceResult;

Result Decode(const Units& input, std::size_t chunk) {
  MemorySource source{input, chunk};
  MemorySink sink;
  Result result;
  result.Count = DecodeUnits(source, sink);
  result.Output = std::move(sink.Output);
  return result;
}

Result Encode(const Units& input, std::size_t chunk) {
  MemorySource source{input, chunk};
  MemorySink sink;
  Result result;
  const EncodeResult encoded = EncodeUnits(source, sink);
  result.Count = encoded.Lines;
  result.ReadBeyondEnd = encoded.IdFieldCutShort;
  result.Output = std::move(sink.Output);
  return result;
}

struct ConvertCase {
  const char* Name;
  Units Input;
  Units Output;
  std::uint64_t Count;
};

TEST(DecodeUnits, Cases) {
  const ConvertCase cases[] = {
      {"empty input", {}, {}, 0},
      {"end marker only", {0xFFFF}, {}, 0},
      {"one entry", {0x0001, 'H', 'i', 0, 0xFFFF}, U(u"0001=Hi\n"), 1},
      {"empty text", {7, 0, 0xFFFF}, U(u"0007=\n"), 1},
      {"high ids", {0x8000, 0, 0xFFFE, 0, 0xABCD, 0}, U(u"8000=\nFFFE=\nABCD=\n"), 3},
      {"id cut off by the end", {0x0102, 'a', 0, 0x0304}, U(u"0102=a\n0304="), 2},
      {"text cut off by the end", {0x0010, 'a', 'b'}, U(u"0010=ab"), 1},
      {"LF inside a text is kept", {0x0001, 'a', 0x0A, 'b', 0}, U(u"0001=a\nb\n"), 1},
      {"CR and = pass through", {0x0002, 'x', '=', 0x0D, 0}, U(u"0002=x=\r\n"), 1},
      {"surrogate pair",
       {0x0003, 0xD83D, 0xDE00, 0},
       Join({U(u"0003="), {0xD83D, 0xDE00}, U(u"\n")}),
       1},
      {"nothing after the end marker", {0x0001, 0, 0xFFFF, 0x0002, 'z', 0}, U(u"0001=\n"), 1},
      {"a dump read as a table", {0xFEFF, '0', '=', 0x0A}, U(u"FEFF=0=\n"), 1},
  };
  for (const ConvertCase& c : cases) {
    for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{1000}}) {
      const Result r = Decode(c.Input, chunk);
      EXPECT_EQ(r.Output, c.Output) << c.Name << ", chunk " << chunk;
      EXPECT_EQ(r.Count, c.Count) << c.Name << ", chunk " << chunk;
    }
  }
}

TEST(EncodeUnits, Cases) {
  const ConvertCase cases[] = {
      {"empty dump", {}, {0xFFFF}, 0},
      {"one line", U(u"0001=Hi\n"), {0x0001, 'H', 'i', 0, 0xFFFF}, 1},
      {"empty text", U(u"0007=\n"), {7, 0, 0xFFFF}, 1},
      {"lower-case digits", U(u"00ab=x\n"), {0xAB, 'x', 0, 0xFFFF}, 1},
      {"five digits keep the low 16 bits", U(u"12345x\n"), {0x2345, 'x', 0, 0xFFFF}, 1},
      {"last line without LF", U(u"0001=ab"), {1, 'a', 'b', 0xFFFF}, 1},
      {"CR before LF stays in the text", U(u"0001=a\r\n"), {1, 'a', 0x0D, 0, 0xFFFF}, 1},
      {"an empty line shifts the id field",
       U(u"0001=a\n\n0002=b\n"),
       {1, 'a', 0, 2, '=', 'b', 0, 0xFFFF},
       2},
      {"FFFF ends the encoding", U(u"0001=a\nFFFF=gone\n0002=b\n"), {1, 'a', 0, 0xFFFF}, 2},
      {"id field of non-digits", U(u"====:x\n"), {0, 'x', 0, 0xFFFF}, 1},
      {"non-ASCII units are not digits",
       Join({{0x0660, 0xFF11, '1', 0x00E9, '='}, U(u"t\n")}),
       {1, 't', 0, 0xFFFF},
       1},
      {"NUL units in the id field", Join({{0, 'A', 0, 0, '='}, U(u"\n")}), {0x0A, 0, 0xFFFF}, 1},
      {"an id field of exactly five units at the end", U(u"0002="), {2, 0xFFFF}, 1},
  };
  for (const ConvertCase& c : cases) {
    for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{4}, std::size_t{1000}}) {
      const Result r = Encode(c.Input, chunk);
      EXPECT_FALSE(r.ReadBeyondEnd) << c.Name;
      EXPECT_EQ(r.Output, c.Output) << c.Name << ", chunk " << chunk;
      EXPECT_EQ(r.Count, c.Count) << c.Name << ", chunk " << chunk;
    }
  }
}

TEST(EncodeUnits, ShortTrailingLineFailsAndKeepsEarlierEntries) {
  for (std::u16string_view tail : {u"0", u"00", u"000", u"0002"}) {
    const Units input = Join({U(u"0001=a\n"), U(tail)});
    for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{1000}}) {
      const Result r = Encode(input, chunk);
      EXPECT_TRUE(r.ReadBeyondEnd) << "tail length " << tail.size();
      EXPECT_EQ(r.Output, (Units{1, 'a', 0})) << "no end marker after a failure";
    }
  }
}

// What every front end's run does between reading and writing: the dump's mark, then the body.
TEST(Conversions, HeadsAndBodiesAsAFrontEndDrivesThem) {
  struct Case {
    const char* Name;
    Units Dump;
    bool Marked;   // the head is the byte-order mark
    bool CutShort; // the body fails with "Read beyond end of file"
    Units Table;   // what reached the sink
  };
  const Case cases[] = {
      {"a dump", Join({Units{0xFEFF}, U(u"0001=a\n")}), true, false, {1, 'a', 0, 0xFFFF}},
      {"no mark", U(u"0001=a\n"), false, false, {}},
      {"a last id field cut short",
       Join({Units{0xFEFF}, U(u"0001=a\n00")}),
       true,
       true,
       {1, 'a', 0}},
  };
  for (const Case& c : cases) {
    MemorySource source{c.Dump};
    MemorySink sink;
    EXPECT_EQ(ReadDumpHead(source), c.Marked) << c.Name;
    if (!c.Marked) {
      continue;
    }
    bool cutShort = false;
    try {
      (void)EncodeBody(source, sink);
    } catch (const EInOutError& failure) {
      cutShort = failure.ErrorCode == ReadBeyondEnd;
    }
    EXPECT_EQ(cutShort, c.CutShort) << c.Name;
    EXPECT_EQ(sink.Output, c.Table) << c.Name;
    // And back: the dump again, but for what the failure cut off.
    MemorySource table{sink.Output};
    MemorySink dump;
    WriteDumpHead(dump);
    (void)DecodeBody(table, dump);
    if (!c.CutShort) {
      EXPECT_EQ(dump.Output, c.Dump) << c.Name;
    }
  }
  const Units empty;
  MemorySource nothing{empty};
  EXPECT_THROW((void)ReadDumpHead(nothing), EInOutError) << "a dump too short for its mark";
}

// Inputs made of few distinct units, so that terminators, LFs, FFFF and digits fall often.
Units RandomUnits(std::mt19937& random, std::size_t length) {
  static constexpr Unit alphabet[] = {0x0000, 0x000A, 0x000D, 0xFFFF, 0xFEFF, '0',    '1',
                                      'A',    'f',    '=',    'x',    0x00E9, 0xD83D, 0x8000};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(alphabet) - 1);
  std::uniform_int_distribution<int> any(0, 0xFFFF);
  Units units(length);
  for (Unit& unit : units) {
    unit = random() % 4 == 0 ? static_cast<Unit>(any(random)) : alphabet[pick(random)];
  }
  return units;
}

TEST(Conversions, AgreeWithUnitAtATimeWhereverChunksEnd) {
  std::mt19937 random(20261207);
  for (int round = 0; round < 400; ++round) {
    // Short inputs at every chunk size; longer ones, which the block paths take (their masks need
    // some 100 units), at the sizes that move their edges across a window and its read-ahead.
    const bool isLong = round >= 300;
    const Units input = RandomUnits(random, isLong ? 64 + random() % 448 : random() % 64);
    std::vector<std::size_t> chunks;
    for (std::size_t chunk = 1; chunk <= input.size() + 1; ++chunk) {
      if (!isLong || chunk <= 8 || (chunk >= 90 && chunk <= 170) || chunk + 40 >= input.size()) {
        chunks.push_back(chunk);
      }
    }
    const Result decoded = ReferenceDecode(input);
    const Result encoded = ReferenceEncode(input);
    for (const std::size_t chunk : chunks) {
      const Result d = Decode(input, chunk);
      ASSERT_EQ(d.Output, decoded.Output) << "round " << round << ", chunk " << chunk;
      ASSERT_EQ(d.Count, decoded.Count);
      const Result e = Encode(input, chunk);
      ASSERT_EQ(e.ReadBeyondEnd, encoded.ReadBeyondEnd) << "round " << round << ", chunk " << chunk;
      ASSERT_EQ(e.Output, encoded.Output) << "round " << round << ", chunk " << chunk;
      if (!e.ReadBeyondEnd) {
        ASSERT_EQ(e.Count, encoded.Count);
      }
    }
  }
}

TEST(IdFieldValue, AgreesWithTheReferenceForEveryIdAndEveryOddUnit) {
  const auto expected = [](const Units& field) {
    return ReferenceEncode(Join({field, {0x0A}})).Output.front();
  };
  for (unsigned id = 0; id <= 0xFFFF; ++id) {
    for (const char* format : {"%04X=", "%04x="}) {
      char text[8];
      std::snprintf(text, sizeof text, format, id);
      const Units field(text, text + 5);
      ASSERT_EQ(IdFieldValue(field.data()), id) << text;
    }
  }
  // Each place of a field in turn holds every unit up to U+01FF and some far above, the others
  // digits and "=": the units around the digits' and letters' ranges must not pass for them.
  for (std::size_t place = 0; place < IdFieldUnits; ++place) {
    for (unsigned unit = 0; unit < 0x10000; unit = unit < 0x200 ? unit + 1 : unit * 3 + 1) {
      Units field = U(u"9aF0=");
      field[place] = static_cast<Unit>(unit);
      ASSERT_EQ(IdFieldValue(field.data()), expected(field))
          << "place " << place << ", unit " << unit;
    }
  }
}

TEST(Conversions, LongRunsCrossTheVectorScan) {
  // Terminators at every offset of a long text, so the scan finds them in every lane.
  for (std::size_t length = 0; length < 70; ++length) {
    Units table = {0x0042};
    table.insert(table.end(), length, Unit{'a'});
    table.push_back(0);
    table.push_back(0xFFFF);
    const Result d = Decode(table, 1 << 20);
    ASSERT_EQ(d.Output, ReferenceDecode(table).Output) << "text length " << length;
    const Result back = Encode(d.Output, 1 << 20);
    ASSERT_EQ(back.Output, table) << "text length " << length;
  }
  // Runs of equal entries whose ends fall on every place of the block paths' 64-unit windows,
  // with the units that follow an end looking like an end themselves: an id 0000 after each
  // terminator, LFs inside each id field after each line end.
  for (std::size_t length = 0; length < 70; ++length) {
    Units table;
    Units dump;
    while (table.size() < 300) {
      table.push_back(0x0000);
      table.insert(table.end(), length, Unit{'a'});
      table.push_back(0);
      dump.insert(dump.end(), {'0', '\n', 'A', '\n', '\n'});
      dump.insert(dump.end(), length, Unit{'a'});
      dump.push_back('\n');
    }
    table.push_back(0xFFFF);
    ASSERT_EQ(Decode(table, 1 << 20).Output, ReferenceDecode(table).Output) << "length " << length;
    ASSERT_EQ(Encode(dump, 1 << 20).Output, ReferenceEncode(dump).Output) << "length " << length;
  }
}

TEST(FindUnit, FirstMatchAtEveryOffsetForEachScan) {
  struct Scan {
    const char* Name;
    UnitFinder Find;
    UnitMasker Mask;
    bool Runs;
  };
  const Scan scans[] = {{"narrow", FindUnit, UnitMask, true},
                        {"wide", FindUnitWide, UnitMaskWide, WideScanAvailable()}};
  for (const Scan& scan : scans) {
    if (!scan.Runs) {
      GTEST_LOG_(INFO) << "the " << scan.Name << " scan is not tried: this processor lacks AVX2";
      continue;
    }
    // Lengths across the 64-, 16- and 8-unit steps and their tails; a second match after the
    // first (the first must win, also when it lies in a later vector than the second's lane), and
    // units that differ from the one sought in either byte only.
    for (const std::size_t length : {0, 1, 7, 8, 15, 16, 17, 63, 64, 65, 130}) {
      for (std::size_t at = 0; at <= length; ++at) {
        Units text(length, Unit{0x0B0A});
        for (std::size_t i = 0; i < length; i += 3) {
          text[i] = 0x000B;
        }
        if (at < length) {
          text[at] = 0x000A;
          for (std::size_t later = at + 9; later < length; later += 17) {
            text[later] = 0x000A;
          }
        }
        const Unit* found = scan.Find(text.data(), text.data() + length, 0x000A);
        ASSERT_EQ(found - text.data(), static_cast<long>(at))
            << scan.Name << " scan, length " << length;
        if (length == 64) {
          // The mask of a whole 64-unit window: every match, each at its own bit.
          std::uint64_t expected = 0;
          for (std::size_t i = 0; i < length; ++i) {
            expected |= static_cast<std::uint64_t>(text[i] == 0x000A) << i;
          }
          ASSERT_EQ(scan.Mask(text.data(), 0x000A), expected) << scan.Name << " mask, at " << at;
        }
      }
    }
  }
}

TEST(FindSpecialTextUnit, EveryLaneAndEveryKind) {
  // Each kind of special unit, and the plain units just below and between them, at every offset;
  // "=" is special in a dump's texts only.
  for (const Unit special :
       {Unit{0x0000}, Unit{0x0009}, Unit{0x000A}, Unit{0x000D}, Unit{0x0085}, Unit{0x2028},
        Unit{0x2029}, Unit{0xD800}, Unit{0xDFFF}, Unit{0xFFFF}, Unit{'='}}) {
    for (std::size_t at = 0; at < 40; ++at) {
      Units text(40, Unit{0xD7FF});
      text[1] = 0x000E;
      text[2] = 0x0086;
      text[3] = 0x2027;
      text[4] = 0x202A;
      text[5] = 0x0084;
      text[6] = 0x7FFF;
      text[7] = '<';
      text[8] = '>';
      text[at] = special;
      const Unit* const end = text.data() + text.size();
      const Unit* found = FindSpecialTextUnit(text.data(), end);
      ASSERT_EQ(found - text.data(), special == '=' ? 40 : static_cast<long>(at))
          << "unit " << special;
      found = FindSpecialTextUnit<true>(text.data(), end);
      ASSERT_EQ(found - text.data(), static_cast<long>(at)) << "unit " << special;
      // The masks find the same, 64 units at a time.
      text.resize(64, Unit{0xD7FF});
      const std::uint64_t bit = std::uint64_t{1} << at;
      ASSERT_EQ(SpecialTextMask<true>(text.data(), 0), bit) << "unit " << special;
      if (WideScanAvailable()) {
        ASSERT_EQ(SpecialTextMaskWide<true>(text.data(), 0), bit) << "unit " << special;
      }
    }
  }
}

TEST(Conversions, WellFormedTablesRoundTrip) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    const std::size_t entries = random() % 20;
    const Units table = WellFormedTable(random, 0, 40, entries);
    const std::size_t chunk = 1 + random() % 50;
    const Result dump = Decode(table, chunk);
    EXPECT_EQ(dump.Count, entries);
    const Result back = Encode(dump.Output, chunk);
    EXPECT_EQ(back.Output, table) << "round " << round;
    EXPECT_EQ(back.Count, entries);
  }
}

} // namespace
