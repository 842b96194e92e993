// Prosody: part durations from the voice's length table scaled by speed and
// shortened within words, and the pitch period: a base period from the pitch
// setting, targets and offsets staged by the intonation marks and put in
// force at commits, with a one-sample glide between them. The random
// variation comes from a small generator seeded by the voice file.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "synth/phonetic_stream.h"
#include "synth/synthesizer.h"

namespace sonter2 {

namespace {

// The word-boundary walk redraws while its offset leaves a quarter of the
// base period. A degenerate generator state (all zeros) gives the same draw
// every time, so the redraws are bounded and the offset clamped after them.
constexpr int kMaxBoundaryRedraws = 64;

// Single-precision (20 - b) / 20: 1.0, 0.95 or 0.9 for the syllable classes.
float shortening(int32_t b) { return static_cast<float>(20 - b) / 20.0f; }

}  // namespace

Synthesizer::Synthesizer(const VoiceData* voice, SampleSink& sink, PhoneticStream& stream)
    : voice_(voice), sink_(sink), stream_(stream) {
  if (voice_ != nullptr) rndState = voice_->noiseGen;
}

void Synthesizer::buildLengthTable(uint32_t speed) {
  if (voice_ == nullptr) return;
  const auto& header = voice_->lenTable;
  std::copy_n(header.begin(), 11, lengthTable.begin());
  const float x = static_cast<float>(308 - static_cast<int64_t>(speed)) * 0.0707f + 2.0f;
  const double factor = std::pow(0.9, 17.0 - static_cast<double>(x));
  for (size_t i = 11; i <= 40; ++i) {
    const uint8_t v = header[i];
    float scaled = v;
    if (v >= 3) scaled = std::max(1.0f, static_cast<float>(v * factor));
    // A slow speed can scale a large header value past a byte: keep the
    // longest length that fits rather than wrapping to a short one.
    const double rounded = std::trunc(static_cast<double>(scaled) + 0.5);
    lengthTable[i] = static_cast<uint8_t>(std::min(rounded, 255.0));
  }
}

void Synthesizer::setBasePeriod(uint32_t pitch) {
  const int32_t t = ((340 - static_cast<int32_t>(pitch)) * 2) / 18;
  basePeriod = (t * nominalPeriod) / 20 + nominalPeriod / 10 + nominalPeriod / 2;
  nextOffset1 = nextOffset2 = 0;
  periodTarget = basePeriod;
  commitPitch();
}

void Synthesizer::commitPitch() {
  periodNow = periodTarget;
  offset1 = nextOffset1;
  offset2 = nextOffset2;
}

void Synthesizer::resetProsody() {
  periodTarget = periodNow = basePeriod;
  nextOffset1 = nextOffset2 = offset1 = offset2 = 0;
  glideCountdown = glideReload = 0;
  nominalPeriod = 120;
  shortenA = shortenB = 1.0f;
  shortenCount = 1;
  vowelDone = 0;
}

int32_t Synthesizer::randomBelow(int32_t n) {
  const uint8_t b = rndState[static_cast<size_t>(rndIndex)];
  if (--rndIndex <= 0) rndIndex = 16;
  auto& slot = rndState[static_cast<size_t>(rndIndex)];
  slot = static_cast<uint8_t>(slot + b);
  // Divisors come from the base period and are at least 1 for every pitch the
  // settings accept; a smaller one draws 0 instead of dividing by zero.
  if (n < 1) return 0;
  return (slot & 63) % n;
}

int32_t Synthesizer::randomCentred(int32_t n) { return randomBelow(n) - n / 2; }

void Synthesizer::intonate(uint8_t symbol) {
  const int32_t B = basePeriod;
  switch (symbol) {
    case 1: {  // FinalStatement: reads the offset in force
      const int32_t d = B / 10 + randomBelow(B / 10);
      periodTarget = offset1 + B + d;
      nextOffset2 = d + randomBelow(B / 4);
      setupGlide(d);
      break;
    }
    case 2: {  // FinalNucleus
      const int32_t d = B / 30 + nextOffset2;
      periodTarget = nextOffset1 + B + d;
      nextOffset2 = d + randomBelow(B / 15);
      setupGlide(d);
      break;
    }
    case 3: {  // FinalEnd
      const int32_t c = randomCentred(B / 10);
      nextOffset1 = c;
      periodTarget = B + c;
      nextOffset2 = 0;
      break;
    }
    case 4: {  // FinalContinuation
      const int32_t d = -randomBelow(B / 20) - B / 20;
      periodTarget = nextOffset1 + B + d;
      nextOffset2 = d - B / 17;
      setupGlide(d);
      break;
    }
    case 5: {  // FinalQuestion
      const int32_t d = -randomBelow(B / 7) - B / 7;
      periodTarget = nextOffset1 + B + d;
      nextOffset2 = d + B / 30;
      setupGlide(d);
      break;
    }
    case 32: {  // WordBoundary
      const int32_t limit = B / 4;
      int32_t c = nextOffset1 + randomCentred(B / 10);
      for (int redraw = 0; (c < -limit || c > limit) && redraw < kMaxBoundaryRedraws; ++redraw) {
        c = nextOffset1 + randomCentred(B / 10);
      }
      c = std::clamp(c, -std::abs(limit), std::abs(limit));
      nextOffset1 = c;
      nextOffset2 = 0;
      periodTarget = B + c;
      break;
    }
    default:
      break;
  }
}

void Synthesizer::setupGlide(int32_t d) {
  int64_t den = std::abs(static_cast<int64_t>(nextOffset2) - d);
  if (den < 1) den = 1;
  // More phonemes than source bytes (numbers, symbol names) make the
  // difference negative: the counter then never reaches 0 and nothing glides.
  const int64_t remaining = static_cast<int64_t>(stream_.sourceLength()) - stream_.phonemeCount();
  int64_t c = remaining * lengthTable[13] / den;
  c = std::clamp<int64_t>(c, INT32_MIN, INT32_MAX);
  if (c == 0) c = -1;
  glideCountdown = glideReload = static_cast<int32_t>(c);
}

void Synthesizer::glideStep() {
  const int32_t before = glideCountdown;
  if (rowFixed[0] && !rowFixed[1] && glideCountdown > INT32_MIN) --glideCountdown;
  if (glideCountdown != 0 && before != 0) return;
  glideCountdown = glideReload;
  const int32_t target = offset1 + offset2 + basePeriod;
  if (target > periodNow) ++periodNow;
  if (target < periodNow) --periodNow;
}

void Synthesizer::setShortening(uint32_t b) {
  shortenCount = static_cast<int32_t>(std::min<uint32_t>(b, 20));
  shortenA = shortenB = shortening(shortenCount);
}

void Synthesizer::vowelRendered() {
  if (shortenCount > 0) vowelDone = 1;
}

void Synthesizer::consonantStarting() {
  shortenCount -= vowelDone;
  vowelDone = 0;
  shortenB = shortening(shortenCount);
}

}  // namespace sonter2
