// Prosody and segment generation of one engine: turns one phoneme with its
// neighbours into pitch periods of 16-bit samples and hands each period to
// the pump through SampleSink. Durations come from the voice's length table
// scaled by speed, period lengths from the pitch and the intonation marks.
//
// The pump owns the order of calls; this class owns the state the rendering
// needs between calls.
#pragma once

#include <cstdint>

namespace sonter2 {

class PhoneticStream;
struct VoiceData;

// Receives the samples of every finished period (the pump's deliver).
class SampleSink {
 public:
  virtual void deliver(const int16_t* samples, uint32_t count) = 0;

 protected:
  ~SampleSink() = default;
};

class Synthesizer {
 public:
  // `voice` may be null (no database in this process): nothing is rendered.
  // The random generator starts from the voice's generator state.
  Synthesizer(const VoiceData* voice, SampleSink& sink, PhoneticStream& stream);

  // --- prosody ---
  void buildLengthTable(uint32_t speed);
  void setBasePeriod(uint32_t pitch);
  void resetProsody();
  void intonate(uint8_t symbol);   // marks 1-5 and 32; others ignored
  void setShortening(uint32_t b);  // SyllableCount argument 0..2

  // --- segment generation ---
  // Per-utterance start values of the renderer, both output buffers zeroed.
  void resetRenderer();
  // Zeroes the output buffer emitted last, so nothing before a pause is
  // overlapped into the speech after it.
  void clearLastOutput();
  // Renders curSymbol with its neighbours (fields below).
  void renderPhoneme();

  // The phoneme being rendered and its neighbours, set by the pump;
  // renderPhoneme may change nextBase and prevClass.
  uint8_t curSymbol = 0, prevSymbol = 0, nextSymbol = 0;
  int32_t curBase = 0, prevBase = 0, nextBase = 0;
  int32_t curClass = 0, prevClass = 0, nextClass = 0;

  // Value of the last sample handed on; 128 when the engine is created.
  int16_t lastSample = 128;
};

// The class (0 to 12) of a phoneme symbol 64..127; 0 outside that range.
int32_t symbolClass(uint8_t symbol);

}  // namespace sonter2
