// The phonetic stream: element encoding and decoding, and the reader
// operations over clauses appended on demand.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "synth/phonetic_stream.h"
#include "tests/engine/stream_script.h"

namespace sonter2 {
namespace {

std::string encoded(uint32_t code, uint32_t value) {
  std::string out;
  encodeElement(out, code, value);
  return out;
}

std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

TEST(PhoneticFormat, EncodingTable) {
  struct Case {
    uint32_t code, value;
    std::string bytes;
  };
  const Case cases[] = {
      {147, 12345, bytes({147})},
      {135, 258, bytes({0x87, 0x02, 0x01, 0x00, 0x00})},
      {136, 70000, bytes({0x88, 0x70, 0x11})},
      {160, 2, bytes({0xA2})},
      {160, 3, bytes({0xA3})},
      {4, 0, bytes({0x04})},
      {32, 9, bytes({0x20})},
      {176, 0x01020304, bytes({0xB0, 0x04, 0x03, 0x02, 0x01})},
      {0x100 + 137, 300, bytes({137, 0x2C, 0x01})},  // only the low 8 bits of the code count
      {151, 5, bytes({151})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(encoded(c.code, c.value), c.bytes);
  }
}

TEST(PhoneticFormat, DecodingTable) {
  struct Case {
    std::string data;
    uint8_t code;
    uint32_t argument;
    size_t length;
  };
  const Case cases[] = {
      {bytes({147, 0x41}), 147, 0, 1},
      {bytes({0x87, 0x02, 0x01, 0x00, 0x00}), 135, 258, 5},
      {bytes({0x88, 0x70, 0x11}), 136, 4464, 3},
      {bytes({0xA2}), 160, 2, 1},
      {bytes({0xA0}), 160, 0, 1},
      {bytes({0xA3}), 163, 0, 1},
      {bytes({0xB0, 0x05, 0, 0, 0}), 176, 5, 5},
      {bytes({0xFF}), 255, 0, 1},
      {bytes({0x01}), 1, 0, 1},
  };
  for (const Case& c : cases) {
    DecodedElement e = decodeElement(c.data, 0);
    EXPECT_EQ(e.code, c.code);
    EXPECT_EQ(e.argument, c.argument);
    EXPECT_EQ(e.length, c.length);
  }
}

TEST(PhoneticFormat, SeparatorsAreMarksAndHighBytes) {
  for (int b = 0; b < 256; ++b) {
    bool expected = (b >= 1 && b <= 5) || b == 32 || b >= 128;
    EXPECT_EQ(isSeparator(static_cast<uint8_t>(b)), expected) << b;
  }
}

// Reads the stream as the pump does: codes before each phoneme, then the
// phoneme; "c<code>:<arg>" and "p<char>" items.
std::vector<std::string> readAll(PhoneticStream& s) {
  std::vector<std::string> items;
  for (int guard = 0; guard < 1000; ++guard) {
    uint8_t sym;
    uint32_t arg;
    while (s.nextCommand(sym, arg)) {
      items.push_back("c" + std::to_string(sym) + ":" + std::to_string(arg));
      s.skipToNextCommand();
    }
    uint8_t p = s.peekPhoneme();
    if (p == EndOfData) break;
    items.push_back(std::string("p") + static_cast<char>(p));
    s.nextPhoneme();
  }
  return items;
}

TEST(PhoneticStream, PeekOnEmptyStreamIsEndWithoutConverting) {
  PhoneticStream s;
  int calls = 0;
  s.setClauseSource([&](PhoneticStream&) { ++calls; });
  EXPECT_EQ(s.peekPhoneme(), EndOfData);
  EXPECT_EQ(calls, 0);
}

TEST(PhoneticStream, CodesBeforeTheFirstPhonemeAreExecutedBeforeIt) {
  PhoneticStream s;
  test::scriptClauses(s, {{test::element(176, 0) + test::element(160, 1) + "MaMA" + test::element(32, 0) + "VO"}});
  s.begin("x", false);
  s.restart();
  EXPECT_EQ(s.peekPhoneme(), 'M');
  EXPECT_EQ(readAll(s), (std::vector<std::string>{"c176:0", "c160:1", "pM", "pa", "pM", "pA", "c32:0", "pV", "pO"}));
  EXPECT_EQ(s.peekPhoneme(), EndOfData);
  EXPECT_EQ(s.phonemeCount(), 6u);
}

TEST(PhoneticStream, CommandsAfterAPhonemeWaitUntilItHasBeenPassed) {
  PhoneticStream s;
  test::scriptClauses(s, {{"AB" + test::element(135, 7) + "C"}});
  s.begin("x", false);
  s.restart();
  uint8_t sym;
  uint32_t arg;
  EXPECT_FALSE(s.nextCommand(sym, arg));  // phoneme A not passed yet
  s.nextPhoneme();                         // on B
  EXPECT_FALSE(s.nextCommand(sym, arg));
  s.nextPhoneme();  // over the bookmark, on C
  ASSERT_TRUE(s.nextCommand(sym, arg));
  EXPECT_EQ(sym, 135);
  EXPECT_EQ(arg, 7u);
}

TEST(PhoneticStream, ElementLengthsAreSkippedWhole) {
  PhoneticStream s;
  // A reset code (1 byte), a text position (5), syllable counts (1 each) and
  // a code whose argument bytes look like phonemes.
  test::scriptClauses(s, {{"A" + test::element(147, 0) + test::element(176, 0x41414141) + test::element(160, 2) +
                           test::element(136, 0x4242) + "B"}});
  s.begin("x", false);
  s.restart();
  EXPECT_EQ(readAll(s), (std::vector<std::string>{"pA", "c147:0", "c176:1094795585", "c160:2", "c136:16962", "pB"}));
}

TEST(PhoneticStream, ReadingPastTheEndConvertsTheNextClause) {
  PhoneticStream s;
  int calls = 0;
  test::scriptClauses(s, {{"AB" + test::element(3, 0)}, {test::element(176, 4) + "CD"}}, &calls);
  s.begin("xx", false);
  s.restart();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(readAll(s), (std::vector<std::string>{"pA", "pB", "c3:0", "c176:4", "pC", "pD"}));
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(s.nextPhoneme());  // source used up: the position rests at the end
  EXPECT_EQ(s.peekPhoneme(), EndOfData);
}

TEST(PhoneticStream, AClauseThatYieldsNothingDoesNotEndTheUtterance) {
  PhoneticStream s;
  test::scriptClauses(s, {{"A"}, {""}, {""}, {"B"}});
  s.begin("xxxx", false);
  s.restart();
  EXPECT_EQ(readAll(s), (std::vector<std::string>{"pA", "pB"}));
}

TEST(PhoneticStream, ClearEmptiesSourceAndStream) {
  PhoneticStream s;
  test::scriptClauses(s, {{"AB"}, {"CD"}});
  s.begin("xx", true);
  s.spellMode = true;
  s.speakerTag = 1;
  s.restart();
  s.clear();
  EXPECT_EQ(s.peekPhoneme(), EndOfData);
  EXPECT_EQ(s.sourceLength(), 0u);
  EXPECT_FALSE(s.spellMode);
  EXPECT_EQ(s.speakerTag, 1);  // the speaker outlives a reset
}

}  // namespace
}  // namespace sonter2
