// Prosody and segment generation of one engine: turns one phoneme with its
// neighbours into pitch periods of 16-bit samples and hands each period to
// the pump through SampleSink. Durations come from the voice's length table
// scaled by speed, period lengths from the pitch and the intonation marks.
//
// The pump owns the order of calls; this class owns the state the rendering
// needs between calls. Nothing here allocates once the object exists.
#pragma once

#include <array>
#include <cstdint>

#include "synth/voice_database.h"

namespace sonter2 {

class PhoneticStream;

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

  void commitPitch();
  void glideStep();
  void setupGlide(int32_t d);
  int32_t randomBelow(int32_t n);
  int32_t randomCentred(int32_t n);
  void vowelRendered();
  void consonantStarting();

  // --- segment generation ---
  // Per-utterance start values of the renderer, both output buffers zeroed.
  void resetRenderer();
  // Zeroes the output buffer emitted last, so nothing before a pause is
  // overlapped into the speech after it.
  void clearLastOutput();
  // Renders curSymbol with its neighbours (fields below).
  void renderPhoneme();
  // One phoneme in a sequence: sets it and its right neighbour, renders it,
  // and makes it the left neighbour of the next one.
  void renderBetween(uint8_t symbol, uint8_t next);

  void renderSegments(int32_t a, int32_t b, int32_t blend, bool hold, int32_t forced);
  int32_t startSegment(int32_t n, int r);
  int32_t openPart(int r);
  void skipPeriods(int r, int32_t n);
  void takePeriod(int r, uint8_t* buffer);
  void blendIn(uint8_t* from, uint8_t* to, int32_t n, bool hold);
  void mixAndEmit(uint8_t* a, uint8_t* b, int32_t wa, int32_t wb);
  void emitPeriod(int32_t n);

  // The phoneme being rendered and its neighbours, set by the pump;
  // renderPhoneme may change nextBase and prevClass.
  uint8_t curSymbol = 0, prevSymbol = 0, nextSymbol = 0;
  int32_t curBase = 0, prevBase = 0, nextBase = 0;
  int32_t curClass = 0, prevClass = 0, nextClass = 0;

  // Value of the last sample handed on; 128 when the engine is created.
  int16_t lastSample = 128;

  // --- prosody state ---
  std::array<uint8_t, kLenTableSize> lengthTable{};
  int32_t nominalPeriod = 120;
  int32_t basePeriod = 120;
  int32_t periodNow = 120;
  int32_t periodTarget = 120;
  int32_t nextOffset1 = 0, nextOffset2 = 0;
  int32_t offset1 = 0, offset2 = 0;
  int32_t glideCountdown = 0, glideReload = 0;
  std::array<uint8_t, kNoiseGenSize> rndState{};
  int32_t rndIndex = 1;
  float shortenA = 1.0f, shortenB = 1.0f;
  int32_t shortenCount = 1;
  int32_t vowelDone = 0;

  // --- renderer state ---
  // References nest at most this deep; a deeper one, or one back to a
  // segment already being read (a cycle in a damaged file), ends the segment.
  static constexpr int kMaxRowDepth = 16;
  // Records one row may read in one rendering: bounds the work a file whose
  // references fan out (without a cycle) can cause.
  static constexpr int32_t kRowRecordBudget = 64;
  static constexpr int kPeriodBufSize = 257;
  static constexpr int kOutBufSize = 512;

  struct RowStack {
    std::array<uint32_t, kMaxRowDepth + 1> entries{};
    // The segment being read at each level: a reference to one of them is
    // a cycle.
    std::array<uint32_t, kMaxRowDepth + 1> segments{};
    int size = 0;
    bool empty() const { return size == 0; }
  };
  std::array<RowStack, 2> rowStack{};
  std::array<bool, 2> rowFixed{};
  std::array<int32_t, 2> rowLength{};
  std::array<int32_t, 2> rowPeriod{};
  std::array<float, 2> rowPos{};
  std::array<int32_t, 2> rowCount{};
  std::array<float, 2> rowStep{};
  // The current part has no period data (class 0, or no periods recorded).
  std::array<bool, 2> rowNoData{};
  // The current part's period data ran out before its end (damaged file).
  std::array<bool, 2> rowBroken{};
  std::array<int32_t, 2> rowBudget{};
  int32_t lengthOverride = 0;
  int32_t lengthReduction = 0;
  std::array<std::array<uint8_t, kPeriodBufSize>, 2> periodBuf{};
  std::array<std::array<int16_t, kOutBufSize>, 2> outBuf{};
  int outIndex = 0;
  int32_t overlapPos = 0, overlapEnd = 0;

 private:
  uint8_t byteAt(uint32_t p) const;
  bool seekPartHeader(int r, uint32_t& p, int32_t& k);
  int32_t partLength(int32_t v);
  void renderVowel();
  void renderConsonant();

  const VoiceData* voice_;
  SampleSink& sink_;
  PhoneticStream& stream_;
};

// The class (0 to 12) of a phoneme symbol 64..127; 0 outside that range.
int32_t symbolClass(uint8_t symbol);

}  // namespace sonter2
