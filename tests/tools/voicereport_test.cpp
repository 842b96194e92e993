// The voice report's measurements: the click rule, speech extent, overload
// detection, WAV files and the Festival text encoding.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "tools/voicereport/analysis.h"
#include "tools/voicereport/festival.h"

namespace voicereport {
namespace {

// 100-sample periods of a 2000-amplitude sine; joins at every period start.
struct Periodic {
  std::vector<int16_t> samples;
  std::vector<size_t> joins;
};

Periodic sinePeriods(int periods) {
  Periodic p;
  for (int j = 0; j < periods; ++j) {
    if (j > 0) p.joins.push_back(p.samples.size());
    for (int i = 0; i < 100; ++i) p.samples.push_back(static_cast<int16_t>(2000 * std::sin(2 * M_PI * i / 100)));
  }
  return p;
}

TEST(Clicks, AJumpAtAJoinAfterSmoothSamplesCounts) {
  Periodic p = sinePeriods(10);
  EXPECT_TRUE(findClicks(p.samples, p.joins, {}).empty());
  // Period 5 starts 9000 higher than period 4 ended.
  for (int i = 0; i < 100; ++i) p.samples[500 + i] = static_cast<int16_t>(p.samples[500 + i] + 9000);
  const auto clicks = findClicks(p.samples, p.joins, {});
  ASSERT_EQ(clicks.size(), 2u);  // up at 500, down again at 600
  EXPECT_EQ(clicks[0].at, 500u);
  EXPECT_EQ(clicks[0].jump, 9000 - p.samples[499]);  // the sine ends just below 0
  EXPECT_EQ(clicks[1].at, 600u);
}

TEST(Clicks, NoiseAsRoughAsTheJumpDoesNotCount) {
  Periodic p = sinePeriods(10);
  // Steps of 8000 throughout period 4 (frication): the jump into period 5
  // is no larger than three times them.
  for (int i = 0; i < 100; ++i) p.samples[400 + i] = static_cast<int16_t>(i % 2 ? 4000 : -4000);
  for (int i = 0; i < 100; ++i) p.samples[500 + i] = static_cast<int16_t>(p.samples[500 + i] + 9000);
  const auto clicks = findClicks(p.samples, p.joins, {});
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].at, 600u);  // only the way back down, after the smooth period 5
}

TEST(Measures, SpeechExtentAndOverload) {
  Audio a;
  a.samples.assign(22050, 0);                      // 1 s of silence
  for (size_t i = 5512; i < 5512 + 11025; ++i)     // 0.5 s of tone from 0.25 s
    a.samples[i] = static_cast<int16_t>(10000 * std::sin(i * 0.1));
  a.samples[100] = 5;                              // far below the 35-dB range
  EXPECT_NEAR(speechExtent(a), 0.5, 0.021);

  const std::vector<int16_t> wrapped = {30000, 32767, -32000, -31000, -32768};
  const Overload o = findOverload(wrapped);
  EXPECT_EQ(o.wraps, 1u);
  EXPECT_EQ(o.fullScale, 2u);
}

TEST(Measures, WavFilesRoundTrip) {
  Audio a;
  a.rate = 32000;
  a.samples = {0, 1, -1, 32767, -32768, 1234};
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("voicereport_test_" + std::to_string(::getpid()) + ".wav"))
                               .string();
  ASSERT_TRUE(writeWav(path, a));
  Audio b;
  ASSERT_TRUE(readWav(path, b));
  EXPECT_EQ(b.rate, 32000);
  EXPECT_EQ(b.samples, a.samples);
  std::filesystem::remove(path);
  EXPECT_FALSE(readWav(path, b));
}

TEST(Festival, CzechLettersOfCodePage1250BecomeIso88592) {
  // š ť ž Š Ť Ž differ between the two; á č ř do not.
  EXPECT_EQ(cp1250ToIso88592("\x9a\x9d\x9e\x8a\x8d\x8e\xe1\xe8\xf8"), "\xb9\xbb\xbe\xa9\xab\xae\xe1\xe8\xf8");
  EXPECT_EQ(cp1250ToIso88592("abc"), "abc");
}

}  // namespace
}  // namespace voicereport
