// Text for `sonter2 say`: UTF-8 read in chunks (arguments, a file or
// standard input), cut into paragraphs and checked, each paragraph becoming
// one UTF-16 text for the engine. Nothing is read ahead beyond what the
// caller asks for, so a book starts at once and memory stays bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace sonter2::host {

// One paragraph as the engine receives it.
struct TextPiece {
  std::u16string text;     // UTF-16 without NUL (a NUL in the input becomes a blank)
  uint64_t firstChar = 0;  // index of its first character in the whole input, in code points
  uint64_t firstByte = 0;  // offset of its first byte in the whole input
  bool blank = false;      // only white space: nothing to say
};

// Decodes strict UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF) to UTF-16. On failure returns false with the offset of the
// first byte that is not part of a valid character.
bool DecodeUtf8(std::string_view bytes, std::u16string& out, size_t& badOffset);

// The number of code points in a UTF-16 text.
uint64_t CountCodePoints(std::u16string_view text);

// Cuts a byte stream into paragraphs: a paragraph ends after a blank line
// (a line holding nothing but blanks, tabs or CR). A paragraph that grows
// past kMaxPieceBytes without one is cut at its last line break, else its
// last blank, else between two characters.
class ParagraphSplitter {
 public:
  static constexpr size_t kMaxPieceBytes = 8192;

  void feed(std::string_view bytes);
  void finish();  // the input has ended: what is left is the last paragraph
  // The writer has paused (a pipe or terminal with nothing more to read
  // yet): what has come up to the last line break is a paragraph too.
  void cutAtLastLine();
  bool empty() const { return ready_.empty(); }
  // The next paragraph's bytes and the offset of its first byte in the input.
  std::string take(uint64_t& firstByte);

 private:
  void cutComplete();
  void cut(size_t end);

  std::string pending_;       // bytes not yet in a paragraph
  uint64_t pendingStart_ = 0; // input offset of pending_[0]
  size_t scanned_ = 0;        // pending_ before this holds no paragraph end
  bool lineHasText_ = false;  // state of the scan at scanned_
  bool paragraphHasText_ = false;
  bool finished_ = false;
  std::deque<std::pair<uint64_t, std::string>> ready_;
};

}  // namespace sonter2::host
