// Durations scaled by speed, base periods by pitch, the random generator and
// the intonation marks, the glide and the word shortening.
#include <gtest/gtest.h>

#include <string>

#include "synth/phonetic_stream.h"
#include "synth/synthesizer.h"

namespace sonter2 {
namespace {

struct NullSink : SampleSink {
  void deliver(const int16_t*, uint32_t) override {}
};

// A synthesizer over a voice that has only header tables.
class Prosody : public ::testing::Test {
 protected:
  Prosody() {
    for (size_t i = 0; i < voice.noiseGen.size(); ++i) voice.noiseGen[i] = static_cast<uint8_t>(i * 10);
  }
  Synthesizer& make() {
    synth = std::make_unique<Synthesizer>(&voice, sink, stream);
    return *synth;
  }
  VoiceData voice;
  NullSink sink;
  PhoneticStream stream;
  std::unique_ptr<Synthesizer> synth;
};

TEST_F(Prosody, LengthTableScalesEntries11To40BySpeed) {
  struct Case {
    uint32_t speed;
    uint8_t header;
    uint8_t expected;
  };
  const Case cases[] = {
      {308, 20, 4}, {308, 40, 8},  {170, 20, 12}, {100, 20, 19}, {25, 20, 34}, {25, 40, 68},
      {170, 3, 2},  {308, 3, 1},   {308, 2, 2},   {25, 1, 1},    {25, 0, 0},
      {25, 200, 255},  // 338 does not fit a byte: the longest length is kept
  };
  for (const Case& c : cases) {
    voice.lenTable.fill(c.header);
    Synthesizer& s = make();
    s.buildLengthTable(c.speed);
    SCOPED_TRACE("speed " + std::to_string(c.speed) + " header " + std::to_string(c.header));
    EXPECT_EQ(s.lengthTable[11], c.expected);
    EXPECT_EQ(s.lengthTable[40], c.expected);
    EXPECT_EQ(s.lengthTable[10], c.header);  // entries 0 to 10 never change
    EXPECT_EQ(s.lengthTable[0], c.header);
    EXPECT_EQ(s.lengthTable[41], 0);  // entries 41 to 50 are not written
  }
}

TEST_F(Prosody, BasePeriodByPitchIsCommitted) {
  const std::pair<uint32_t, int32_t> cases[] = {{340, 72}, {339, 72}, {270, 114}, {220, 150}};
  Synthesizer& s = make();
  for (auto [pitch, base] : cases) {
    s.nextOffset1 = s.nextOffset2 = 9;
    s.setBasePeriod(pitch);
    EXPECT_EQ(s.basePeriod, base) << pitch;
    EXPECT_EQ(s.periodTarget, base);
    EXPECT_EQ(s.periodNow, base);
    EXPECT_EQ(s.offset1, 0);
    EXPECT_EQ(s.offset2, 0);
  }
}

TEST_F(Prosody, RandomGeneratorWalksDownTheStateFromIndex1) {
  Synthesizer& s = make();
  // S[16] = 160 + S[1] = 170 -> 42; S[15] = 150 + 170 = 64 -> 0; S[14] = 204 -> 12.
  EXPECT_EQ(s.randomBelow(100), 42);
  EXPECT_EQ(s.randomBelow(100), 0);
  EXPECT_EQ(s.randomBelow(5), 2);
  EXPECT_EQ(s.rndIndex, 14);
  // S[13] = 130 + 204 = 78 -> 14 % 10 = 4, centred: 4 - 5.
  EXPECT_EQ(s.randomCentred(10), -1);
}

TEST_F(Prosody, IntonationMarksStageTargetsOffsetsAndGlides) {
  voice.lenTable[13] = 7;  // 4 at speed 170
  stream.begin(std::string(100, 'a'), false);  // 100 source bytes, no phoneme advanced
  Synthesizer& s = make();
  s.buildLengthTable(170);
  s.setBasePeriod(270);  // B = 114
  s.resetProsody();
  struct Step {
    uint8_t mark;
    int32_t target, nextOffset1, nextOffset2, glide;
  };
  // Draws in order: 42, 0, 12, 14, 6, 52, 24 (see the generator test).
  const Step steps[] = {
      {3, 118, 4, 0, 0},         // c = 42 % 11 - 5 = 4
      {32, 113, -1, 0, 0},       // c = 4 + (0 - 5)
      {1, 126, -1, 26, 28},      // d = 11 + 12 % 11 = 12 on offset1 0; 12 + 14 % 28; 100 * 4 / 14
      {2, 142, -1, 35, 66},      // d = 3 + 26 = 29; 29 + 6 % 7; 400 / 6
      {4, 106, -1, -13, 66},     // d = -(52 % 5) - 5 = -7; -7 - 6; 400 / 6
      {5, 89, -1, -21, 133},     // d = -(24 % 16) - 16 = -24; -24 + 3; 400 / 3
      {7, 89, -1, -21, 133},     // not a mark: nothing changes
  };
  for (const Step& step : steps) {
    s.intonate(step.mark);
    SCOPED_TRACE("mark " + std::to_string(step.mark));
    EXPECT_EQ(s.periodTarget, step.target);
    EXPECT_EQ(s.nextOffset1, step.nextOffset1);
    EXPECT_EQ(s.nextOffset2, step.nextOffset2);
    EXPECT_EQ(s.glideReload, step.glide);
    EXPECT_EQ(s.glideCountdown, step.glide);
  }
  s.commitPitch();
  EXPECT_EQ(s.periodNow, 89);
  EXPECT_EQ(s.offset1, -1);
  EXPECT_EQ(s.offset2, -21);
}

TEST_F(Prosody, GlideCounterOfZeroBecomesNeverAndMorePhonemesThanTextNeverGlide) {
  Synthesizer& s = make();
  s.setBasePeriod(270);
  s.resetProsody();
  s.intonate(4);  // no source text: (0 - 0) * length / den = 0
  EXPECT_EQ(s.glideReload, -1);
  stream.begin("x", false);
  stream.setClauseSource([](PhoneticStream& p) {
    if (p.sourceCursor < p.sourceText.size()) p.appendSymbols("AAA");
    p.sourceCursor = p.sourceText.size();
  });
  stream.restart();
  stream.nextPhoneme();
  stream.nextPhoneme();  // two phonemes advanced over one source byte
  s.lengthTable[13] = 5;
  s.intonate(4);
  EXPECT_LT(s.glideReload, 0);
}

TEST_F(Prosody, WordBoundaryRedrawsAreBoundedWithADegenerateGenerator) {
  voice.noiseGen.fill(0);  // every draw is 0: each boundary steps -B/20
  Synthesizer& s = make();
  s.setBasePeriod(270);
  s.resetProsody();
  const int32_t expected[] = {-5, -10, -15, -20, -25, -28, -28};
  for (int32_t offset : expected) {
    s.intonate(32);
    EXPECT_EQ(s.nextOffset1, offset);
    EXPECT_EQ(s.periodTarget, 114 + offset);
  }
  // A base-period change restarts the walk from 0.
  s.setBasePeriod(270);
  s.intonate(32);
  EXPECT_EQ(s.nextOffset1, -5);
}

TEST_F(Prosody, GlideMovesOneSampleAtEachCountdownOfEligiblePeriods) {
  Synthesizer& s = make();
  s.setBasePeriod(270);
  s.resetProsody();
  s.periodNow = 110;  // target 114 + 0 + 0
  // Reload 0 (utterance start): every period moves, eligible or not.
  s.glideStep();
  EXPECT_EQ(s.periodNow, 111);
  // Every second eligible period (row 0 fixed, row 1 not); others do not count.
  s.glideCountdown = s.glideReload = 2;
  s.rowFixed = {true, false};
  s.glideStep();
  EXPECT_EQ(s.periodNow, 111);
  s.rowFixed = {true, true};
  s.glideStep();
  EXPECT_EQ(s.periodNow, 111);
  s.rowFixed = {true, false};
  s.glideStep();
  EXPECT_EQ(s.periodNow, 112);
  EXPECT_EQ(s.glideCountdown, 2);
  // -1: never again until a mark sets the counter.
  s.glideCountdown = s.glideReload = -1;
  for (int i = 0; i < 100; ++i) s.glideStep();
  EXPECT_EQ(s.periodNow, 112);
  EXPECT_LT(s.glideCountdown, 0);
  // Moving down towards a lower target.
  s.glideCountdown = s.glideReload = 0;
  s.offset1 = -10;
  s.glideStep();
  EXPECT_EQ(s.periodNow, 111);
}

TEST_F(Prosody, ShorteningRecoversVowelByVowel) {
  Synthesizer& s = make();
  s.resetProsody();
  s.consonantStarting();  // the start value 1 gives 0.95 at the first consonant
  EXPECT_FLOAT_EQ(s.shortenB, 0.95f);
  s.setShortening(2);
  EXPECT_FLOAT_EQ(s.shortenA, 0.9f);
  EXPECT_FLOAT_EQ(s.shortenB, 0.9f);
  s.consonantStarting();  // no vowel yet
  EXPECT_FLOAT_EQ(s.shortenB, 0.9f);
  s.vowelRendered();
  s.consonantStarting();
  EXPECT_FLOAT_EQ(s.shortenB, 0.95f);
  s.vowelRendered();
  s.consonantStarting();
  EXPECT_FLOAT_EQ(s.shortenB, 1.0f);
  s.vowelRendered();  // count is 0: no more recovery
  s.consonantStarting();
  EXPECT_FLOAT_EQ(s.shortenB, 1.0f);
  EXPECT_FLOAT_EQ(s.shortenA, 0.9f);
}

}  // namespace
}  // namespace sonter2
