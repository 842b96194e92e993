// Two threads at once: the application drives the engine (texts, inject,
// pause, resume, reset, setters) while the audio object plays and notifies
// from a thread of its own. Every accepted text must end with exactly one
// TextDataDone, and every sink must be given back.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "tests/engine/engine_fixture.h"

namespace sonter2::test {
namespace {

TEST_F(EngineTest, ApplicationAndAudioThreadsTogetherLoseNoTextDataDone) {
  createEngine(TestAudio::Options{.capacity = 4000, .ownThread = true, .logPosnGet = false, .autoPlayBytes = 2000});
  ITTSAttributesW* attributes = nullptr;
  engine->QueryInterface(IID_ITTSAttributesW, reinterpret_cast<void**>(&attributes));
  TestNotifySink notify;
  DWORD key;
  centralW->Register(&notify, IID_ITTSNotifySinkW, &key);

  const std::string t1 = text("one", {element(176, 0) + "AB" + element(136, 30) + element(135, 1) + "C",
                                      element(176, 4) + "D" + element(137, 300) + "E"});
  const std::string t2 = text("two", {element(135, 2) + element(136, 5) + "F" + element(148, 200)});
  std::vector<std::unique_ptr<TestBufSink>> sinks;
  std::mt19937 random(12345);
  bool paused = false;
  for (int i = 0; i < 400; ++i) {
    switch (random() % 10) {
      case 0: case 1: case 2: case 3:
        sinks.push_back(std::make_unique<TestBufSink>());
        ASSERT_EQ(speakA(i % 2 ? t1 : t2, sinks.back().get(), 1), S_OK);
        break;
      case 4:
        centralA->Inject("\\spd=180\\\\pit=250\\");
        break;
      case 5:
        if (centralA->AudioPause() == S_OK) paused = true;
        break;
      case 6:
        if (centralA->AudioResume() == S_OK) paused = false;
        break;
      case 7:
        centralA->AudioReset();
        paused = false;
        break;
      case 8:
        attributes->SpeedSet(100 + random() % 100);
        break;
      case 9:
        attributes->VolumeSet(random());
        break;
    }
    if (i % 16 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (paused) centralA->AudioResume();

  auto allDone = [&] {
    for (const auto& s : sinks) {
      auto e = s->events();
      if (std::count(e.begin(), e.end(), "done 0") + std::count(e.begin(), e.end(), "done 1") != 1) return false;
    }
    return true;
  };
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!allDone() && std::chrono::steady_clock::now() < deadline) {
    audio->sendFreeSpace(2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(allDone());
  for (const auto& s : sinks) {
    auto e = s->events();
    ASSERT_FALSE(e.empty());
    // Started (unless reset while queued), then done; nothing after done but
    // the playback of the text's own marks.
    auto done = std::find_if(e.begin(), e.end(), [](const std::string& x) { return x.starts_with("done"); });
    ASSERT_NE(done, e.end());
    if (*done == "done 1") {
      for (auto it = done + 1; it != e.end(); ++it) ADD_FAILURE() << "after a reset's done: " << *it;
    }
  }
  attributes->Release();
  centralW->UnRegister(key);
  audio->waitIdle();
  destroyEngine();
  for (const auto& s : sinks) EXPECT_EQ(s->refCount(), 0u);
}

}  // namespace
}  // namespace sonter2::test
