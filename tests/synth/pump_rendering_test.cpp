// A voice written by the test renders through the engine's pump into the
// audio destination sample for sample: the same consonant as in the renderer
// tests, now at the default pitch, so every period is cut short and its tail
// overlaps the next one.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/speech.h"
#include "synth/voice_database.h"
#include "tests/support/test_audio.h"
#include "tests/support/voice_file_writer.h"

namespace sonter2 {
namespace {

using test::flatPeriod;

int level(int v) { return v * 256 - 32768; }
int mix(int a, int wa, int b, int wb) { return ((a * wa + b * wb) * 256) / (wa + wb) - 32768; }

// Renders "`M`" through an engine; the destination refuses its first
// `refusals` chunks.
std::vector<int16_t> renderConsonant(int refusals) {
  // Defaults only: speed 170, pitch 270 (base period 114).
  const std::string registry = test::temporaryPath("sonter2-no-registry");
  setenv("SONTER2_REGISTRY", registry.c_str(), 1);
  test::VoiceFileWriter w;
  w.lenTable.fill(1);
  w.lenTable[5] = 5;
  w.lenTable[21] = 2;
  w.segment(0).part(1, {flatPeriod(20, 100)});
  w.segment(780).part(5, {flatPeriod(20, 200)});
  w.segment(781).part(5, {flatPeriod(20, 200)});
  w.segment(820).part(1, {flatPeriod(20, 180)});
  auto voice = DecodedVoice::fromFileBytes(w.fileBytes());
  EXPECT_NE(voice, nullptr);
  if (voice == nullptr) return {};

  test::TestAudio audio(test::TestAudio::Options{});
  audio.refuseNext(refusals);
  auto* engine = new CSpeech(&voice->voice());
  engine->AddRef();
  EXPECT_EQ(engine->bindAudio(static_cast<IAudio*>(&audio)), S_OK);
  engine->stream().setClauseSource([](PhoneticStream& s) {
    if (s.sourceCursor < s.sourceText.size()) s.appendSymbols("`M`");
    s.sourceCursor = s.sourceText.size();
  });
  ITTSCentralA_fix* central = nullptr;
  engine->QueryInterface(IID_ITTSCentralA, reinterpret_cast<void**>(&central));
  std::string text = "m";
  EXPECT_EQ(central->TextData(CHARSET_TEXT, 0, SDATA{text.data(), static_cast<DWORD>(text.size() + 1)}, nullptr,
                              IID_ITTSBufNotifySink),
            S_OK);
  audio.drain();
  std::vector<int16_t> samples = audio.samples();
  central->Release();
  engine->Release();
  unsetenv("SONTER2_REGISTRY");
  return samples;
}

TEST(PumpRendering, ConsonantBetweenPausesReachesTheAudioDestination) {

  // Fade in from segment 0, the body, the ending, the fade out to segment 0
  // (lengths as in the renderer tests; the first consonant's 0.95 shortening
  // leaves them as they are).
  const int periods[] = {mix(100, 4, 200, 1), mix(100, 3, 200, 2), mix(100, 2, 200, 3), mix(100, 1, 200, 4),
                         level(200),          level(200),          level(180),          mix(200, 5, 100, 1),
                         mix(200, 4, 100, 2), mix(200, 3, 100, 3), mix(200, 2, 100, 4), mix(200, 1, 100, 5)};
  // Each 20-sample period goes out with 20 - 6 - 1 samples; its samples 14
  // to 19 are added into the first 6 of the next one, clipped to 16 bits.
  std::vector<int16_t> expected;
  for (size_t p = 0; p < std::size(periods); ++p) {
    for (int i = 0; i < 13; ++i) {
      const int overlap = p > 0 && i < 6 ? periods[p - 1] : 0;
      expected.push_back(static_cast<int16_t>(std::clamp(periods[p] + overlap, -32768, 32767)));
    }
  }
  const std::vector<int16_t> got = renderConsonant(0);
  ASSERT_GT(got.size(), expected.size());
  EXPECT_EQ(std::vector<int16_t>(got.begin(), got.begin() + static_cast<ptrdiff_t>(expected.size())), expected);
  EXPECT_EQ(got.back(), 0);  // the closing fade ends at silence
}

// A period the destination refuses waits, and the periods rendered after it
// in the same step queue behind it: the sound arrives whole and in order.
TEST(PumpRendering, RefusedPeriodsKeepTheirPlace) {
  const std::vector<int16_t> whole = renderConsonant(0);
  ASSERT_FALSE(whole.empty());
  for (int refusals : {1, 2, 5}) EXPECT_EQ(renderConsonant(refusals), whole) << refusals;
}

}  // namespace
}  // namespace sonter2
