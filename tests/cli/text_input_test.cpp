// The say command's text reader on its own: strict UTF-8 decoding and the
// cutting of a byte stream into paragraphs, which must never split a
// character or depend on how the bytes arrive.
#include "host/text_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sonter2::host {
namespace {

struct DecodeCase {
  const char* name;
  std::string bytes;
  bool valid;
  size_t badOffset;  // when not valid
  std::u16string text;  // when valid
};

TEST(DecodeUtf8Test, AcceptsUtf8AndNamesTheFirstBadByte) {
  const DecodeCase cases[] = {
      {"ascii", "Ahoj", true, 0, u"Ahoj"},
      {"Czech", "\xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD", true, 0, u"žluťoučký"},
      {"outside the basic plane", "a\xF0\x9F\x90\x8E" "b", true, 0, u"a\U0001F40Eb"},
      {"NUL becomes a blank", std::string("a\0b", 3), true, 0, u"a b"},
      {"stray continuation byte", "ab\x80", false, 2, u""},
      {"truncated at the end", "ab\xC5", false, 2, u""},
      {"truncated before ASCII", "ab\xE2\x82x", false, 2, u""},
      {"overlong slash", "a\xC0\xAF", false, 1, u""},
      {"overlong three bytes", "a\xE0\x80\xAF", false, 1, u""},
      {"encoded surrogate", "a\xED\xA0\x80", false, 1, u""},
      {"past U+10FFFF", "a\xF4\x90\x80\x80", false, 1, u""},
      {"never a lead byte", "\xFF", false, 0, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::u16string out;
    size_t bad = 99;
    ASSERT_EQ(DecodeUtf8(c.bytes, out, bad), c.valid);
    if (c.valid) {
      EXPECT_EQ(out, c.text);
    } else {
      EXPECT_EQ(bad, c.badOffset);
    }
  }
  EXPECT_EQ(CountCodePoints(u"a\U0001F40Eb"), 3u);
}

// All paragraphs, feeding the input `step` bytes at a time.
std::vector<std::pair<uint64_t, std::string>> Split(const std::string& input, size_t step) {
  ParagraphSplitter splitter;
  std::vector<std::pair<uint64_t, std::string>> out;
  auto drain = [&] {
    while (!splitter.empty()) {
      uint64_t at = 0;
      std::string bytes = splitter.take(at);
      out.emplace_back(at, std::move(bytes));
    }
  };
  for (size_t i = 0; i < input.size(); i += step) {
    splitter.feed(std::string_view(input).substr(i, step));
    drain();
  }
  splitter.finish();
  drain();
  return out;
}

TEST(ParagraphSplitterTest, EndsParagraphsAtBlankLines) {
  const std::string input = "Prvn\xC3\xAD \xC5\x99\xC3\xA1" "dek.\nDruh\xC3\xBD.\r\n \t\r\nT\xC5\x99" "et\xC3\xAD.\n\n\nKonec";
  const auto pieces = Split(input, input.size());
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].second, "Prvn\xC3\xAD \xC5\x99\xC3\xA1" "dek.\nDruh\xC3\xBD.\r\n \t\r\n");
  EXPECT_EQ(pieces[1].second, "T\xC5\x99" "et\xC3\xAD.\n\n");
  EXPECT_EQ(pieces[2].second, "\nKonec");
  // Nothing is lost, and each offset is where the piece starts.
  std::string joined;
  for (const auto& [at, bytes] : pieces) {
    EXPECT_EQ(at, joined.size());
    joined += bytes;
  }
  EXPECT_EQ(joined, input);
  // Leading blank lines do not end an empty paragraph.
  EXPECT_EQ(Split("\n\n\nAhoj", 100).size(), 1u);
}

TEST(ParagraphSplitterTest, APauseOfTheWriterEndsTheLinesSoFar) {
  ParagraphSplitter splitter;
  splitter.feed("Prvn\xC3\xAD\nDruh\xC3\xBD\nne");
  splitter.cutAtLastLine();
  uint64_t at = 99;
  ASSERT_FALSE(splitter.empty());
  EXPECT_EQ(splitter.take(at), "Prvn\xC3\xAD\nDruh\xC3\xBD\n");
  EXPECT_EQ(at, 0u);
  splitter.cutAtLastLine();  // no complete line: nothing
  EXPECT_TRUE(splitter.empty());
  splitter.feed("dokon\xC4\x8D" "en\xC3\xBD\n\nDal\xC5\xA1\xC3\xAD");
  ASSERT_FALSE(splitter.empty());
  EXPECT_EQ(splitter.take(at), "nedokon\xC4\x8D" "en\xC3\xBD\n\n");
  EXPECT_EQ(at, 14u);
  splitter.finish();
  EXPECT_EQ(splitter.take(at), "Dal\xC5\xA1\xC3\xAD");
  EXPECT_EQ(at, 29u);
}

TEST(ParagraphSplitterTest, CutsLongTextBetweenCharactersWhateverTheChunks) {
  std::string euros;  // three-byte characters, no blank to cut at
  while (euros.size() < 3 * ParagraphSplitter::kMaxPieceBytes) euros += "\xE2\x82\xAC";
  std::string words;  // blanks but no line break
  while (words.size() < 3 * ParagraphSplitter::kMaxPieceBytes) words += "slovo ";
  std::string lines;  // line breaks but no blank line
  while (lines.size() < 3 * ParagraphSplitter::kMaxPieceBytes) lines += "\xC5\xA1" "ek a \xC5\xA1" "ek\n";
  for (const std::string* input : {&euros, &words, &lines}) {
    const auto whole = Split(*input, input->size());
    ASSERT_GT(whole.size(), 2u);
    for (size_t step : {1, 7, 4096}) {
      SCOPED_TRACE(step);
      EXPECT_TRUE(Split(*input, step) == whole) << "the same pieces however the bytes arrive";
    }
    for (const auto& [at, bytes] : whole) {
      EXPECT_LE(bytes.size(), ParagraphSplitter::kMaxPieceBytes);
      std::u16string text;
      size_t bad = 0;
      EXPECT_TRUE(DecodeUtf8(bytes, text, bad)) << "a character was cut at piece " << at;
    }
    if (input == &words) {
      EXPECT_EQ(whole[0].second.back(), ' ') << "cut after a blank";
    }
    if (input == &lines) {
      EXPECT_EQ(whole[0].second.back(), '\n') << "cut after a line break";
    }
  }
}

}  // namespace
}  // namespace sonter2::host
