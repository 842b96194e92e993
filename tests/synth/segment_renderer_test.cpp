// Segment generation sample by sample, on tiny voices whose periods are flat
// (one sample value each), so that every emitted period shows which periods
// were mixed at which weights.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "synth/phonetic_stream.h"
#include "synth/synthesizer.h"
#include "tests/support/voice_file_writer.h"

namespace sonter2 {
namespace {

using test::flatPeriod;
using test::Period;
using test::VoiceFileWriter;

constexpr uint8_t kPause = '`';

// The 16-bit value of flat periods a and b mixed at weights wa and wb.
int mix(int a, int wa, int b, int wb) { return ((a * wa + b * wb) * 256) / (wa + wb) - 32768; }
int level(int v) { return mix(v, 1, v, 1); }

struct RecordingSink : SampleSink {
  void deliver(const int16_t* samples, uint32_t count) override { periods.emplace_back(samples, samples + count); }
  std::vector<std::vector<int16_t>> periods;
};

class Renderer : public ::testing::Test {
 protected:
  Renderer() { w.lenTable.fill(1); }

  // Decodes the voice as written (scrambling included) and sets neutral
  // pitch: periodNow 120, so a period of length L goes out with L - 1 samples.
  Synthesizer& build() {
    decoded = DecodedVoice::fromFileBytes(w.fileBytes());
    synth = std::make_unique<Synthesizer>(decoded ? &decoded->voice() : nullptr, sink, stream);
    synth->lengthTable = w.lenTable;
    synth->basePeriod = 120;
    synth->resetProsody();
    synth->resetRenderer();
    return *synth;
  }

  // Renders a symbol string the way the pump steps through it; the last
  // symbol has the silence symbol as its right neighbour.
  void speak(const std::string& symbols) {
    Synthesizer& s = *synth;
    for (size_t i = 0; i < symbols.size(); ++i) {
      const auto c = static_cast<uint8_t>(symbols[i]);
      const auto n = static_cast<uint8_t>(i + 1 < symbols.size() ? symbols[i + 1] : kPause);
      s.renderBetween(c, n);
    }
  }

  // The value of each emitted period, which must be flat and `samples` long.
  std::vector<int> levels(size_t samples = 19) const {
    std::vector<int> out;
    for (const auto& p : sink.periods) {
      EXPECT_EQ(p.size(), samples);
      for (int16_t v : p) EXPECT_EQ(v, p.front());
      out.push_back(p.empty() ? 0 : p.front());
    }
    return out;
  }

  void placeConsonant() {
    w.lenTable[5] = 5;
    w.lenTable[21] = 2;  // blend, and the reduction after a fade-in is 3
    w.segment(0).part(1, {flatPeriod(20, 100)});  // the pause fade sound
    w.segment(780).part(5, {flatPeriod(20, 200)});  // 'M' before a pause
    w.segment(781).part(5, {flatPeriod(20, 200)});  // 'M' before class 1
  }

  VoiceFileWriter w;
  std::unique_ptr<DecodedVoice> decoded;
  RecordingSink sink;
  PhoneticStream stream;
  std::unique_ptr<Synthesizer> synth;
};

TEST_F(Renderer, CrossfadeWalksFromRow0ToRow1) {
  w.lenTable[1] = 3;
  w.segment(100).part(1, {flatPeriod(20, 100)});
  w.segment(101).part(1, {flatPeriod(20, 200)});
  build().renderSegments(100, 101, 0, false, 0);
  EXPECT_EQ(levels(), (std::vector<int>{mix(100, 3, 200, 1), mix(100, 2, 200, 2), mix(100, 1, 200, 3)}));
  EXPECT_EQ(synth->lastSample, mix(100, 1, 200, 3));
}

TEST_F(Renderer, RecordedPeriodsAreRepeatedOrSkippedToTheLength) {
  w.lenTable[1] = 5;
  w.lenTable[2] = 2;
  w.segment(100).part(1, {flatPeriod(20, 100), flatPeriod(20, 110), flatPeriod(20, 120)});
  w.segment(101).part(2, {flatPeriod(20, 100), flatPeriod(20, 110), flatPeriod(20, 120), flatPeriod(20, 130),
                          flatPeriod(20, 140)});
  Synthesizer& s = build();
  s.renderSegments(100, 100, 0, false, 0);  // 3 periods stretched to 5: step 0.5
  s.renderSegments(101, 101, 0, false, 0);  // 5 periods shrunk to 2: first and last
  EXPECT_EQ(levels(), (std::vector<int>{level(100), level(110), level(110), level(120), level(120), level(100),
                                        level(140)}));
}

TEST_F(Renderer, PartsFollowEachOtherAndRow1MayEndFirst) {
  w.lenTable[1] = 2;
  w.lenTable[2] = 1;
  w.segment(100).part(1, {flatPeriod(20, 100)}).part(2, {flatPeriod(20, 150)}).part(1, {flatPeriod(20, 90)});
  w.segment(101).part(1, {flatPeriod(20, 200)}).part(2, {flatPeriod(20, 250)});
  build().renderSegments(100, 101, 0, false, 0);
  // The third part of row 0 has no partner: opened and skipped silently.
  EXPECT_EQ(levels(), (std::vector<int>{mix(100, 2, 200, 1), mix(100, 1, 200, 2), mix(150, 1, 250, 1)}));
}

TEST_F(Renderer, ShortPeriodIsPaddedAndTheLongerOneCutWithItsTailOverlapped) {
  Synthesizer& s = build();
  Period a = flatPeriod(100, 130), b = flatPeriod(120, 140);
  std::array<uint8_t, 257> A{}, B{}, C{};
  A[0] = 100;
  std::copy(a.begin(), a.end(), A.begin() + 1);
  B[0] = 120;
  std::copy(b.begin(), b.end(), B.begin() + 1);
  s.mixAndEmit(A.data(), B.data(), 3, 1);
  // 120 samples mixed, end = (100*3 + 120*1) / 4 = 105: 104 go out.
  ASSERT_EQ(sink.periods.size(), 1u);
  const auto& first = sink.periods[0];
  ASSERT_EQ(first.size(), 104u);
  EXPECT_EQ(first[99], mix(130, 3, 140, 1));
  EXPECT_EQ(first[100], mix(128, 3, 140, 1));  // the shorter one padded with silence
  EXPECT_EQ(s.overlapPos, 105);
  EXPECT_EQ(s.overlapEnd, 120);
  // Samples 105 to 119 go into the start of the next period.
  C[0] = 50;
  std::fill(C.begin() + 1, C.begin() + 51, 128);
  s.mixAndEmit(C.data(), C.data(), 1, 1);
  const auto& second = sink.periods[1];
  ASSERT_EQ(second.size(), 49u);
  for (size_t i = 0; i < 15; ++i) EXPECT_EQ(second[i], mix(128, 3, 140, 1)) << i;
  for (size_t i = 15; i < 49; ++i) EXPECT_EQ(second[i], 0) << i;
}

TEST_F(Renderer, PeriodLengthFollowsPitchExceptBetweenFixedParts) {
  struct Case {
    int32_t periodNow;
    bool fixed0, fixed1;
    size_t samples;  // of a 20-sample period
  };
  const Case cases[] = {
      {120, false, false, 19}, {130, false, false, 29}, {110, false, false, 9}, {100, true, true, 19},
      {150, true, true, 19},   {130, true, false, 29},
      {100, false, false, 1},  // end 0: one sample still goes out
      {900, false, false, 511},  // the buffer's room
  };
  for (const Case& c : cases) {
    sink.periods.clear();
    Synthesizer& s = build();
    s.periodNow = c.periodNow;
    s.glideCountdown = s.glideReload = -1;
    s.rowFixed = {c.fixed0, c.fixed1};
    std::array<uint8_t, 257> A{};
    A[0] = 20;
    std::fill(A.begin() + 1, A.begin() + 21, 200);
    s.mixAndEmit(A.data(), A.data(), 1, 1);
    ASSERT_EQ(sink.periods.size(), 1u);
    const auto& p = sink.periods[0];
    EXPECT_EQ(p.size(), c.samples) << c.periodNow;
    for (size_t i = 0; i < p.size(); ++i) EXPECT_EQ(p[i], i < 20 ? level(200) : 0) << c.periodNow << " @" << i;
  }
}

TEST_F(Renderer, EmptyPeriodsStillEmitOneSample) {
  Synthesizer& s = build();
  std::array<uint8_t, 257> A{};
  s.mixAndEmit(A.data(), A.data(), 1, 1);
  ASSERT_EQ(sink.periods.size(), 1u);
  EXPECT_EQ(sink.periods[0], std::vector<int16_t>{0});
  EXPECT_EQ(s.lastSample, 0);
}

TEST_F(Renderer, OverlapIsClippedNotWrapped) {
  Synthesizer& s = build();
  s.periodNow = 100;  // cut 20 samples short: 80..99 overlap the next period
  s.glideCountdown = s.glideReload = -1;
  std::array<uint8_t, 257> A{};
  A[0] = 100;
  std::fill(A.begin() + 1, A.begin() + 101, 254);
  s.mixAndEmit(A.data(), A.data(), 1, 1);
  s.mixAndEmit(A.data(), A.data(), 1, 1);
  ASSERT_EQ(sink.periods.size(), 2u);
  EXPECT_EQ(sink.periods[0][0], 32256);
  EXPECT_EQ(sink.periods[1][0], 32767);
  EXPECT_EQ(sink.periods[1][19], 32767);
  EXPECT_EQ(sink.periods[1][20], 32256);
}

TEST_F(Renderer, ForcedLengthHoldsAnOrdinaryRow1OnItsFirstPeriod) {
  w.lenTable[1] = 3;
  const std::vector<Period> row0 = {flatPeriod(20, 100), flatPeriod(20, 110), flatPeriod(20, 120)};
  const std::vector<Period> row1 = {flatPeriod(20, 200), flatPeriod(20, 210), flatPeriod(20, 220)};
  w.segment(100).part(1, row0);
  w.segment(101).part(1, row1);
  w.segment(102).fixedPart(1, row1);
  Synthesizer& s = build();
  s.renderSegments(100, 101, 0, false, 2);
  s.renderSegments(100, 102, 0, false, 2);
  EXPECT_EQ(levels(), (std::vector<int>{mix(100, 2, 200, 1), mix(110, 1, 200, 2),  // row 1 held
                                        mix(100, 2, 200, 1), mix(110, 1, 210, 2)}));  // fixed row 1 walks
}

TEST_F(Renderer, ReferencesPlayOtherSegmentsWithClassOverrides) {
  w.lenTable[1] = 3;
  w.lenTable[2] = 5;
  w.lenTable[3] = 2;
  w.segment(101).part(1, {flatPeriod(20, 150)});
  w.segment(100).reference(101, 2).part(3, {flatPeriod(20, 170)});  // override: class 2
  w.segment(102).reference(101, 52);                                 // override: fixed class 2
  Synthesizer& s = build();
  s.renderSegments(100, 100, 0, false, 0);
  EXPECT_EQ(levels(), (std::vector<int>{level(150), level(150), level(150), level(150), level(150), level(170),
                                        level(170)}));
  // A short target period asks for more periods of ordinary parts, not of
  // fixed ones: (3 * 120 + 60) / 60 = 7 for the class-1 part.
  sink.periods.clear();
  s.periodTarget = 60;
  s.renderSegments(102, 102, 0, false, 0);
  EXPECT_EQ(sink.periods.size(), 5u);
  EXPECT_TRUE(s.rowFixed[0]);
  sink.periods.clear();
  s.renderSegments(101, 101, 0, false, 0);
  EXPECT_EQ(sink.periods.size(), 7u);
}

TEST_F(Renderer, LengthsScaleWithSpeedAndPeriodsWithPitch) {
  w.lenTable[20] = 20;
  w.lenTable[1] = 5;
  w.segment(100).part(20, {flatPeriod(20, 140)});
  w.segment(101).part(1, {flatPeriod(100, 140)});
  Synthesizer& s = build();
  const std::pair<uint32_t, size_t> speeds[] = {{170, 12}, {308, 4}, {25, 34}};
  for (auto [speed, periods] : speeds) {
    sink.periods.clear();
    s.buildLengthTable(speed);
    s.renderSegments(100, 100, 0, false, 0);
    EXPECT_EQ(sink.periods.size(), periods) << speed;
  }
  // Pitch 220: base period 150, (5 * 120 + 75) / 150 = 4 periods of 100 + 30 - 1.
  sink.periods.clear();
  s.setBasePeriod(220);
  s.renderSegments(101, 101, 0, false, 0);
  ASSERT_EQ(sink.periods.size(), 4u);
  EXPECT_EQ(sink.periods[0].size(), 129u);
  // Pitch 340: base period 72, (600 + 36) / 72 = 8 periods of 100 - 48 - 1,
  // each carrying the previous one's last 48 samples.
  sink.periods.clear();
  s.setBasePeriod(340);
  s.renderSegments(101, 101, 0, false, 0);
  ASSERT_EQ(sink.periods.size(), 8u);
  EXPECT_EQ(sink.periods[1].size(), 51u);
  EXPECT_EQ(sink.periods[1][0], 2 * level(140));
}

TEST_F(Renderer, VowelPlaysTransitionHeldBodyAndOnset) {
  // 'A' (class 1, segments 60..) between a pause and 'M' (class 11, 780..).
  w.lenTable[2] = 2;   // t1: transition of the pause symbol into class 1
  w.lenTable[3] = 6;   // t2: the vowel
  w.lenTable[4] = 2;   // t3: the onset of 'M' after class 1
  w.lenTable[21] = 2;  // blend
  w.segment(1920 + 41).part(2, {flatPeriod(20, 100)});
  w.segment(60).part(3, {flatPeriod(20, 150)});
  w.segment(780 + 21).part(4, {flatPeriod(20, 200)});
  build();
  speak("`AM");
  std::vector<int> got = levels();
  got.resize(9);
  // rest = 6 - 2 - 2; the body holds the transition's last period at equal
  // weight, and the onset blends in from that held period.
  EXPECT_EQ(got, (std::vector<int>{level(100), level(100), mix(100, 2, 150, 1), mix(100, 1, 150, 1),
                                   mix(100, 1, 150, 1), mix(100, 2, 200, 1), mix(100, 1, 200, 2), level(200),
                                   level(200)}));
}

TEST_F(Renderer, VowelOnsetDependsOnTheNextClass) {
  w.lenTable[2] = 2;
  w.lenTable[3] = 6;
  w.lenTable[4] = 2;
  w.lenTable[5] = 5;
  w.lenTable[21] = 2;
  w.segment(1920 + 41).part(2, {flatPeriod(20, 100)});
  w.segment(60).part(3, {flatPeriod(20, 150)});
  w.segment(780 + 21).part(4, {flatPeriod(20, 200)});
  w.segment(21).part(5, {flatPeriod(20, 90)});  // vowel end before a pause: symbol 64, slot 21
  w.segment(300 + 21).part(4, {flatPeriod(20, 60)});  // 'E' onset: never played
  struct Case {
    uint8_t next;
    size_t periods;
    int last;
  };
  // Before a pause the pause's own onset slot is empty (t3 = 0, the body
  // takes the whole rest of 4: 5 periods), and the vowel's end comes from
  // symbol 64 at its table length (5), blended in over 2.
  const Case cases[] = {{'M', 9, level(200)}, {'E', 5, mix(100, 1, 150, 1)}, {'`', 2 + 5 + 7, level(90)}};
  for (const Case& c : cases) {
    sink.periods.clear();
    Synthesizer& s = build();
    s.prevSymbol = kPause;
    s.prevBase = (kPause - 64) * 60;
    s.curSymbol = 'A';
    s.curBase = 60;
    s.curClass = 1;
    s.nextSymbol = c.next;
    s.nextBase = (c.next - 64) * 60;
    s.nextClass = symbolClass(c.next);
    s.renderPhoneme();
    ASSERT_EQ(sink.periods.size(), c.periods) << c.next;
    EXPECT_EQ(sink.periods.back().front(), c.last) << c.next;
  }
}

TEST_F(Renderer, ShortVowelTransitionIsCutToTheVowel) {
  w.lenTable[2] = 5;  // t1 > t2: t1 = 3, body 1, onset 1
  w.lenTable[3] = 3;
  w.lenTable[4] = 2;
  w.lenTable[21] = 2;
  w.segment(1920 + 41).part(2, {flatPeriod(20, 100)});
  w.segment(60).part(3, {flatPeriod(20, 150)});
  w.segment(780 + 21).part(4, {flatPeriod(20, 200)});
  build();
  speak("`AM");
  ASSERT_GE(sink.periods.size(), 8u);
  // 3 transition, 1 blended + 1 held body, 2 blended + 1 onset.
  EXPECT_EQ(sink.periods[5].front(), mix(100, 2, 200, 1));
  EXPECT_EQ(sink.periods[7].front(), level(200));
}

TEST_F(Renderer, ConsonantFadesInFromAndOutToSegment0) {
  placeConsonant();
  w.segment(820).part(1, {flatPeriod(20, 180)});  // 'M' ending before a pause
  build();
  speak("`M`");
  EXPECT_EQ(levels(), (std::vector<int>{mix(100, 4, 200, 1), mix(100, 3, 200, 2), mix(100, 2, 200, 3),
                                        mix(100, 1, 200, 4),  // fade in over 4 periods
                                        level(200), level(200),  // body: 5 less the reduction 3
                                        level(180),              // ending (class 1: 1 period)
                                        mix(200, 5, 100, 1), mix(200, 4, 100, 2), mix(200, 3, 100, 3),
                                        mix(200, 2, 100, 4), mix(200, 1, 100, 5)}));  // fade out over 5
}

TEST_F(Renderer, VoicelessCStartsAndEndsWithoutFades) {
  placeConsonant();
  w.segment(180).part(5, {flatPeriod(20, 200)});  // 'C' before a pause
  w.segment(220).part(1, {flatPeriod(20, 180)});
  build();
  speak("C");
  EXPECT_EQ(levels(), (std::vector<int>{level(200), level(200), level(200), level(200), level(200), level(180)}));
}

TEST_F(Renderer, ConsonantClusterBridgesWithTwoForcedPeriods) {
  // 'S' (class 12, 1140..) then 'T' (class 12, 1200..) before 'A'.
  w.lenTable[1] = 3;
  w.segment(1140 + 52).part(1, {flatPeriod(20, 110)});  // 'S' into class 12
  w.segment(1140).part(1, {flatPeriod(20, 120)});       // 'S' itself
  w.segment(1201).part(1, {flatPeriod(20, 210)});       // 'T' before class 1
  Synthesizer& s = build();
  s.prevSymbol = 'S';
  s.prevBase = 1140;
  s.prevClass = 12;
  s.curSymbol = 'T';
  s.curBase = 1200;
  s.curClass = 12;
  s.nextSymbol = 'A';
  s.nextBase = 60;
  s.nextClass = 1;
  s.renderPhoneme();
  EXPECT_EQ(levels(), (std::vector<int>{level(110), level(110), level(110),  // transition of 'S'
                                        mix(120, 2, 210, 1), mix(120, 1, 210, 2),  // forced 2
                                        level(210), level(210), level(210)}));
}

TEST_F(Renderer, PhonemeBytesBelow64AreNeverRendered) {
  placeConsonant();
  Synthesizer& s = build();
  s.curSymbol = '#';
  s.curBase = ('#' - 64) * 60;
  s.curClass = 3;  // even when told it is a vowel
  s.renderPhoneme();
  EXPECT_TRUE(sink.periods.empty());
  speak("#M#A#");  // neighbours below 64 address nothing either
}

TEST_F(Renderer, WithoutAVoiceNothingIsRendered) {
  w.segment(0).part(1, {flatPeriod(20, 100)});
  decoded.reset();
  synth = std::make_unique<Synthesizer>(nullptr, sink, stream);
  synth->buildLengthTable(170);
  speak("MAMA");
  EXPECT_TRUE(sink.periods.empty());
}

// Damaged records after a good part end the segment: the output is that of
// the same voice without them. Segment 820 ('M' ending) is the last of the
// data, so damage can also run into the end of the data.
TEST_F(Renderer, DamagedRecordsEndTheSegment) {
  struct Case {
    const char* name;
    std::vector<uint8_t> damage;
  };
  const Case cases[] = {
      {"reference to itself", {100, 820 & 0xFF, 820 >> 8}},
      {"cycle through another segment", {100, 700 & 0xFF, 700 >> 8}},
      {"reference beyond the index", {100, 0x00, 0x0F}},
      {"reference cut off by the end", {100, 0x01}},
      {"class above 40", {45, 1, 3, 130, 130, 130}},
      {"fixed class above 40", {95, 1, 3, 130, 130, 130}},
      {"override above 40", {100 + 41, 701 & 0xFF, 701 >> 8}},
      {"part header without its count", {5}},
      {"period running past the end", {5, 2, 20, 130, 130}},
      {"more periods declared than stored", {1, 3, 20}},
  };
  auto render = [this](const std::vector<uint8_t>& damage) {
    sink.periods.clear();
    w = VoiceFileWriter();
    w.lenTable.fill(1);
    placeConsonant();
    w.segment(700).reference(820);
    w.segment(701).part(1, {flatPeriod(20, 60)});
    w.segment(820).part(1, {flatPeriod(20, 180)}).raw(damage);
    w.closingDelimiter = false;
    build();
    speak("`M`");
    return sink.periods;
  };
  const auto clean = render({});
  ASSERT_EQ(clean.size(), 12u);
  for (const Case& c : cases) EXPECT_EQ(render(c.damage), clean) << c.name;
}

TEST_F(Renderer, PartsWithoutPeriodDataPlaySilenceAndAreSteppedOver) {
  const std::vector<uint8_t> headers[] = {{0}, {50}, {1, 0}};  // class 0, fixed class 0, no periods
  for (const auto& header : headers) {
    sink.periods.clear();
    w = VoiceFileWriter();
    w.lenTable.fill(1);
    w.lenTable[0] = 2;
    w.segment(100).raw(header).part(1, {flatPeriod(20, 180)});
    Synthesizer& s = build();
    s.renderSegments(100, 100, 0, false, 0);
    const size_t silent = header.size() == 1 ? 2 : 1;  // class 0 takes table entry 0
    ASSERT_EQ(sink.periods.size(), silent + 1) << int(header[0]);
    for (size_t i = 0; i < silent; ++i) EXPECT_EQ(sink.periods[i], std::vector<int16_t>{0});
    EXPECT_EQ(sink.periods.back().front(), level(180));
  }
}

TEST_F(Renderer, FannedOutReferencesAreBounded) {
  // Three levels of 40 references each would be 64000 parts.
  for (uint16_t level = 0; level < 3; ++level) {
    for (int i = 0; i < 40; ++i) w.segment(100 + level).reference(static_cast<uint16_t>(101 + level));
  }
  w.segment(103).part(1, {flatPeriod(20, 180)});
  Synthesizer& s = build();
  s.renderSegments(100, 100, 0, false, 0);
  EXPECT_GT(sink.periods.size(), 0u);
  EXPECT_LE(sink.periods.size(), static_cast<size_t>(Synthesizer::kRowRecordBudget));
}

TEST_F(Renderer, TooManyDelimitersLeaveEverySegmentEmpty) {
  w.prefix.assign(kSegmentCount + 200, 0xFF);
  w.segment(780).part(1, {flatPeriod(20, 180)});  // beyond the index's room
  build();
  speak("MAMA");
  EXPECT_TRUE(sink.periods.empty());
}

}  // namespace
}  // namespace sonter2
