// The request path: text-data calls, the queue, inject, pause, resume and
// reset, checked through the calls the engine makes on the audio object and
// what the application's sinks hear.
#include <gtest/gtest.h>

#include "tests/engine/engine_fixture.h"

namespace sonter2::test {
namespace {

using Calls = std::vector<std::string>;

// A short pause then one phoneme: the pause gives a visible chunk.
std::vector<std::string> pauseThenPhoneme(uint32_t ms) { return {element(136, ms) + "A"}; }

TEST_F(EngineTest, OneUtteranceOnAnIdleEngineMakesTheseCallsInOrder) {
  TestBufSink sink;
  ASSERT_EQ(speakA(text("a", pauseThenPhoneme(10)), &sink), S_OK);
  EXPECT_EQ(audio->calls(), (Calls{"Claim", "Start", "PosnGet", "PosnGet", "BookMark 0", "DataSet 440", "PosnGet",
                                   "PosnGet", "PosnGet", "BookMark 1", "DataSet 2", "PosnGet", "UnClaim"}));
  EXPECT_EQ(sink.events(), (Calls{"started", "done 0"}));
  EXPECT_EQ(sink.refCount(), 1u);  // held until playback reaches the end of the text
  audio->drain();
  EXPECT_EQ(sink.refCount(), 0u);
  EXPECT_EQ(sink.events(), (Calls{"started", "done 0"}));
}

TEST_F(EngineTest, EmptyTextStartsAndEndsAtOnceAndGivesTheSinkBack) {
  TestBufSink sink;
  ASSERT_EQ(speakA("", &sink), S_OK);
  EXPECT_EQ(sink.events(), (Calls{"started", "done 0"}));
  EXPECT_EQ(audio->calls(), (Calls{"Claim", "Start", "PosnGet", "PosnGet", "PosnGet", "UnClaim", "PosnGet"}));
  EXPECT_EQ(sink.refCount(), 0u);
}

TEST_F(EngineTest, RejectedCallsLeaveNoTrace) {
  TestBufSink sink;
  const char* t = "abc";
  struct Case {
    VOICECHARSET cs;
    const char* text;
    IID iid;
    PVOID sink;
    HRESULT expected;
  };
  const Case cases[] = {
      {CHARSET_IPAPHONETIC, t, IID_ITTSBufNotifySink, &sink, TTSERR_BADCHARSET},
      {CHARSET_IPAPHONETIC, nullptr, IID_IUnknown, nullptr, TTSERR_BADCHARSET},  // the character set is tested first
      {CHARSET_TEXT, nullptr, IID_ITTSBufNotifySink, &sink, E_INVALIDARG},
      {CHARSET_TEXT, t, IID_IUnknown, &sink, E_INVALIDARG},
      {CHARSET_TEXT, t, IID_IUnknown, nullptr, E_INVALIDARG},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(centralA->TextData(c.cs, 0, SDATA{const_cast<char*>(c.text), 4}, c.sink, c.iid), c.expected);
    EXPECT_EQ(centralW->TextDataFlat(c.cs, 0, const_cast<char*>(c.text), 4, c.sink, c.iid), c.expected);
  }
  EXPECT_TRUE(audio->calls().empty());
  EXPECT_EQ(sink.refCount(), 0u);
}

TEST_F(EngineTest, NullSinkIsAcceptedWithTheBufferSinkIdentifier) {
  EXPECT_EQ(speakA(text("a", pauseThenPhoneme(1)), nullptr), S_OK);
  audio->drain();
  EXPECT_EQ(audio->samples().size(), 22u + 1u);
}

TEST_F(EngineTest, TextWhileGeneratingIsQueuedAndStartsWhenThePreviousIsGenerated) {
  createEngine(TestAudio::Options{.capacity = 100});
  TestBufSink first, second;
  ASSERT_EQ(speakA(text("a", pauseThenPhoneme(50)), &first), S_OK);
  ASSERT_EQ(speakA(text("b", pauseThenPhoneme(10)), &second), S_OK);
  EXPECT_EQ(first.events(), (Calls{"started"}));
  EXPECT_TRUE(second.events().empty());
  audio->drain();
  EXPECT_EQ(first.events(), (Calls{"started", "done 0"}));
  EXPECT_EQ(second.events(), (Calls{"started", "done 0"}));
  EXPECT_EQ(audio->samples().size(), 1102u + 1u + 220u + 1u);
  EXPECT_EQ(first.refCount(), 0u);
  EXPECT_EQ(second.refCount(), 0u);
}

TEST_F(EngineTest, TextWhilePausedWaitsWithoutClaimingUntilResume) {
  TestBufSink sink;
  ASSERT_EQ(centralA->AudioPause(), S_OK);
  audio->clearCalls();
  ASSERT_EQ(speakA(text("a", pauseThenPhoneme(10)), &sink), S_OK);
  EXPECT_EQ(audio->calls(), Calls{});
  EXPECT_TRUE(sink.events().empty());
  ASSERT_EQ(centralA->AudioResume(), S_OK);
  EXPECT_EQ(sink.events(), Calls{"started"});  // no priming: free space drives it
  audio->drain();
  EXPECT_EQ(sink.events(), (Calls{"started", "done 0"}));
  EXPECT_EQ(audio->samples().size(), 220u + 1u);
}

TEST_F(EngineTest, PauseAndResumeResults) {
  EXPECT_EQ(centralA->AudioResume(), TTSERR_NOTPAUSED);
  EXPECT_EQ(centralA->AudioPause(), S_OK);
  EXPECT_EQ(centralW->AudioPause(), TTSERR_ALREADYPAUSED);
  EXPECT_EQ(centralW->AudioResume(), S_OK);
  EXPECT_EQ(audio->calls(), (Calls{"Claim", "Start"}));
}

TEST_F(EngineTest, OnlyFlagsOneMakeATaggedRequest) {
  for (DWORD flags : {0u, 1u, 2u, 3u}) {
    speakA(text("t", pauseThenPhoneme(1)), nullptr, flags);
    EXPECT_EQ(engine->stream().converterFlag, flags == 1) << flags;
    audio->drain();
  }
}

TEST_F(EngineTest, UnicodeTextReachesTheAnalysisInTheCodePage) {
  // "Dobrý 😀 ł" — the emoji is outside code page 1250, ł is in it.
  std::u16string wide = u"Dobr\u00fd \U0001F600 \u0142";
  std::string expected = "Dobr\xfd \x01 \xb3";
  scripts[expected] = {"A"};
  speakW(wide, nullptr);
  EXPECT_EQ(engine->stream().sourceText, expected);
}

TEST_F(EngineTest, ResetEndsTheCurrentAndQueuedTextsInOrder) {
  createEngine(TestAudio::Options{.capacity = 100});
  TestBufSink a, b, c;
  std::vector<std::string> order;
  for (auto* s : {&a, &b, &c}) {
    s->onEvent = [&order, s, &a, &b](const std::string& e) {
      order.push_back(std::string(s == &a ? "a " : s == &b ? "b " : "c ") + e);
    };
  }
  speakA(text("a", pauseThenPhoneme(100)), &a);
  speakA(text("b", pauseThenPhoneme(100)), &b);
  speakW(u"ccc", &c);
  ASSERT_EQ(centralA->AudioReset(), S_OK);
  EXPECT_EQ(order, (Calls{"a started", "a done 1", "b done 1", "c done 1"}));
  audio->drain();
  EXPECT_EQ(a.refCount(), 0u);
  EXPECT_EQ(b.refCount(), 0u);
  EXPECT_EQ(c.refCount(), 0u);
  EXPECT_EQ(order.size(), 4u);  // nothing reaches a sink after its TextDataDone
  // The engine is idle: a new text starts at once.
  TestBufSink d;
  speakA(text("d", pauseThenPhoneme(1)), &d);
  EXPECT_EQ(d.events().front(), "started");
  destroyEngine();  // before the sinks go
}

TEST_F(EngineTest, ResetDropsRefusedBytesEvenWhenPaused) {
  createEngine(TestAudio::Options{.capacity = 100});
  speakA(text("a", pauseThenPhoneme(100)), nullptr);
  ASSERT_GT(engine->pendingBytes(), 0u);
  centralA->AudioPause();
  centralA->AudioReset();
  EXPECT_EQ(engine->pendingBytes(), 0u);
  audio->drain();
  // Only the bytes accepted before the reset: nothing of the reset speech after it.
  EXPECT_LE(audio->samples().size() * 2, 100u + 2u);
}

TEST_F(EngineTest, ResumeWhileIdleStartsQueuedTextsOneAfterAnother) {
  TestBufSink empty, full;
  centralA->AudioPause();
  speakA("", &empty);
  speakA(text("f", pauseThenPhoneme(10)), &full);
  ASSERT_EQ(centralA->AudioResume(), S_OK);
  EXPECT_EQ(empty.events(), (Calls{"started", "done 0"}));
  EXPECT_EQ(full.events(), Calls{"started"});
  audio->drain();
  EXPECT_EQ(full.events(), (Calls{"started", "done 0"}));
  EXPECT_EQ(empty.refCount(), 0u);
  EXPECT_EQ(full.refCount(), 0u);
}

TEST_F(EngineTest, ALongQueueOfEmptyTextsDoesNotExhaustTheStack) {
  TestBufSink sink;
  centralA->AudioPause();
  for (int i = 0; i < 100000; ++i) speakA("", &sink);
  centralA->AudioResume();
  EXPECT_EQ(sink.events().size(), 200000u);
  EXPECT_EQ(sink.refCount(), 0u);
}

TEST_F(EngineTest, LumivoxHostPassesOverTheFirstFullStopAfterBookmark1100) {
  // The host scan runs at creation; lumivox_test runs a probe under the
  // name LUMIVOX.EXE for the other side.
  EXPECT_FALSE(engine->lumivoxHost());
  std::string t = "\\mrk=1100\\Dobr\xfd den. Ahoj.";
  scripts[t] = {"A"};
  speakA(t, nullptr);
  EXPECT_EQ(engine->stream().sourceText, t);  // not that host: unchanged
}

struct InjectCase {
  const char* tags;
  HRESULT result;
  Calls calls;  // audio calls after the inject
};

TEST_F(EngineTest, InjectTableOfCases) {
  const InjectCase cases[] = {
      {"", TTSERR_BADCHARSET, {}},
      {"\\spd=999\\", S_OK, {}},
      {"\\vol=1000\\", S_OK, {"LevelSet 03E803E8"}},
      {"\\vol=70000\\", S_OK, {"LevelSet 00011170"}},
      {"\\pit=300\\ \\spd=150\\", TTSERR_BADCHARSET, {}},
      {"\\pit=300\\\\spd=150\\", S_OK, {}},
      {"\\emp\\", E_NOTIMPL, {}},
      {"\\rst\\", S_OK, {"LevelSet 80008000"}},
  };
  for (const InjectCase& c : cases) {
    SCOPED_TRACE(c.tags);
    audio->clearCalls();
    EXPECT_EQ(centralA->Inject(c.tags), c.result);
    EXPECT_EQ(audio->calls(), c.calls);
  }
  EXPECT_EQ(centralW->Inject(static_cast<PCWSTR>(nullptr)), E_INVALIDARG);
  EXPECT_EQ(centralA->Inject(static_cast<PCSTR>(nullptr)), E_INVALIDARG);
}

TEST_F(EngineTest, InjectSetsPitchAndSpeedEvenWhenALaterTagFails) {
  EXPECT_EQ(centralW->Inject(u"\\pit=300\\\\spd=200\\ \\vol=1\\"), TTSERR_BADCHARSET);
  EXPECT_EQ(engine->pitchSetting(), 300);
  EXPECT_EQ(engine->speedSetting(), 200u);
  EXPECT_EQ(centralA->Inject("\\pit=65535\\"), S_OK);
  EXPECT_EQ(engine->pitchSetting(), 340);
}

TEST_F(EngineTest, InjectedPauseIsProducedAtTheNextStep) {
  ASSERT_EQ(centralA->Inject("\\pau=20\\"), S_OK);
  speakA(text("a", {"A"}), nullptr);
  audio->drain();
  EXPECT_EQ(audio->samples().size(), 441u + 1u);
}

}  // namespace
}  // namespace sonter2::test
