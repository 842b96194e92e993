// Converter behaviour that golden files do not show well: the call protocol
// with the stream, and the guarantee that only sound units reach synthesis.
#include <gtest/gtest.h>

#include <string>

#include "synth/phonetic_stream.h"
#include "tests/text/text_test_util.h"
#include "text/phonetic_format.h"

namespace sonter2 {
namespace {

using testing::Cp;

// Converts a whole utterance as an utterance start does; returns the bytes.
std::string ConvertAll(PhoneticStream& stream, const std::string& text, bool tagged) {
  std::lock_guard<std::recursive_mutex> guard(stream.lock());
  stream.begin(text, tagged);
  stream.startFlag = true;
  while (stream.sourceCursor < stream.sourceText.size()) {
    const size_t before = stream.sourceCursor;
    stream.ConvertNextClause();
    if (stream.sourceCursor == before) {
      ADD_FAILURE() << "a call consumed nothing";
      break;
    }
  }
  return stream.phoneticBytes();
}

TEST(Converter, CallAtTheEndAppendsNothingAndKeepsStartFlag) {
  PhoneticStream stream;
  stream.dictionary().Build();
  std::lock_guard<std::recursive_mutex> guard(stream.lock());
  stream.begin("", false);
  stream.startFlag = true;
  stream.ConvertNextClause();
  EXPECT_TRUE(stream.phoneticBytes().empty());
  EXPECT_TRUE(stream.startFlag);

  stream.begin("Ahoj. Jak", false);
  stream.ConvertNextClause();
  EXPECT_FALSE(stream.startFlag);
  EXPECT_EQ(stream.sourceCursor, 5u);  // just past the full stop
}

// A clause whose characters all read as nothing (here punctuation whose names
// a dictionary emptied, in letter-by-letter reading) must not end the
// utterance: the stream converts on to the next clause.
TEST(Converter, SilentClauseDoesNotEndTheUtterance) {
  PhoneticStream stream;
  stream.dictionary().Reset();
  stream.dictionary().LoadText(", 0\n. 0\n");
  stream.dictionary().Build();
  stream.begin(Cp("\\rms=1\\, . b"), true);
  stream.restart();
  // Only the b at offset 11, spelled "bé".
  EXPECT_EQ(stream.phoneticBytes(), std::string("\xB0\x0B\x00\x00\x00\xA0" "Bw", 8));
  EXPECT_NE(stream.peekPhoneme(), EndOfData);
  stream.dictionary().Reset();
}

// Every byte of code page 1250, alone and inside a clause, in normal and
// letter-by-letter reading, tagged or not: the stream holds only marks,
// commands and symbols that have sound units (64-127).
TEST(Converter, OnlySoundUnitsReachTheStream) {
  PhoneticStream stream;
  stream.dictionary().Build();
  for (int b = 1; b < 256; ++b) {
    const std::string c(1, static_cast<char>(b));
    for (const std::string& text : {c, "a" + c + "b. " + c + c + "5" + c + ",", "\\rms=1\\x" + c + "-" + c + "."}) {
      for (bool tagged : {false, true}) {
        const std::string bytes = ConvertAll(stream, text, tagged);
        for (size_t pos = 0; pos < bytes.size();) {
          const DecodedElement e = decodeElement(bytes, pos);
          const auto symbol = static_cast<uint8_t>(bytes[pos]);
          if (!isSeparator(symbol)) {
            EXPECT_TRUE(symbol >= 64 && symbol < 128) << "byte " << b << " wrote symbol " << int(symbol);
          }
          ASSERT_LE(pos + e.length, bytes.size()) << "element cut short for byte " << b;
          pos += e.length;
        }
      }
    }
  }
  std::lock_guard<std::recursive_mutex> guard(stream.lock());
  stream.spellMode = false;
}

}  // namespace
}  // namespace sonter2
