// The sound-card destination against a real sound server: a PulseAudio
// daemon with a null sink, started by the test in a directory of its own,
// which plays at the pace of a real card without one. Without the daemon
// installed these tests skip; the failure cases need no server at all.
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "host/audio/destinations.h"
#include "tests/support/pulse_daemon.h"
#include "tests/host/audio_test_util.h"

extern char** environ;

// The sound server's client library is not built for ThreadSanitizer: it
// hands its buffers between its own threads through lock-free lists the
// sanitizer cannot see, which it reports once two connections are open.
// Only races with a frame inside those libraries are ignored.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libpulsecommon\n"
         "race:libpulse.so\n"
         "race:libpulse-simple.so\n";
}

namespace sonter2::host {
namespace {

using testing::CountKind;
using testing::FakeEngine;
using testing::kLongWait;
using testing::RecordingSink;
using testing::SinkEvent;
using testing::TestStream;

// One daemon for the whole program: starting one takes a while.
class SoundServer {
 public:
  static SoundServer& get() {
    static SoundServer server;
    return server;
  }
  bool running() const { return daemon_.running(); }
  const std::string& why() const { return why_; }
  SoundCardOptions options() const {
    SoundCardOptions o;
    o.server = daemon_.address();
    return o;
  }
  ~SoundServer() {
    if (keeper_ != nullptr) keeper_->Release();
  }

 private:
  SoundServer() {
    why_ = daemon_.why();
    if (!why_.empty()) return;
    // An idle null sink ticks in blocks of two seconds, and only takes up
    // a low latency asked for by a new stream at its next tick: the first
    // sound of a test would wait for it. One stream kept open for the whole
    // program, and one tick waited for, keep every test's sink fast.
    std::string error;
    keeper_ = OpenSoundCard(options(), &error);
    if (keeper_ == nullptr) {
      why_ = "the test's sound server does not take a stream: " + error;
      return;
    }
    static_cast<IAudio*>(keeper_)->Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));
  }

  test::PulseDaemon daemon_;
  std::string why_;
  CAudioDestination* keeper_ = nullptr;
};

class SoundCardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SoundServer& server = SoundServer::get();
    if (!server.running() || !server.why().empty()) GTEST_SKIP() << server.why();
    std::string error;
    card_ = OpenSoundCard(server.options(), &error);
    ASSERT_NE(card_, nullptr) << error;
  }
  void TearDown() override {
    if (card_ != nullptr) card_->Release();
  }
  QWORD position() const {
    QWORD p = 0;
    static_cast<IAudio*>(card_)->PosnGet(&p);
    return p;
  }
  // Waits until the position has passed `bytes`.
  bool waitForPosition(QWORD bytes) const {
    const auto end = std::chrono::steady_clock::now() + kLongWait;
    while (position() <= bytes) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }
  CAudioDestination* card_ = nullptr;
};

TEST_F(SoundCardTest, EngineRunIsPacedAndEveryMarkIsHeardInTime) {
  const auto stream = TestStream(kBytesPerSecond * 3 / 2);  // a second and a half
  FakeEngine engine(card_->unknown(), stream, /*destIsFile=*/false);
  engine.speak();
  ASSERT_TRUE(engine.waitFor([&](auto&) { return engine.finished(); })) << "the engine was left waiting for FreeSpace";
  ASSERT_TRUE(card_->drain(kLongWait));
  ASSERT_TRUE(engine.waitFor([](auto& ev) { return !ev.empty() && ev.back().kind == SinkEvent::kStop; }));
  EXPECT_EQ(card_->error(), "");
  EXPECT_EQ(engine.lostBytes(), 0u);
  // The queue is a fraction of the speech, so the engine had to wait.
  EXPECT_GT(engine.refusals(), 0u);
  EXPECT_EQ(position(), stream.size());

  const auto events = engine.events();
  const auto marks = engine.marks();
  std::vector<SinkEvent> reported;
  for (const auto& e : events) {
    if (e.kind == SinkEvent::kMark) reported.push_back(e);
  }
  ASSERT_EQ(reported.size(), marks.size());
  for (size_t i = 0; i < marks.size(); ++i) {
    EXPECT_EQ(reported[i].value, marks[i].id);
    EXPECT_FALSE(reported[i].flushed);
    EXPECT_GE(reported[i].position, marks[i].offset) << "mark " << marks[i].id << " reported before it was played";
  }
  // Marks come while playing, not all at once when the sound has ended.
  EXPECT_LT(reported.front().position, marks.back().offset);
  EXPECT_EQ(CountKind(events, SinkEvent::kStart), 1u);
  EXPECT_EQ(events.back().value, kStopReasonNoData);
}

TEST_F(SoundCardTest, PositionFollowsPlaybackNotHandOver) {
  IAudio* audio = card_;
  IAudioDest* dest = card_;
  auto second = TestStream(2 * kBytesPerSecond);
  audio->Claim();
  audio->Start();
  ASSERT_EQ(dest->DataSet(second.data(), static_cast<DWORD>(second.size())), S_OK);
  // Handed over is not heard: two seconds of sound take two seconds to play.
  EXPECT_LT(position(), second.size());
  // A full queue refuses, and says it has no room.
  ASSERT_EQ(dest->DataSet(second.data(), 2000), kAudioBufferFull);
  DWORD free = 1;
  ASSERT_EQ(dest->FreeSpace(&free, nullptr), S_OK);
  EXPECT_EQ(free, 0u);
  audio->UnClaim();
  ASSERT_TRUE(card_->drain(kLongWait));
  EXPECT_EQ(position(), second.size());
}

TEST_F(SoundCardTest, StopSilencesAtOnceAndStartGoesOnWithoutLoss) {
  IAudio* audio = card_;
  IAudioDest* dest = card_;
  RecordingSink sink(audio);
  audio->PassNotify(static_cast<IAudioDestNotifySink*>(&sink), IID_IAudioDestNotifySink);
  auto second = TestStream(2 * kBytesPerSecond);  // long enough to be stopped midway
  audio->Claim();
  audio->Start();
  ASSERT_EQ(dest->DataSet(second.data(), static_cast<DWORD>(second.size())), S_OK);
  dest->BookMark(1);
  ASSERT_TRUE(waitForPosition(4410));
  ASSERT_EQ(audio->Stop(), S_OK);
  ASSERT_TRUE(sink.waitFor([](auto& ev) { return CountKind(ev, SinkEvent::kStop) == 1; }));
  EXPECT_EQ(sink.events().back().value, kStopReasonStopped);
  // Stopped means the position no longer moves.
  const QWORD stoppedAt = position();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(position(), stoppedAt);
  EXPECT_LT(stoppedAt, second.size());
  EXPECT_EQ(CountKind(sink.events(), SinkEvent::kMark), 0u);

  // Start again: the rest plays, every byte of it, and the mark comes.
  audio->Start();
  audio->UnClaim();
  ASSERT_TRUE(card_->drain(kLongWait));
  EXPECT_EQ(position(), second.size());
  ASSERT_TRUE(sink.waitFor([](auto& ev) { return CountKind(ev, SinkEvent::kStop) == 2; }));
  const auto events = sink.events();
  auto mark = std::find_if(events.begin(), events.end(), [](auto& e) { return e.kind == SinkEvent::kMark; });
  ASSERT_NE(mark, events.end());
  EXPECT_FALSE(mark->flushed);
  // Resuming after a Stop, the engine is told of room at once.
  EXPECT_GE(CountKind(events, SinkEvent::kFreeSpace), 1u);
  audio->PassNotify(nullptr, IID_IAudioDestNotifySink);
}

TEST_F(SoundCardTest, FlushDropsTheRestAndReportsItsMarksFlushed) {
  IAudio* audio = card_;
  IAudioDest* dest = card_;
  RecordingSink sink(audio);
  audio->PassNotify(static_cast<IAudioDestNotifySink*>(&sink), IID_IAudioDestNotifySink);
  auto second = TestStream(2 * kBytesPerSecond);  // long enough to be stopped midway
  audio->Claim();
  audio->Start();
  dest->BookMark(1);  // at the start: heard at once
  ASSERT_EQ(dest->DataSet(second.data(), static_cast<DWORD>(second.size())), S_OK);
  dest->BookMark(2);
  ASSERT_TRUE(waitForPosition(4410));
  audio->Stop();
  ASSERT_EQ(audio->Flush(), S_OK);
  QWORD total = 0;
  audio->TotalGet(&total);
  EXPECT_EQ(total, position());  // nothing left to play
  EXPECT_LT(total, second.size());
  ASSERT_TRUE(sink.waitFor([](auto& ev) { return CountKind(ev, SinkEvent::kMark) == 2; }));

  // New speech after the flush plays from where the sound stopped.
  audio->Start();
  ASSERT_EQ(dest->DataSet(second.data(), 4410), S_OK);
  dest->BookMark(3);
  audio->UnClaim();
  ASSERT_TRUE(card_->drain(kLongWait));
  EXPECT_EQ(position(), total + 4410);
  ASSERT_TRUE(sink.waitFor([](auto& ev) { return CountKind(ev, SinkEvent::kMark) == 3; }));
  std::vector<std::pair<DWORD, bool>> marks;
  for (const auto& e : sink.events()) {
    if (e.kind == SinkEvent::kMark) marks.emplace_back(e.value, e.flushed);
  }
  const std::vector<std::pair<DWORD, bool>> expected = {{1, false}, {2, true}, {3, false}};
  EXPECT_EQ(marks, expected);
  audio->PassNotify(nullptr, IID_IAudioDestNotifySink);
}

// --- No usable server -------------------------------------------------------------

TEST(SoundCardFailureTest, NoServerIsAClearError) {
  SoundCardOptions options;
  options.server = "unix:/nonexistent/sonter2-test/native";
  std::string error;
  EXPECT_EQ(OpenSoundCard(options, &error), nullptr);
  EXPECT_NE(error.find("sound card"), std::string::npos) << error;
  EXPECT_NE(error.find("PulseAudio or PipeWire"), std::string::npos) << error;
}

// A socket that takes the connection and never answers, as a hung server
// would: opening gives up after its time limit instead of hanging.
TEST(SoundCardFailureTest, SilentServerGivesUpAfterTheTimeout) {
  char dir[] = "/tmp/sonter2-mute-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/native";
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  path.copy(addr.sun_path, sizeof addr.sun_path - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(fd, 4), 0);
  SoundCardOptions options;
  options.server = "unix:" + path;
  options.connectTimeout = std::chrono::milliseconds(500);
  std::string error;
  EXPECT_EQ(OpenSoundCard(options, &error), nullptr);
  EXPECT_NE(error.find("did not answer within 500 ms"), std::string::npos) << error;
  close(fd);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace sonter2::host
