// The byte code between text analysis and synthesis: phoneme symbols, the
// prosodic marks 1-5 and 32, and commands of 128 and more with 0, 2 or 4
// argument bytes (least significant byte first).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sonter2 {

// What the stream's peek gives at the end of the converted data.
inline constexpr uint8_t EndOfData = 255;

// Prosodic marks.
inline constexpr uint8_t FinalStatement = 1;
inline constexpr uint8_t FinalNucleus = 2;
inline constexpr uint8_t FinalEnd = 3;
inline constexpr uint8_t FinalContinuation = 4;
inline constexpr uint8_t FinalQuestion = 5;
inline constexpr uint8_t WordBoundary = 32;

// Commands of the converter's own (tag commands are 128 + tag index).
inline constexpr uint8_t kTagCommandBase = 128;
inline constexpr uint8_t kResetCommand = 147;  // the "rst" tag: no argument
inline constexpr uint8_t SyllableCount = 160;  // 160 + k, k = 0..2
inline constexpr uint8_t TextPosition = 176;
inline constexpr uint8_t kBookmarkCommand = 135;
inline constexpr uint8_t kPauseCommand = 136;

// Symbols the converter writes besides letters.
inline constexpr char kSilenceSymbol = '`';
inline constexpr char kSentencePause = '^';
inline constexpr char kClausePause = '\\';

// True for everything that is not a phoneme symbol: the marks and every byte
// of 128 or more.
constexpr bool isSeparator(uint8_t b) { return (b >= 1 && b <= 5) || b == 32 || b >= 128; }

// Number of argument bytes that follow a code byte.
constexpr size_t argumentBytes(uint8_t b) {
  if (b == kBookmarkCommand || b == TextPosition) return 4;
  if (b >= 128 && b <= 150 && b != kResetCommand) return 2;
  return 0;
}

// Appends one mark or command; only the low 8 bits of `code` are used.
void encodeElement(std::string& out, uint32_t code, uint32_t value);

struct DecodedElement {
  uint8_t code = 0;       // 160 for the syllable counts 160..162
  uint32_t argument = 0;  // 0 for codes without argument
  size_t length = 1;      // bytes the element occupies
};

// Decodes the element at `pos` of `data`. An argument cut short by the end of
// the data is read as far as it goes; the stream never holds such a tail.
DecodedElement decodeElement(const std::string& data, size_t pos);

}  // namespace sonter2
