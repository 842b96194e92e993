// The pump: pauses and fades sample by sample, refused output kept and
// offered again, commands in front of phonemes, the file destination.
#include <gtest/gtest.h>

#include "tests/engine/engine_fixture.h"

namespace sonter2::test {
namespace {

using Calls = std::vector<std::string>;

std::string pause(uint32_t ms) { return element(136, ms); }

std::vector<std::string> dataSets(const Calls& calls) {
  std::vector<std::string> out;
  for (const auto& c : calls) {
    if (c.starts_with("DataSet")) out.push_back(c);
  }
  return out;
}

TEST_F(EngineTest, PauseChunksAreAtMostHalfASecond) {
  speakA(text("a", {pause(1200) + "A"}), nullptr);
  EXPECT_EQ(dataSets(audio->calls()), (Calls{"DataSet 22050", "DataSet 22050", "DataSet 8820", "DataSet 2"}));
}

TEST_F(EngineTest, AZeroPauseOffersAnEmptyChunkAndEndsAtOnce) {
  speakA(text("a", {pause(0) + pause(1) + "A"}), nullptr);
  EXPECT_EQ(dataSets(audio->calls()), (Calls{"DataSet 0", "DataSet 44", "DataSet 2"}));
}

TEST_F(EngineTest, APauseFadesOutFromTheLastSample) {
  engine->synthesizer().lastSample = 1000;
  speakA(text("a", {pause(1) + "A"}), nullptr);
  std::vector<int16_t> s = audio->samples();
  ASSERT_EQ(s.size(), 22u + 1u);
  // |1000| / 256 = 3 fade samples, then silence.
  EXPECT_EQ(std::vector<int16_t>(s.begin(), s.begin() + 5), (std::vector<int16_t>{1000, 744, 488, 0, 0}));
  EXPECT_TRUE(std::all_of(s.begin() + 3, s.end(), [](int16_t v) { return v == 0; }));
}

TEST_F(EngineTest, APauseShorterThanItsFadeRampsLinearly) {
  engine->synthesizer().lastSample = -32768;  // the fade would need 128 samples
  speakA(text("a", {pause(1) + "A"}), nullptr);
  std::vector<int16_t> s = audio->samples();
  ASSERT_EQ(s.size(), 22u + 1u);
  for (int j = 0; j < 22; ++j) EXPECT_EQ(s[j], -32768 * (21 - j) / 21) << j;
}

TEST_F(EngineTest, ClosingFadeRisesToZero) {
  struct Case {
    int16_t last;
    size_t count;
  };
  for (Case c : {Case{0, 1}, Case{-32768, 129}, Case{1000, 5}, Case{256, 2}, Case{-1, 2}}) {
    SCOPED_TRACE(c.last);
    createEngine(TestAudio::Options{});
    engine->synthesizer().lastSample = c.last;
    speakA(text("a", {"A"}), nullptr);
    std::vector<int16_t> s = audio->samples();
    ASSERT_EQ(s.size(), c.count);
    const int step = c.last > 0 ? -256 : 256;
    for (size_t j = 0; j + 1 < s.size(); ++j) EXPECT_EQ(s[j], c.last + static_cast<int>(j) * step);
    EXPECT_EQ(s.back(), 0);
    EXPECT_EQ(engine->synthesizer().lastSample, c.last);  // the fade leaves it as it was
  }
}

TEST_F(EngineTest, RefusedOutputIsKeptAndOfferedAgainInOrder) {
  engine->synthesizer().lastSample = 0;
  speakA(text("a", {}), nullptr);  // nothing to say: just the closing fade
  audio->refuseNext(3);
  speakA(text("b", {pause(10) + "A" + pause(5) + "B"}), nullptr);
  // The first chunk was refused; the step stopped there and kept it.
  EXPECT_EQ(engine->pendingBytes(), 440u);
  audio->sendFreeSpace(100);  // refused again: kept
  EXPECT_EQ(engine->pendingBytes(), 440u);
  audio->sendFreeSpace(100);  // refused a third time
  EXPECT_EQ(engine->pendingBytes(), 440u);
  audio->sendFreeSpace(100);  // 100 bytes accepted
  EXPECT_EQ(engine->pendingBytes(), 340u);
  audio->drain();
  EXPECT_EQ(engine->pendingBytes(), 0u);
  // Everything arrived, in order: fade of "a", then 220 + 110 silent samples and the fade.
  EXPECT_EQ(audio->samples().size(), 1u + 220u + 110u + 1u);
}

TEST_F(EngineTest, OutputOfARefusedStepStaysBehindTheRefusedChunk) {
  engine->synthesizer().lastSample = 0;
  audio->refuseNext(1);
  // Pause chunks are one per step: the next step runs only once the refused
  // chunk has gone. (Periods of one step queue behind a refused one; the
  // rendering tests with a written voice show that.)
  speakA(text("a", {pause(10) + pause(10) + "A"}), nullptr);
  EXPECT_EQ(engine->pendingBytes(), 440u);
  audio->drain();
  EXPECT_EQ(audio->samples().size(), 220u + 220u + 1u);
}

TEST_F(EngineTest, TheLastPhonemeIsRenderedBeforeSilence) {
  speakA(text("a", {"AB"}), nullptr);
  EXPECT_EQ(engine->synthesizer().prevSymbol, 'B');
  EXPECT_EQ(engine->synthesizer().nextSymbol, 96);
}

TEST_F(EngineTest, BytesBelowTheSoundUnitsAreSteppedOver) {
  speakA(text("a", {"A\x07" "B" + element(163, 0) + "C"}), nullptr);
  EXPECT_EQ(engine->synthesizer().prevSymbol, 'C');
  EXPECT_EQ(engine->synthesizer().nextSymbol, 96);
}

TEST_F(EngineTest, StreamCommandsChangeTheSettings) {
  TestNotifySink sink;
  DWORD key;
  centralW->Register(&sink, IID_ITTSNotifySinkW, &key);
  speakA(text("a", {element(137, 300) + "A" + element(148, 100) + "B" + element(150, 300) + "C" + element(137, 999) +
                    "D" + element(147, 0) + "E"}),
         nullptr);
  EXPECT_EQ(sink.events(), (Calls{"attrib 1", "attrib 2", "attrib 3"}));
  Calls calls = audio->calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "LevelSet 012C012C"), calls.end());
  EXPECT_NE(std::find(calls.begin(), calls.end(), "LevelSet 80008000"), calls.end());  // the reset restores it
  EXPECT_EQ(engine->pitchSetting(), 270);  // reset reloads the defaults
  EXPECT_EQ(engine->speedSetting(), 170u);
  destroyEngine();  // while the registered sinks still exist
}

TEST_F(EngineTest, AFileDestinationIsFilledUpToAMegabytePerNotification) {
  createEngine(TestAudio::Options{.offerFile = true, .capacity = 1000});
  // 40 pause chunks of 500 ms: 882,000 bytes; the first is refused.
  std::string clause;
  for (int i = 0; i < 40; ++i) clause += pause(500);
  speakA(text("a", {clause + "A"}), nullptr);
  EXPECT_EQ(engine->pendingBytes(), 22050u);
  createEngine(TestAudio::Options{.offerFile = true, .positionIsWritten = true});
  speakA(text("b", {clause + clause + "A"}), nullptr);
  audio->clearCalls();
  audio->sendFreeSpace(0x10000);  // one notification: steps until 1 MiB is produced
  size_t produced = 0;
  for (const auto& c : dataSets(audio->calls())) produced += std::stoul(c.substr(8));
  EXPECT_GE(produced, 0x100000u);
  EXPECT_LT(produced, 0x100000u + 22050u);
}

TEST_F(EngineTest, UtterancesDoNotCarryStateOverExceptTheLastSample) {
  speakA(text("a", {pause(1) + "AB"}), nullptr);
  engine->synthesizer().lastSample = 512;
  speakA(text("b", {pause(1) + "C"}), nullptr);
  std::vector<int16_t> s = audio->samples();
  // a: 22 zeros + fade 0; b: the pause fades from 512.
  ASSERT_EQ(s.size(), 23u + 22u + 1u);
  EXPECT_EQ(s[23], 512);
  EXPECT_EQ(s[24], 256);
  EXPECT_EQ(s[25], 0);
}

}  // namespace
}  // namespace sonter2::test
