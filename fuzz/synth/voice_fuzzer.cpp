// Fuzz entry: the input is a whole voice file. It is decoded as the loader
// decodes it and a fixed utterance, with intonation marks and shortening, is
// rendered from it at the extremes of speed and pitch. Whatever the file
// holds, rendering must stay inside the data and the output buffers and end.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "synth/phonetic_stream.h"
#include "synth/synthesizer.h"

namespace sonter2 {

// The fuzzer never runs the text converter; the stream only supplies counts.
void PhoneticStream::ConvertNextClause() { sourceCursor = sourceText.size(); }

namespace {

struct CountingSink : SampleSink {
  void deliver(const int16_t* samples, uint32_t count) override {
    if (count == 0 || count > 511) __builtin_trap();
    total += count;
    last = samples[count - 1];
  }
  uint64_t total = 0;
  int16_t last = 0;
};

// Symbols with the marks and syllable counts in front of them: every class,
// 'C' and 'J' special cases, pauses, a symbol below 64 and DEL.
struct Element {
  uint8_t symbol;
  uint8_t mark;       // 0: none
  uint8_t syllables;  // 255: none
};
constexpr Element kUtterance[] = {
    {'@', 0, 255}, {'A', 0, 1},   {'M', 0, 255}, {'a', 0, 255}, {'J', 32, 2},  {'S', 0, 255}, {'T', 0, 255},
    {'C', 0, 255}, {'c', 1, 0},   {'[', 2, 255}, {'^', 3, 255}, {'E', 4, 1},   {'z', 0, 255}, {'~', 2, 255},
    {'\\', 3, 255}, {'J', 5, 2},  {'K', 0, 255}, {'#', 0, 255}, {'O', 2, 255}, {127, 0, 255}, {'y', 3, 255},
    {'`', 0, 255},
};

void render(const VoiceData& voice, uint32_t speed, uint32_t pitch) {
  static PhoneticStream stream;
  CountingSink sink;
  Synthesizer s(&voice, sink, stream);
  s.buildLengthTable(speed);
  s.setBasePeriod(pitch);
  s.resetProsody();
  s.resetRenderer();
  constexpr size_t n = sizeof kUtterance / sizeof kUtterance[0];
  for (size_t i = 0; i < n; ++i) {
    const Element& e = kUtterance[i];
    if (e.syllables != 255) s.setShortening(e.syllables);
    if (e.mark != 0) s.intonate(e.mark);
    const uint8_t next = i + 1 < n ? kUtterance[i + 1].symbol : '`';
    s.renderBetween(e.symbol, next);
    if (e.symbol == '^') s.clearLastOutput();
  }
}

}  // namespace
}  // namespace sonter2

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto decoded = sonter2::DecodedVoice::fromFileBytes(std::span<const uint8_t>(data, size));
  if (decoded == nullptr) return 0;
  sonter2::render(decoded->voice(), 170, 270);
  sonter2::render(decoded->voice(), 25, 220);
  sonter2::render(decoded->voice(), 308, 340);
  return 0;
}
