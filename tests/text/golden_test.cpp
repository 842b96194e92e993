// The whole converter against golden files: each case gives the text, the
// dictionary lines in force, and the bytes each conversion call appends (or
// the words the clause expands to). Regenerate on purpose with
// SONTER2_GOLDEN_PRINT=1, review the diff, commit both.
//
// File format (UTF-8), cases separated by blank lines:
//   # comment
//   dict: <one dictionary line>          (any number, before the first text)
//   text: <text>      tagged: <text>     (an utterance; a later one in the
//                                         same case keeps the stream's state)
//   call: <hex bytes> | -                (what one call appends, in order)
//   words: <word>|<word>|...             (words of the utterance, in order)
// In texts, {NN} is the code-page byte NN (for blanks at the end, control
// bytes, the no-break space); everything else is UTF-8.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "synth/phonetic_stream.h"
#include "tests/text/text_test_util.h"
#include "text/converter.h"

namespace sonter2 {
namespace {

using testing::Cp;
using testing::Utf8;

struct Utterance {
  std::string text;  // code page 1250
  bool tagged = false;
  std::vector<std::string> calls;
  bool checkCalls = false;
  std::string words;
  bool checkWords = false;
};

struct GoldenCase {
  int line = 0;
  std::string title;
  std::vector<std::string> dictionary;
  std::vector<Utterance> utterances;
};

std::string DecodeText(std::string_view utf8) {
  std::string out;
  size_t i = 0;
  while (i < utf8.size()) {
    if (utf8[i] == '{' && i + 3 < utf8.size() && utf8[i + 3] == '}') {
      out += static_cast<char>(std::stoi(std::string(utf8.substr(i + 1, 2)), nullptr, 16));
      i += 4;
      continue;
    }
    size_t next = utf8.find('{', i + 1);
    if (next == std::string_view::npos) next = utf8.size();
    out += Cp(utf8.substr(i, next - i));
    i = next;
  }
  return out;
}

std::string Hex(std::string_view bytes) {
  if (bytes.empty()) return "-";
  std::string out;
  char buf[4];
  for (char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(static_cast<uint8_t>(c)));
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

std::vector<GoldenCase> ReadGolden(const std::string& path) {
  std::ifstream in(path);
  std::vector<GoldenCase> cases;
  std::string line;
  int number = 0;
  bool open = false;
  while (std::getline(in, line)) {
    ++number;
    if (line.empty()) {
      open = false;
      continue;
    }
    if (line[0] == '#') {
      if (!open) {
        cases.push_back({number, line.substr(1), {}, {}});
        open = true;
      }
      continue;
    }
    if (!open) {
      cases.push_back({number, "", {}, {}});
      open = true;
    }
    GoldenCase& c = cases.back();
    const size_t colon = line.find(": ");
    const std::string key = line.substr(0, colon == std::string::npos ? line.size() : colon);
    const std::string value = colon == std::string::npos ? "" : line.substr(colon + 2);
    if (key == "dict") {
      c.dictionary.push_back(DecodeText(value));
    } else if (key == "text" || key == "tagged") {
      c.utterances.push_back({DecodeText(value), key == "tagged", {}, false, {}, false});
    } else if (key == "call" && !c.utterances.empty()) {
      c.utterances.back().calls.push_back(value);
      c.utterances.back().checkCalls = true;
    } else if (key == "words" && !c.utterances.empty()) {
      c.utterances.back().words = value;
      c.utterances.back().checkWords = true;
    } else if (key == "calls" && value == "none" && !c.utterances.empty()) {
      c.utterances.back().checkCalls = true;
    } else {
      ADD_FAILURE() << path << ":" << number << ": cannot read \"" << line << "\"";
    }
  }
  return cases;
}

// The bytes each call appends, from the utterance's first call (startFlag)
// until the source is used up.
std::vector<std::string> ConvertCalls(PhoneticStream& stream, const Utterance& u) {
  std::vector<std::string> calls;
  std::lock_guard<std::recursive_mutex> guard(stream.lock());
  stream.begin(u.text, u.tagged);
  stream.startFlag = true;
  while (stream.sourceCursor < stream.sourceText.size()) {
    const size_t before = stream.phoneticBytes().size();
    const size_t cursorBefore = stream.sourceCursor;
    stream.ConvertNextClause();
    calls.push_back(Hex(stream.phoneticBytes().substr(before)));
    if (stream.sourceCursor == cursorBefore) break;
  }
  return calls;
}

// The words of every clause, as `sonter2 words` lists them.
std::string ExpandWords(PhoneticStream& stream, const Utterance& u, bool spellMode, int32_t speakerTag) {
  std::string out;
  size_t cursor = 0;
  bool startFlag = true;
  ConverterState state{u.text, cursor, u.tagged, startFlag, spellMode, speakerTag, stream.dictionary()};
  while (cursor < u.text.size()) {
    for (const ClauseToken& token : ExpandNextClause(state)) {
      if (IsTagToken(token)) continue;
      if (!out.empty()) out += '|';
      out += Utf8(token.text);
    }
    startFlag = false;
  }
  return out;
}

void RunCase(const GoldenCase& c, std::string* printed) {
  PhoneticStream stream;
  std::string lines;
  for (const auto& line : c.dictionary) lines += line + "\n";
  stream.dictionary().Reset();
  stream.dictionary().LoadText(lines);
  stream.dictionary().Build();
  for (const Utterance& u : c.utterances) {
    const bool spellMode = stream.spellMode;
    const int32_t speakerTag = stream.speakerTag;
    const std::vector<std::string> calls = ConvertCalls(stream, u);
    const std::string words = ExpandWords(stream, u, spellMode, speakerTag);
    if (printed != nullptr) {
      *printed += (u.tagged ? "tagged: " : "text: ") + Utf8(u.text) + "\n";
      for (const auto& call : calls) *printed += "call: " + call + "\n";
      *printed += "words: " + words + "\n";
    }
    if (u.checkCalls) {
      EXPECT_EQ(calls, u.calls) << "case at line " << c.line << c.title;
    }
    if (u.checkWords) {
      EXPECT_EQ(words, u.words) << "case at line " << c.line << c.title;
    }
  }
  stream.dictionary().Reset();  // the character names are process-wide
}

TEST(ConverterGolden, Converter) {
  const std::string path = std::string(SONTER2_SOURCE_DIR) + "/tests/text/golden/converter.golden";
  const auto cases = ReadGolden(path);
  ASSERT_FALSE(cases.empty()) << path;
  const bool print = std::getenv("SONTER2_GOLDEN_PRINT") != nullptr;
  for (const auto& c : cases) {
    std::string printed;
    RunCase(c, print ? &printed : nullptr);
    if (print) std::printf("#%s (line %d)\n%s\n", c.title.c_str(), c.line, printed.c_str());
  }
}

}  // namespace
}  // namespace sonter2
