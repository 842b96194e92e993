// Reading and checking the text for `sonter2 say`; see the header.
#include "host/text_input.h"

#include <algorithm>

#include "platform/codepage.h"

namespace sonter2::host {

bool DecodeUtf8(std::string_view bytes, std::u16string& out, size_t& badOffset) {
  std::u32string chars;
  if (!platform::DecodeUtf8(bytes, chars, &badOffset)) {
    out.clear();
    return false;
  }
  std::replace(chars.begin(), chars.end(), U'\0', U' ');  // the engine's text ends at a NUL
  out = platform::Utf32ToUtf16(chars);
  return true;
}

uint64_t CountCodePoints(std::u16string_view text) {
  uint64_t n = 0;
  for (char16_t u : text) {
    if (u < 0xDC00 || u > 0xDFFF) ++n;  // a low surrogate finishes a character already counted
  }
  return n;
}

void ParagraphSplitter::feed(std::string_view bytes) {
  pending_.append(bytes);
  cutComplete();
}

void ParagraphSplitter::finish() {
  finished_ = true;
  cutComplete();
  if (!pending_.empty()) cut(pending_.size());
}

void ParagraphSplitter::cutAtLastLine() {
  const size_t at = pending_.find_last_of('\n', scanned_ == 0 ? 0 : scanned_ - 1);
  if (scanned_ > 0 && at != std::string::npos && paragraphHasText_) cut(at + 1);
}

std::string ParagraphSplitter::take(uint64_t& firstByte) {
  auto [start, bytes] = std::move(ready_.front());
  ready_.pop_front();
  firstByte = start;
  return std::move(bytes);
}

void ParagraphSplitter::cut(size_t end) {
  ready_.emplace_back(pendingStart_, pending_.substr(0, end));
  pending_.erase(0, end);
  pendingStart_ += end;
  scanned_ = 0;
  lineHasText_ = false;
  paragraphHasText_ = false;
}

void ParagraphSplitter::cutComplete() {
  for (;;) {
    if (scanned_ >= kMaxPieceBytes) {
      // Too long without a blank line: cut after its last line break, else
      // its last blank, else between two characters (never inside one).
      // The same bytes give the same cuts however they arrive.
      size_t at = pending_.find_last_of('\n', kMaxPieceBytes - 1);
      if (at == std::string::npos) at = pending_.find_last_of(" \t", kMaxPieceBytes - 1);
      size_t end = at == std::string::npos ? kMaxPieceBytes : at + 1;
      if (at == std::string::npos) {
        if (pending_.size() == end && !finished_) return;  // is the next byte inside a character?
        const auto continues = [&](size_t i) {
          return i < pending_.size() && (static_cast<uint8_t>(pending_[i]) & 0xC0) == 0x80;
        };
        for (int back = 0; back < 3 && end > 1 && continues(end); ++back) --end;
      }
      cut(end);
      continue;
    }
    if (scanned_ >= pending_.size()) return;
    const char c = pending_[scanned_++];
    if (c == '\n') {
      // A blank line after some text ends the paragraph (the line with it).
      if (!lineHasText_ && paragraphHasText_) {
        cut(scanned_);
        continue;
      }
      lineHasText_ = false;
    } else if (c != ' ' && c != '\t' && c != '\r') {
      lineHasText_ = true;
      paragraphHasText_ = true;
    }
  }
}

}  // namespace sonter2::host
