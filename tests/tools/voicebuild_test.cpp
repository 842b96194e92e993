// The voice builder: its file format pieces on small hand-made voices, and
// the whole build on the installed source voice (deterministic, and passing
// its own check).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tools/voicebuild/build.h"
#include "tools/voicebuild/check.h"
#include "tools/voicebuild/group_file.h"
#include "tools/voicebuild/signal.h"
#include "tools/voicebuild/voice_file.h"

namespace voicebuild {
namespace {

constexpr const char* kDita = kDitaGroupFile;

std::string tempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("voicebuild_test_" + std::to_string(::getpid()) + "_" + name))
      .string();
}

// A voice with sound in every slot the check requires: one short period in
// each, cut from a sine so that nothing is silent.
Voice minimalVoice() {
  Voice v;
  v.lengthTable = defaultLengthTable();
  std::vector<double> period(40);
  for (size_t i = 0; i < period.size(); ++i) period[i] = 8000 * std::sin(2 * M_PI * i / 40.0);
  for (const Addressable& a : addressableSegments())
    if (a.required) v.segments[a.segment].parts = {Part{22, false, {period, period}}};
  return v;
}

LoadedVoice loadBytes(const std::vector<uint8_t>& bytes, const std::string& name) {
  const std::string path = tempPath(name);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  LoadedVoice loaded;
  EXPECT_TRUE(loadWithEngine(path, loaded));
  std::filesystem::remove(path);
  return loaded;
}

TEST(VoiceFile, QuantisingKeeps128AsZeroAndNeverWrites255) {
  EXPECT_EQ(quantise(0, 0.01), 128);
  EXPECT_EQ(quantise(100, 0.01), 129);      // 1.0 step
  EXPECT_EQ(quantise(50, 0.01), 129);       // half a step rounds up
  EXPECT_EQ(quantise(-50, 0.01), 128);
  EXPECT_EQ(quantise(1e9, 0.01), 254);
  EXPECT_EQ(quantise(-1e9, 0.01), 1);
}

TEST(VoiceFile, ScrambledDataLoadsBackWithTheKeyStream) {
  // Odd length: the last byte is stored as it is.
  const std::vector<uint8_t> data = {0xFF, 1, 2, 254, 0xFF, 0, 128, 0xFF, 7};
  const GeneratorState state = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  const auto file = assembleFile(defaultLengthTable(), state, data);
  ASSERT_EQ(file.size(), 68 + data.size());
  EXPECT_EQ(file.back(), 7);
  EXPECT_NE(std::vector<uint8_t>(file.begin() + 68, file.end()), data);
  const LoadedVoice loaded = loadBytes(file, "scramble");
  EXPECT_EQ(loaded.data, data);
  EXPECT_EQ(loaded.lengthTable, defaultLengthTable());
  EXPECT_EQ(loaded.index[0], 1u);
  EXPECT_EQ(loaded.index[1], 5u);
  EXPECT_EQ(loaded.index[2], 8u);
  EXPECT_EQ(loaded.index[3], 0u);
  // The loader leaves the state advanced by four key steps.
  GeneratorState advanced = state;
  int index = 0;
  for (int i = 0; i < 4; ++i) nextKeyByte(advanced, index);
  EXPECT_EQ(loaded.generatorState, advanced);
}

TEST(VoiceFile, ReferencesAreThreeBytesUnlessTheTargetNumberHoldsA255) {
  Voice v;
  v.segments[60].parts = {Part{20, true, {{0.0, 100.0}}}};
  v.segments[255].parts = {Part{22, false, {{0.0}}}};
  v.segments[61].reference = 60;   // 60 = 3C 00
  v.segments[62].reference = 255;  // FF 00: copied
  const auto data = encodeSegments(v, 0.01);
  ASSERT_EQ(std::count(data.begin(), data.end(), kDelimiter), kSegmentsWritten + 1);
  std::vector<std::vector<uint8_t>> segments;
  std::vector<uint8_t> current;
  for (size_t i = 1; i < data.size(); ++i) {
    if (data[i] == kDelimiter) {
      segments.push_back(current);
      current.clear();
    } else {
      current.push_back(data[i]);
    }
  }
  EXPECT_EQ(segments[60], (std::vector<uint8_t>{70, 1, 2, 128, 129}));
  EXPECT_EQ(segments[61], (std::vector<uint8_t>{100, 60, 0}));
  EXPECT_EQ(segments[62], (std::vector<uint8_t>{22, 1, 1, 128}));
  EXPECT_TRUE(segments[0].empty());
}

TEST(VoiceFile, EncodingRefusesWhatTheFormatCannotHold) {
  Voice tooLong;
  tooLong.segments[60].parts = {Part{20, false, {std::vector<double>(255, 0.0)}}};
  EXPECT_THROW(encodeSegments(tooLong, 0.01), std::runtime_error);
  Voice classZero;
  classZero.segments[60].parts = {Part{0, false, {{0.0}}}};
  EXPECT_THROW(encodeSegments(classZero, 0.01), std::runtime_error);
  Voice tooMany;
  tooMany.segments[60].parts = {Part{20, false, std::vector<std::vector<double>>(255, {0.0})}};
  EXPECT_THROW(encodeSegments(tooMany, 0.01), std::runtime_error);
}

TEST(VoiceCheck, PassesAMinimalCompleteVoiceAndNamesWhatIsMissing) {
  Voice v = minimalVoice();
  const GeneratorState state = {0x3b, 0x91, 0x27, 0xc5, 0x6d, 0x13, 0xa9, 0x57, 0xe1,
                                0x0f, 0x83, 0x4d, 0xb7, 0x29, 0x75, 0xd3, 0x61};
  auto problems = checkVoice(loadBytes(assembleFile(v.lengthTable, state, encodeSegments(v, 0.01)), "ok"));
  EXPECT_TRUE(problems.empty()) << problems.front();

  v.segments[segmentNumber('K', 24)].parts.clear();       // onset of k after o
  v.segments[segmentNumber('A', 0)].parts[0].periods = {std::vector<double>(40, 0.0)};  // silent body
  problems = checkVoice(loadBytes(assembleFile(v.lengthTable, state, encodeSegments(v, 0.01)), "missing"));
  ASSERT_EQ(problems.size(), 2u) << problems.back();
  EXPECT_NE(problems[0].find("'A' slot 0): silent"), std::string::npos) << problems[0];
  EXPECT_NE(problems[1].find("'K' slot 24): empty"), std::string::npos) << problems[1];
}

TEST(VoiceCheck, FindsAStray255AndABadGeneratorState) {
  Voice v = minimalVoice();
  auto data = encodeSegments(v, 0.01);
  // Turn the first sample of the '@' vowel-end slot for 'a' into a
  // delimiter: segment n starts behind the (n+1)-th delimiter.
  const int target = segmentNumber('@', 21);
  size_t at = 0;
  for (int seen = 0; seen <= target; ++at) seen += data[at] == kDelimiter;
  ASSERT_EQ(data[at], 22);  // part header, period count, length, first sample
  data[at + 3] = kDelimiter;
  const GeneratorState zero{};
  const auto problems = checkVoice(loadBytes(assembleFile(v.lengthTable, zero, data), "stray"));
  bool stray = false, generator = false;
  for (const auto& p : problems) {
    stray |= p.find("missing (stray delimiter?)") != std::string::npos || p.find("class") != std::string::npos;
    generator |= p.find("distinct draws") != std::string::npos;
  }
  EXPECT_TRUE(stray);
  EXPECT_TRUE(generator);
}

TEST(Signal, MuLawDecodesTheG711Table) {
  EXPECT_EQ(muLawToLinear(0xFF), 0);
  EXPECT_EQ(muLawToLinear(0x7F), 0);
  EXPECT_EQ(muLawToLinear(0x80), 32124);
  EXPECT_EQ(muLawToLinear(0x00), -32124);
  EXPECT_EQ(muLawToLinear(0xF0), 120);
}

TEST(Signal, ResamplerKeepsLevelAndFrequency) {
  for (int from : {32000, 44100}) {
    Resampler r(from);
    std::vector<double> sine(from / 10);
    for (size_t i = 0; i < sine.size(); ++i) sine[i] = 1000 * std::sin(2 * M_PI * 1000.0 * i / from);
    const auto out = r.run(sine);
    EXPECT_NEAR(static_cast<double>(out.size()), kOutputRate / 10.0, 1.0);
    // Away from the edges the output is the same sine at 22050 Hz.
    double worst = 0;
    for (size_t n = 100; n + 100 < out.size(); ++n)
      worst = std::max(worst, std::fabs(out[n] - 1000 * std::sin(2 * M_PI * 1000.0 * n / kOutputRate)));
    EXPECT_LT(worst, 5.0) << from;
    EXPECT_EQ(r.mapPosition(from), kOutputRate);
  }
}

TEST(Signal, CappingShortensOnlyLongPeriodsAndMovesThePitchmarks) {
  Diphone d;
  d.rate = 44100;
  // Pitchmarks 100, 400 (a 300-sample period), 500.
  d.times = {100.0 / 44100, 400.0 / 44100, 500.0 / 44100};
  d.coefs.assign(3, {0.0});
  d.residual.assign(700, 0.0);
  for (long pm : {100, 400, 500}) d.residual[pm] = 1000;
  const Diphone c = capPeriods(d, 200);
  EXPECT_EQ(c.residual.size(), 600u);
  ASSERT_EQ(c.times.size(), 3u);
  EXPECT_EQ(std::lround(c.times[0] * 44100), 100);
  EXPECT_EQ(std::lround(c.times[1] * 44100), 300);
  EXPECT_EQ(std::lround(c.times[2] * 44100), 400);
  for (double t : c.times) EXPECT_EQ(c.residual[std::lround(t * 44100)], 1000);
}

// A 22050 Hz "diphone" whose waveform is its residual (no predictor): a
// raised pulse every 100 samples, with the pitchmark at pulse 3 missing.
Diphone pulseTrain() {
  Diphone d;
  d.rate = kOutputRate;
  d.middleFrame = 2;
  d.residual.assign(1000, 500.0);  // an offset, so period ends are not 0 by themselves
  for (int k = 1; k <= 8; ++k) {
    for (int i = -3; i <= 3; ++i) d.residual[k * 100 + i] += 8000 - 2000 * std::abs(i);
    if (k != 3) d.times.push_back(k * 100.0 / kOutputRate);
  }
  d.coefs.assign(d.times.size(), std::vector<double>{});
  return d;
}

TEST(Signal, PeriodsAreCutBeforeEachPeakAndAMissedPitchmarkIsRestored) {
  const Resampler same(kOutputRate);
  const Periods p = cutPeriods(pulseTrain(), same, CutRule::kFixed, PeriodEnds::kAsCut);
  // Pitchmarks 100, 200, [300 missed], 400 ... 800, and one period behind
  // the last: the period 200..400 is cut again before the pulse at 300.
  ASSERT_EQ(p.periods.size(), 8u);
  for (const auto& period : p.periods) {
    EXPECT_EQ(period.size(), 100u);
    // The peak (smoothed a little by the rate converter's low-pass) lies
    // 20 samples in.
    EXPECT_EQ(std::max_element(period.begin(), period.end()) - period.begin(), 20);
    EXPECT_NEAR(period[20], 8500.0, 100.0);
  }
  EXPECT_EQ(p.middle, 2);
}

TEST(Signal, ZeroEndedPeriodsStartAtZeroAndRampToTheNextStart) {
  const Resampler same(kOutputRate);
  const Periods p = cutPeriods(pulseTrain(), same, CutRule::kFixed, PeriodEnds::kZero);
  ASSERT_FALSE(p.periods.empty());
  for (const auto& period : p.periods) {
    EXPECT_DOUBLE_EQ(period.front(), 0.0);
    EXPECT_NEAR(period.back(), 0.0, 20.0);  // the offset of 500 is gone
    EXPECT_NEAR(period[20], 8000.0, 100.0);
  }
}

TEST(Signal, StretchingLengthensVoicedPeriodsOnly) {
  Diphone d = pulseTrain();
  // Noise after the last pulse, with pitchmarks in it: not periodic.
  for (int i = 820; i < 1000; ++i) d.residual[i] = ((i * 7919) % 2000) - 1000.0;
  d.times.push_back(870.0 / kOutputRate);
  d.times.push_back(940.0 / kOutputRate);
  d.coefs.assign(d.times.size(), std::vector<double>{});
  const Diphone s = stretchVoicedPeriods(d, 10);
  ASSERT_EQ(s.times.size(), d.times.size());
  std::vector<long> gaps;
  for (size_t j = 1; j < s.times.size(); ++j)
    gaps.push_back(std::lround((s.times[j] - s.times[j - 1]) * kOutputRate) -
                   std::lround((d.times[j] - d.times[j - 1]) * kOutputRate));
  // The periods from the pulses at 100, 200, 400 ... 800 (one pitchmark
  // missed) grow by 10 samples; the one between pitchmarks in the noise
  // keeps its length.
  EXPECT_EQ(gaps, (std::vector<long>{10, 10, 10, 10, 10, 10, 10, 0}));
  for (size_t j = 0; j < 6; ++j) EXPECT_EQ(s.residual[std::lround(s.times[j] * kOutputRate)], 8500.0);
}

// The whole build on the installed voice. CI installs it; elsewhere the
// test is skipped when it is absent.
class InstalledVoice : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kDita)) {
      if (std::getenv("CI")) FAIL() << kDita << " missing: apt-get install festvox-czech-dita";
      GTEST_SKIP() << kDita << " not installed";
    }
  }
};

TEST_F(InstalledVoice, BuildsTheSameBytesTwiceAndPassesItsOwnCheck) {
  const BuildOptions options = recommendedOptions();
  const BuildResult first = buildVoice(options);
  const BuildResult second = buildVoice(options);
  EXPECT_EQ(first.file, second.file);
  EXPECT_EQ(first.sha256, second.sha256);
  EXPECT_EQ(first.sha256, sha256Hex(first.file));
  EXPECT_LE(first.longestPeriod, 254u);

  const std::string path = tempPath("dita.rec");
  const auto problems = writeChecked(first.file, path);
  EXPECT_TRUE(problems.empty()) << problems.front();
  std::filesystem::remove(path);
}

TEST(Sha256, MatchesKnownDigests) {
  EXPECT_EQ(sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256Hex({'a', 'b', 'c'}), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // Two blocks of padding.
  std::vector<uint8_t> fiftySix(56, 'a');
  EXPECT_EQ(sha256Hex(fiftySix), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
}

}  // namespace
}  // namespace voicebuild
