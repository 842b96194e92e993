// Segment generation: plays two segments of the voice side by side (row 0 and
// row 1), crossfading period by period from the first to the second, stretches
// each part to the number of periods prosody asks for by repeating or skipping
// recorded periods, and fits every emitted period to the current pitch period
// by padding it or by cutting it and overlapping its tail onto the next.
//
// The voice file may be damaged: every read of the samples is bounded, and a
// record that cannot be read whole ends its segment.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "synth/synthesizer.h"

namespace sonter2 {

namespace {

// Classes of the symbols 64 to 127, eight to a row: 1-10 vowel groups, 11
// voiced and 12 voiceless consonants, 0 the single-unit symbols (pauses and
// the symbols rendered from their own segment only).
constexpr uint8_t kSymbolClasses[64] = {
    0,  1, 11, 12, 11, 2,  12, 11,  // @ A B C D E F G
    11, 3, 11, 12, 11, 11, 11, 4,   // H I J K L M N O
    12, 0, 11, 12, 12, 5,  11, 0,   // P Q R S T U V W
    0,  3, 11, 6,  0,  0,  0,  0,   // X Y Z [ \ ] ^ _
    0,  1, 0,  12, 11, 0,  0,  0,   // ` a b c d e f g
    12, 3, 0,  12, 0,  0,  11, 4,   // h i j k l m n o
    12, 12, 11, 12, 12, 5, 12, 2,   // p q r s t u v w
    12, 3, 11, 7,  8,  9,  10, 11,  // x y z { | } ~ DEL
};

constexpr uint8_t kEndRecord = 255;
constexpr uint8_t kFirstReference = 100;
constexpr uint8_t kFixedClass = 50;
constexpr int32_t kMaxClass = 40;
constexpr uint8_t kSilence = 128;  // the zero level of an 8-bit sample

bool isUnvoicedC(uint8_t symbol) { return symbol == 'C' || symbol == 'c'; }

// The stack holds `size` return positions; the segments read are those of
// levels 0 to size.
bool onPath(const Synthesizer::RowStack& stack, uint32_t segment) {
  for (int level = 0; level <= stack.size; ++level) {
    if (stack.segments[static_cast<size_t>(level)] == segment) return true;
  }
  return false;
}

}  // namespace

int32_t symbolClass(uint8_t symbol) {
  if (symbol < 64 || symbol > 127) return 0;
  return kSymbolClasses[symbol - 64];
}

void Synthesizer::resetRenderer() {
  overlapPos = overlapEnd = 0;
  outIndex = 0;
  lengthOverride = lengthReduction = 0;
  for (auto& buffer : outBuf) buffer.fill(0);
}

void Synthesizer::clearLastOutput() { outBuf[outIndex].fill(0); }

// Past the end of the data reads as the end of a segment.
uint8_t Synthesizer::byteAt(uint32_t p) const {
  return p < voice_->samplesSize ? voice_->samples[p] : kEndRecord;
}

// ---------------------------------------------------------------------------
// Phonemes

void Synthesizer::renderBetween(uint8_t symbol, uint8_t next) {
  curSymbol = symbol;
  nextSymbol = next;
  curBase = (symbol - 64) * 60;
  curClass = symbolClass(symbol);
  nextBase = (next - 64) * 60;
  nextClass = symbolClass(next);
  renderPhoneme();
  prevSymbol = symbol;
  prevClass = curClass;
  prevBase = curBase;
}

void Synthesizer::renderPhoneme() {
  // Symbols below 64 have no unit block; the index would be addressed before
  // its start.
  if (voice_ == nullptr || curSymbol < 64) return;
  if (curClass == 0) {
    renderSegments(curBase, curBase, 0, false, 0);
    commitPitch();
  } else if (curClass <= 10) {
    renderVowel();
  } else if (curClass <= 12) {
    renderConsonant();
  }
}

void Synthesizer::renderVowel() {
  const int32_t c = curClass;
  const int32_t n = nextClass;
  int32_t t1 = startSegment(prevBase + 40 + c, 0);
  const int32_t t2 = startSegment(curBase, 0);
  int32_t t3 = startSegment(nextBase + 20 + c, 0);
  int32_t rest;
  if (t1 > t2) {
    t1 = t2;
    rest = 1;
  } else {
    rest = t2 - t1;
    if (rest == 0) rest = 1;
  }
  if (2 * t3 > rest) {
    t3 = (rest + 1) / 2;
    rest = t3;
  } else {
    rest -= t3;
  }
  if (rest == 0) rest = 1;

  lengthOverride = t1;  // the previous phoneme's transition into this vowel class
  renderSegments(prevBase + 40 + c, prevBase + 40 + c, 0, false, 0);
  lengthOverride = rest;  // the vowel itself, blended in from the previous sound
  renderSegments(curBase, curBase, lengthTable[21], true, 0);
  if (n == 0 || n > 10) {  // the next consonant's onset, or the vowel's end before a pause
    lengthOverride = t3;
    if (n == 0) {
      nextBase = 0;
      lengthOverride = 0;
    }
    renderSegments(nextBase + 20 + c, nextBase + 20 + c, lengthTable[21], false, 0);
  }
  vowelRendered();
}

void Synthesizer::renderConsonant() {
  const int32_t c = curClass;
  const int32_t n = nextClass;
  consonantStarting();
  if (prevClass == 0) {  // start of the utterance or after a pause: fade in
    if (!isUnvoicedC(curSymbol)) {
      renderSegments(0, curBase + n, 0, false, 4);
      lengthReduction = lengthTable[21] + 1;
    }
    prevClass = n;
  } else if (prevClass == 11 || prevClass == 12) {  // consonant cluster
    if (prevSymbol == 'J') {
      renderSegments(curBase + 23, curBase + 23, 0, false, 2);
      prevClass = 3;
    } else if (curSymbol == 'J') {
      renderSegments(prevBase + 43, prevBase + 43, 0, false, 2);
    } else {
      renderSegments(prevBase + 40 + c, prevBase + 40 + c, 0, false, 0);
      renderSegments(prevBase, curBase + n, 0, false, 2);
    }
  }
  commitPitch();
  const int32_t a = prevClass < 11 ? curBase + prevClass : curBase + n;
  renderSegments(a, curBase + n, 0, false, 0);
  if (n == 0) {  // the ending before a pause, then a fade out
    renderSegments(curBase + 40, curBase + 40, 0, false, 0);
    if (!isUnvoicedC(curSymbol)) renderSegments(curBase, 0, 0, false, 5);
  }
}

// ---------------------------------------------------------------------------
// Rows

int32_t Synthesizer::startSegment(int32_t n, int r) {
  RowStack& stack = rowStack[r];
  stack.size = 0;
  rowBudget[r] = kRowRecordBudget;
  if (voice_ != nullptr && n >= 0 && static_cast<uint32_t>(n) < kSegmentCount) {
    stack.segments[0] = static_cast<uint32_t>(n);
    stack.entries[stack.size++] = voice_->segmentStart(n);
  }
  return openPart(r);
}

int32_t Synthesizer::openPart(int r) {
  RowStack& stack = rowStack[r];
  rowBroken[r] = false;
  rowLength[r] = 0;
  if (stack.empty()) return 0;
  uint32_t p = stack.entries[--stack.size];
  int32_t k = 0;
  if (!seekPartHeader(r, p, k)) return 0;
  rowFixed[r] = k >= kFixedClass;
  const int32_t cls = rowFixed[r] ? k - kFixedClass : k;
  const int32_t v = lengthTable[static_cast<size_t>(cls)];
  int32_t L = partLength(v);
  if (cls > 0) {
    const int32_t N = byteAt(p + 1);
    p += 2;
    if (!rowFixed[r]) {
      // More periods when the target period is short, so the duration stays.
      L = (L * nominalPeriod + basePeriod / 2) / std::max(periodTarget, 1);
      if (L <= 0) L = 1;
    }
    rowLength[r] = L;
    rowStep[r] = L > 1 ? static_cast<float>(N - 1) / static_cast<float>(L - 1) : 0.0f;
    rowPeriod[r] = 1;
    rowPos[r] = 1.0f;
    rowCount[r] = N;
    // A part that records no period plays as silence instead of reading the
    // next record as a period.
    rowNoData[r] = N == 0;
  } else {
    // A class-0 part carries no periods: it plays silence for its length and
    // is stepped over by its header byte, so the next part follows it.
    rowLength[r] = L;
    rowNoData[r] = true;
    p += 1;
  }
  stack.entries[stack.size++] = p;
  return v;
}

// Reads records from p on, following references and returning from ended
// ones, up to the next part header; k is its class byte or the override of
// the reference that led to it. False when the row's segment has ended.
bool Synthesizer::seekPartHeader(int r, uint32_t& p, int32_t& k) {
  RowStack& stack = rowStack[r];
  int32_t e = 0;
  for (;;) {
    if (--rowBudget[r] < 0) {  // fanned-out references: the row ends here
      stack.size = 0;
      return false;
    }
    const uint8_t f = byteAt(p);
    bool end = f == kEndRecord;
    if (!end && f >= kFirstReference) {
      const uint32_t segment = byteAt(p + 1) | (byteAt(p + 2) << 8);
      // A reference cut off by the end of the data, to a segment the index
      // does not have, back into a segment being read, or one level too deep
      // ends the segment.
      if (p + 2 < voice_->samplesSize && segment < kSegmentCount && stack.size < kMaxRowDepth &&
          !onPath(stack, segment)) {
        stack.entries[stack.size++] = p + 3;
        stack.segments[static_cast<size_t>(stack.size)] = segment;
        e = f - kFirstReference;
        p = voice_->segmentStart(segment);
        continue;
      }
      end = true;
    }
    if (!end) {
      k = e != 0 ? e : f;
      const int32_t cls = k >= kFixedClass ? k - kFixedClass : k;
      // A class beyond the length table, or a part cut off before its period
      // count, ends the segment.
      if (cls <= kMaxClass && (cls == 0 || p + 1 < voice_->samplesSize)) return true;
    }
    if (stack.empty()) return false;
    p = stack.entries[--stack.size];
  }
}

// The table length v with the one-shot override and reduction and the word
// shortening applied (each product in single precision, rounded in double).
int32_t Synthesizer::partLength(int32_t v) {
  int32_t L = v;
  if (lengthOverride != 0) {
    L = lengthOverride;
    lengthOverride = 0;
  }
  L = std::max(L - lengthReduction, 1);
  lengthReduction = 0;
  L = static_cast<int32_t>(std::trunc(static_cast<double>(static_cast<float>(L) * shortenA) + 0.5));
  L = static_cast<int32_t>(std::trunc(static_cast<double>(static_cast<float>(L) * shortenB) + 0.5));
  return L;
}

void Synthesizer::skipPeriods(int r, int32_t n) {
  RowStack& stack = rowStack[r];
  if (n <= 0 || stack.empty() || rowNoData[r]) return;
  rowPeriod[r] += n;
  uint32_t& q = stack.entries[stack.size - 1];
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t length = byteAt(q);
    if (length == kEndRecord) return;  // fewer periods than the part declared: stop at its end
    q += 1u + length;
  }
}

void Synthesizer::takePeriod(int r, uint8_t* buffer) {
  RowStack& stack = rowStack[r];
  if (stack.empty() || rowNoData[r]) {
    buffer[0] = 0;
    return;
  }
  const uint32_t q = stack.entries[stack.size - 1];
  const uint8_t length = byteAt(q);
  // A delimiter where a period should be, or a period running past the end
  // of the data: the part (and with it the segment) ends here.
  if (length == kEndRecord || q + length >= voice_->samplesSize) {
    if (length != kEndRecord) stack.entries[stack.size - 1] = voice_->samplesSize;
    rowNoData[r] = rowBroken[r] = true;
    buffer[0] = 0;
    return;
  }
  buffer[0] = length;
  std::memcpy(buffer + 1, voice_->samples + q + 1, length);
  if (rowPeriod[r] < rowCount[r]) {
    rowPos[r] += rowStep[r];
    const auto t = std::min(static_cast<int32_t>(std::trunc(static_cast<double>(rowPos[r]) + 0.5)), rowCount[r]);
    skipPeriods(r, t - rowPeriod[r]);
  }
}

// ---------------------------------------------------------------------------
// Mixing and output

void Synthesizer::renderSegments(int32_t a, int32_t b, int32_t blend, bool hold, int32_t forced) {
  startSegment(a, 0);
  startSegment(b, 1);
  uint8_t* X = periodBuf[0].data();
  uint8_t* Y = periodBuf[1].data();
  while (!rowStack[0].empty()) {
    if (rowLength[0] > 0 && rowLength[1] > 0) {
      if (forced > 0) {
        rowLength[0] = forced;
        if (!rowFixed[1]) rowStep[1] = 0;  // row 1 stays on its first period
      }
      for (int32_t i = 1; i <= rowLength[0]; ++i) {
        if (blend > 0) {
          takePeriod(0, X);
          blendIn(Y, X, blend, hold);
          blend = 0;
          // Hold keeps mixing with the previous sound's last period, which
          // is then still there for the next rendering to blend from.
          if (hold) std::swap(X, Y);
        } else if (!hold) {
          takePeriod(0, X);
        }
        takePeriod(1, Y);
        if (rowBroken[0] || rowBroken[1]) break;
        if (hold) {
          mixAndEmit(X, Y, 1, 1);
        } else {
          mixAndEmit(X, Y, rowLength[0] - i + 1, i);
        }
      }
    }
    skipPeriods(0, rowCount[0] - rowPeriod[0] + 1);
    skipPeriods(1, rowCount[1] - rowPeriod[1] + 1);
    openPart(0);
    openPart(1);
    forced = 0;
  }
}

void Synthesizer::blendIn(uint8_t* from, uint8_t* to, int32_t n, bool hold) {
  const int32_t m = hold ? (n + 1) / 2 : n;
  for (int32_t j = 0; j < m; ++j) mixAndEmit(from, to, n - j, j + 1);
}

void Synthesizer::mixAndEmit(uint8_t* A, uint8_t* B, int32_t wa, int32_t wb) {
  glideStep();
  const int32_t la = A[0];
  const int32_t lb = B[0];
  if (la < lb) std::memset(A + 1 + la, kSilence, static_cast<size_t>(lb - la));
  if (lb < la) std::memset(B + 1 + lb, kSilence, static_cast<size_t>(la - lb));
  const int32_t count = std::max(la, lb);
  const int64_t w = int64_t{wa} + wb;
  const auto& previous = outBuf[static_cast<size_t>(outIndex)];
  auto& out = outBuf[static_cast<size_t>(1 - outIndex)];
  for (int32_t i = 0; i < count; ++i) {
    int64_t s = 0;
    if (w != 0) s = ((int64_t{A[i + 1]} * wa + int64_t{B[i + 1]} * wb) * 256) / w - 32768;
    if (overlapPos < overlapEnd) s += previous[static_cast<size_t>(overlapPos++)];
    // Clipped: a wrapped sum would turn a loud peak into a full-scale click.
    out[static_cast<size_t>(i)] = static_cast<int16_t>(std::clamp<int64_t>(s, -32768, 32767));
  }
  int64_t end = int64_t{periodNow} - nominalPeriod + (w != 0 ? (int64_t{la} * wa + int64_t{lb} * wb) / w : 0);
  // Periods of two fixed parts keep their length whatever the pitch.
  if (rowFixed[0] && rowFixed[1]) end = count;
  // The buffer holds 512 samples, and a period cut to nothing would leave the
  // pump without a last sample: between 1 and 511 samples go out.
  end = std::clamp<int64_t>(end, 2, kOutBufSize);
  for (int64_t i = count; i < end; ++i) out[static_cast<size_t>(i)] = 0;
  emitPeriod(static_cast<int32_t>(end - 1));
  overlapPos = static_cast<int32_t>(end);
  overlapEnd = count;
}

void Synthesizer::emitPeriod(int32_t n) {
  outIndex = 1 - outIndex;
  const auto& out = outBuf[static_cast<size_t>(outIndex)];
  sink_.deliver(out.data(), static_cast<uint32_t>(n));
  lastSample = out[static_cast<size_t>(n - 1)];
}

}  // namespace sonter2
