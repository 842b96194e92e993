// Marks played back to the sink of the text being heard, flushed marks,
// word offsets, and the registered notify sinks.
#include <gtest/gtest.h>

#include "engine/audio_sink.h"
#include "tests/engine/engine_fixture.h"

namespace sonter2::test {
namespace {

using Calls = std::vector<std::string>;

std::string bookmark(uint32_t n) { return element(135, n); }
std::string word(uint32_t offset) { return element(176, offset); }
std::string pause(uint32_t ms) { return element(136, ms); }

TEST_F(EngineTest, BookmarksReachTheSinkOfTheTextBeingHeard) {
  TestBufSink first, second;
  speakA(text("a", {bookmark(1) + "A" + pause(10) + bookmark(2) + "B"}), &first);
  speakA(text("b", {bookmark(3) + "C"}), &second);
  // Both texts are generated before anything is played.
  EXPECT_EQ(second.events(), (Calls{"started", "done 0"}));
  EXPECT_EQ(first.events(), (Calls{"started", "done 0"}));
  audio->drain();
  EXPECT_EQ(first.events(), (Calls{"started", "done 0", "bookmark 1", "bookmark 2"}));
  EXPECT_EQ(second.events(), (Calls{"started", "done 0", "bookmark 3"}));
  // Bookmark 2 is heard after the 10 ms pause: its position says so.
  EXPECT_EQ(first.positions()[3], 440u);
  EXPECT_EQ(first.refCount(), 0u);
  EXPECT_EQ(second.refCount(), 0u);
}

TEST_F(EngineTest, WordOffsetsCountBytesOfTheCallersText) {
  TestBufSink ansi, wide;
  speakA(text("a", {word(7) + "A"}), &ansi);
  scripts["www"] = {word(7) + "A"};
  speakW(u"www", &wide);
  audio->drain();
  EXPECT_EQ(ansi.events(), (Calls{"started", "done 0", "word 7"}));
  EXPECT_EQ(wide.events(), (Calls{"started", "done 0", "word 14"}));
}

TEST_F(EngineTest, ATextWithoutSinkReportsNothingAndQueuesNoMarks) {
  TestBufSink later;
  speakA(text("a", {bookmark(1) + word(0) + "A"}), nullptr);
  Calls calls = audio->calls();
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const std::string& c) { return c.starts_with("BookMark"); }),
            2);  // text started and text finished only
  speakA(text("b", {bookmark(2) + "A"}), &later);
  audio->drain();
  EXPECT_EQ(later.events(), (Calls{"started", "done 0", "bookmark 2"}));
}

TEST_F(EngineTest, AFlushedMarkSaysNothingButGivesItsReferenceBack) {
  TestBufSink sink;
  speakA(text("a", {bookmark(1) + "A" + bookmark(2)}), &sink);
  centralA->AudioReset();  // nothing has been played: every mark is flushed
  audio->drain();
  EXPECT_EQ(sink.events(), (Calls{"started", "done 0"}));
  EXPECT_EQ(sink.refCount(), 0u);
}

TEST_F(EngineTest, AFlushedEndOfTextReleasesTheSinkBeingHeard) {
  TestBufSink sink;
  speakA(text("a", {bookmark(1) + "A" + pause(100) + bookmark(2) + "B"}), &sink);
  audio->play(2);  // the start of the text and bookmark 1 are heard
  EXPECT_EQ(sink.events(), (Calls{"started", "done 0", "bookmark 1"}));
  EXPECT_EQ(sink.refCount(), 1u);
  centralA->AudioReset();  // bookmark 2 and the end of the text are flushed
  audio->drain();
  EXPECT_EQ(sink.events(), (Calls{"started", "done 0", "bookmark 1"}));
  EXPECT_EQ(sink.refCount(), 0u);
}

TEST_F(EngineTest, MarksHeardBeforeAResetButReportedAfterItSayNothing) {
  TestBufSink first, second;
  speakA(text("a", {bookmark(1) + "A" + pause(10) + bookmark(2) + "B"}), &first);
  audio->deferNotifications(true);
  audio->play();  // all of it heard, but the notifications lag behind
  centralA->AudioReset();
  audio->deferNotifications(false);
  audio->deliverDeferred();
  EXPECT_EQ(first.events(), (Calls{"started", "done 0"}));
  EXPECT_EQ(first.refCount(), 0u);
  // A text spoken after the reset is reported as usual.
  speakA(text("b", {bookmark(3) + "C"}), &second);
  audio->drain();
  EXPECT_EQ(second.events(), (Calls{"started", "done 0", "bookmark 3"}));
  EXPECT_EQ(second.refCount(), 0u);
}

TEST_F(EngineTest, MarksAfterTheLastPhonemeComeBeforeTheEndOfText) {
  TestBufSink sink;
  speakA(text("a", {"A" + bookmark(9)}), &sink);
  Calls calls = audio->calls();
  auto mark = std::find(calls.begin(), calls.end(), "BookMark 1");
  auto end = std::find(calls.begin(), calls.end(), "BookMark 2");
  ASSERT_NE(mark, calls.end());
  ASSERT_NE(end, calls.end());
  EXPECT_LT(mark, end);
  audio->drain();
  EXPECT_EQ(sink.events(), (Calls{"started", "done 0", "bookmark 9"}));
}

TEST_F(EngineTest, RegisterHandsOutKeysInOrderAndUnregisterTakesEachOnce) {
  TestNotifySink one, two;
  DWORD key = 99;
  EXPECT_EQ(centralW->Register(&one, IID_ITTSNotifySinkW, &key), S_OK);
  EXPECT_EQ(key, 0u);
  EXPECT_EQ(centralA->Register(&two, IID_ITTSNotifySinkA, &key), S_OK);
  EXPECT_EQ(key, 1u);
  EXPECT_EQ(centralW->Register(&one, IID_ITTSBufNotifySink, &key), E_INVALIDARG);
  EXPECT_EQ(centralW->Register(nullptr, IID_ITTSNotifySinkW, &key), E_INVALIDARG);
  EXPECT_EQ(centralW->Register(&one, IID_ITTSNotifySinkW, nullptr), E_INVALIDARG);
  EXPECT_EQ(one.refCount(), 1u);
  EXPECT_EQ(centralA->UnRegister(0), S_OK);
  EXPECT_EQ(centralA->UnRegister(0), TTSERR_NOSUCHKEY);
  EXPECT_EQ(one.refCount(), 0u);
  EXPECT_EQ(two.refCount(), 1u);
  destroyEngine();
  EXPECT_EQ(two.refCount(), 0u);
}

TEST_F(EngineTest, AttributeChangesReachEverySinkInRegistrationOrder) {
  TestNotifySink one, two;
  std::vector<std::string> order;
  one.onEvent = [&](const std::string& e) { order.push_back("one " + e); };
  two.onEvent = [&](const std::string& e) { order.push_back("two " + e); };
  DWORD k1, k2;
  centralW->Register(&one, IID_ITTSNotifySinkW, &k1);
  centralW->Register(&two, IID_ITTSNotifySinkW, &k2);
  ITTSAttributesW* attributes = nullptr;
  engine->QueryInterface(IID_ITTSAttributesW, reinterpret_cast<void**>(&attributes));
  attributes->PitchSet(300);
  attributes->SpeedSet(200);
  attributes->VolumeSet(5);
  attributes->PitchSet(999);  // refused: no notification
  attributes->Release();
  EXPECT_EQ(order, (Calls{"one attrib 1", "two attrib 1", "one attrib 2", "two attrib 2", "one attrib 3",
                          "two attrib 3"}));
  destroyEngine();  // while the registered sinks still exist
}

TEST_F(EngineTest, ASinkMayUnregisterFromInsideItsNotification) {
  TestNotifySink one, two;
  DWORD k1, k2;
  centralW->Register(&one, IID_ITTSNotifySinkW, &k1);
  centralW->Register(&two, IID_ITTSNotifySinkW, &k2);
  one.onEvent = [&](const std::string&) { centralW->UnRegister(k1); };
  ITTSAttributesA* attributes = nullptr;
  engine->QueryInterface(IID_ITTSAttributesA, reinterpret_cast<void**>(&attributes));
  attributes->SpeedSet(100);
  attributes->SpeedSet(101);
  attributes->Release();
  EXPECT_EQ(one.events(), Calls{"attrib 2"});
  EXPECT_EQ(two.events(), (Calls{"attrib 2", "attrib 2"}));
  EXPECT_EQ(one.refCount(), 0u);
  destroyEngine();  // while the registered sinks still exist
}

TEST_F(EngineTest, AudioStartAndStopReachRegisteredSinks) {
  TestNotifySink sink;
  DWORD key;
  centralA->Register(&sink, IID_ITTSNotifySinkW, &key);
  audio->sendAudioStart();
  audio->sendAudioStop();
  EXPECT_EQ(sink.events(), (Calls{"audio start", "audio stop"}));
  destroyEngine();  // while the registered sinks still exist
}

TEST_F(EngineTest, NotificationsAfterTheEngineIsGoneDoNothing) {
  IAudioDestNotifySink* sink = nullptr;
  ASSERT_EQ(engine->QueryInterface(IID_IAudioDestNotifySink, reinterpret_cast<void**>(&sink)), S_OK);
  destroyEngine();
  EXPECT_EQ(sink->FreeSpace(1000, 0), S_OK);
  EXPECT_EQ(sink->BookMark(0, 0), S_OK);
  EXPECT_EQ(sink->AudioStart(), S_OK);
  void* other = nullptr;
  EXPECT_EQ(sink->QueryInterface(IID_ITTSCentralW, &other), E_NOINTERFACE);
  sink->Release();
}

TEST_F(EngineTest, DestructionEndsTheTextsAndLetsGoOfTheAudioObject) {
  createEngine(TestAudio::Options{.capacity = 100});
  TestBufSink current, queued;
  speakA(text("a", {pause(100) + "A"}), &current);
  speakA(text("b", {"B"}), &queued);
  audio->clearCalls();
  destroyEngine();
  EXPECT_EQ(current.events(), (Calls{"started", "done 1"}));
  EXPECT_EQ(queued.events(), Calls{"done 1"});
  EXPECT_EQ(current.refCount(), 0u);
  EXPECT_EQ(queued.refCount(), 0u);
  EXPECT_FALSE(audio->hasSink());
  EXPECT_EQ(audio->refCount(), 0u);
  Calls calls = audio->calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "Stop"), 0);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "UnClaim"), 0);
}

TEST_F(EngineTest, PositionAndFileTimeComeFromTheAudioObject) {
  QWORD pos = 1;
  EXPECT_EQ(centralA->PosnGet(nullptr), E_INVALIDARG);
  EXPECT_EQ(centralA->PosnGet(&pos), S_OK);
  EXPECT_EQ(pos, 0u);
  FILETIME ft{};
  QWORD stamp = 0x0000000500000007ull;
  EXPECT_EQ(centralW->ToFileTime(&stamp, &ft), S_OK);
  EXPECT_EQ(ft.dwLowDateTime, 7u);
  EXPECT_EQ(ft.dwHighDateTime, 5u);
}

}  // namespace
}  // namespace sonter2::test
