// The WAV file and descriptor destinations: what reaches the file or pipe,
// the pacing handshake with the engine, marks, Stop, Flush and the end.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <gtest/gtest.h>

#include "host/audio/destinations.h"
#include "tests/host/audio_test_util.h"

namespace sonter2::host {
namespace {

using testing::FakeEngine;
using testing::kLongWait;
using testing::RecordingSink;
using testing::SinkEvent;
using testing::TestStream;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t Le16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

// The header of a 22050 Hz mono 16-bit file with `dataSize` in its size
// fields, checked field by field.
void ExpectWavHeader(const std::vector<uint8_t>& file, uint32_t dataSize) {
  ASSERT_GE(file.size(), 44u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
  EXPECT_EQ(Le32(file, 4), dataSize == 0xFFFFFFFF ? 0xFFFFFFFF : dataSize + 36);
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(Le32(file, 16), 16u);
  EXPECT_EQ(Le16(file, 20), 1);  // PCM
  EXPECT_EQ(Le16(file, 22), 1);  // mono
  EXPECT_EQ(Le32(file, 24), 22050u);
  EXPECT_EQ(Le32(file, 28), 44100u);
  EXPECT_EQ(Le16(file, 32), 2);
  EXPECT_EQ(Le16(file, 34), 16);
  EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "data");
  EXPECT_EQ(Le32(file, 40), dataSize);
}

// Every mark the engine queued comes back once, in order, not flushed, at
// a position no earlier than the data handed over before it.
void ExpectMarksHeard(const FakeEngine& engine) {
  EXPECT_EQ(engine.lostBytes(), 0u) << "a kept chunk offered again was refused";
  std::vector<SinkEvent> reported;
  for (const auto& e : engine.events()) {
    if (e.kind == SinkEvent::kMark) reported.push_back(e);
  }
  const auto queued = engine.marks();
  ASSERT_EQ(reported.size(), queued.size());
  for (size_t i = 0; i < queued.size(); ++i) {
    EXPECT_EQ(reported[i].value, queued[i].id) << "mark " << i;
    EXPECT_FALSE(reported[i].flushed) << "mark " << i;
    EXPECT_GE(reported[i].position, queued[i].offset) << "mark " << i;
  }
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/sonter2-audio-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string path(const char* name) const { return dir_ + "/" + name; }
  std::string dir_;
};

// A pipe whose read end the test drains on a thread of its own.
struct Pipe {
  Pipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) == 0) {
      readEnd = fds[0];
      writeEnd = fds[1];
    }
  }
  ~Pipe() {
    if (reader.joinable()) reader.join();
    if (readEnd >= 0) close(readEnd);
    if (writeEnd >= 0) close(writeEnd);
  }
  // Reads until `bytes` have come or the write end is closed.
  void startReading(size_t bytes) {
    reader = std::thread([this, bytes] {
      uint8_t buf[4096];
      while (received.size() < bytes) {
        const ssize_t n = read(readEnd, buf, sizeof buf);
        if (n <= 0) break;
        received.insert(received.end(), buf, buf + n);
      }
    });
  }
  int available() const {
    int n = 0;
    ioctl(readEnd, FIONREAD, &n);
    return n;
  }
  int readEnd = -1;
  int writeEnd = -1;
  std::thread reader;
  std::vector<uint8_t> received;
};

// --- Shared behaviour -------------------------------------------------------------

using WavFileTest = TempDir;

TEST_F(WavFileTest, InterfacesAndFormatCheck) {
  std::string error;
  CAudioDestination* file = OpenWavFile(path("a.wav"), &error);
  ASSERT_NE(file, nullptr) << error;
  Pipe pipe;
  CAudioDestination* raw = OpenRawFd(pipe.writeEnd, &error);
  ASSERT_NE(raw, nullptr) << error;

  for (CAudioDestination* d : {file, raw}) {
    IUnknown* unk = d->unknown();
    void* p = nullptr;
    for (const IID* iid : {&IID_IUnknown, &IID_IAudio, &IID_IAudioDest}) {
      ASSERT_EQ(unk->QueryInterface(*iid, &p), S_OK);
      static_cast<IUnknown*>(p)->Release();
    }
    // The unknown of either interface is the same object.
    IAudioDest* dest = nullptr;
    IUnknown* viaDest = nullptr;
    ASSERT_EQ(unk->QueryInterface(IID_IAudioDest, reinterpret_cast<void**>(&dest)), S_OK);
    ASSERT_EQ(dest->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaDest)), S_OK);
    EXPECT_EQ(viaDest, unk);
    viaDest->Release();
    dest->Release();
    EXPECT_EQ(unk->QueryInterface(IID_ITTSCentralW, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
  }
  // Only the file says it is a file; through IAudioFile one gets back to
  // the same object.
  void* p = nullptr;
  EXPECT_EQ(raw->unknown()->QueryInterface(IID_IAudioFile, &p), E_NOINTERFACE);
  IAudioFile* audioFile = nullptr;
  ASSERT_EQ(file->unknown()->QueryInterface(IID_IAudioFile, reinterpret_cast<void**>(&audioFile)), S_OK);
  IUnknown* back = nullptr;
  ASSERT_EQ(audioFile->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back)), S_OK);
  EXPECT_EQ(back, file->unknown());
  back->Release();
  audioFile->Release();

  struct FormatCase {
    const char* what;
    WAVEFORMATEX format;
    DWORD size;
    bool accepted;
  };
  const FormatCase cases[] = {
      {"the engine's format", {1, 1, 22050, 44100, 2, 16, 0}, 18, true},
      {"the same without cbSize", {1, 1, 22050, 44100, 2, 16, 0}, 16, true},
      {"44100 Hz", {1, 1, 44100, 88200, 2, 16, 0}, 18, false},
      {"stereo", {1, 2, 22050, 88200, 4, 16, 0}, 18, false},
      {"8 bits", {1, 1, 22050, 22050, 1, 8, 0}, 18, false},
      {"float", {3, 1, 22050, 44100, 2, 16, 0}, 18, false},
      {"extra bytes", {1, 1, 22050, 44100, 2, 16, 2}, 18, false},
      {"wrong byte rate", {1, 1, 22050, 22050, 2, 16, 0}, 18, false},
  };
  IAudio* audio = file;
  for (const auto& c : cases) {
    WAVEFORMATEX f = c.format;
    const HRESULT hr = audio->WaveFormatSet(SDATA{&f, c.size});
    EXPECT_EQ(SUCCEEDED(hr), c.accepted) << c.what;
  }
  EXPECT_LT(audio->WaveFormatSet(SDATA{nullptr, 18}), 0);
  WAVEFORMATEX f{1, 1, 22050, 44100, 2, 16, 0};
  EXPECT_LT(audio->WaveFormatSet(SDATA{&f, 14}), 0);

  file->Release();
  raw->Release();
}

TEST_F(WavFileTest, LevelScalesSamplesByItsLowWord) {
  struct LevelCase {
    DWORD level;
    int16_t in, out;
  };
  const LevelCase cases[] = {
      {0xFFFFFFFF, -32768, -32768}, {0xFFFFFFFF, 12345, 12345}, {0x00008000, 20000, 10000},
      {0x00008000, -20000, -10000}, {0x00000000, 30000, 0},     {0xFFFF0000, 30000, 0},  // mono follows the low word
      {0x0000FFFF, 30000, 30000},
  };
  std::string error;
  CAudioDestination* d = OpenWavFile(path("level.wav"), &error);
  ASSERT_NE(d, nullptr) << error;
  IAudio* audio = d;
  IAudioDest* dest = d;
  DWORD level = 0;
  ASSERT_EQ(audio->LevelGet(&level), S_OK);
  EXPECT_EQ(level, 0xFFFFFFFFu);  // full volume until told otherwise
  for (const auto& c : cases) {
    ASSERT_EQ(audio->LevelSet(c.level), S_OK);
    ASSERT_EQ(audio->LevelGet(&level), S_OK);
    EXPECT_EQ(level, c.level);
    int16_t s = c.in;
    ASSERT_EQ(dest->DataSet(&s, 2), S_OK);
  }
  d->Release();
  const auto file = ReadFile(path("level.wav"));
  ASSERT_EQ(file.size(), 44 + 2 * std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_NEAR(static_cast<int16_t>(Le16(file, 44 + 2 * i)), cases[i].out, 1) << "case " << i;
  }
}

// --- WAV file -----------------------------------------------------------------------

TEST_F(WavFileTest, EngineRunWritesEveryByteAndHearsEveryMark) {
  const auto stream = TestStream(3 * 44100 + 1234);
  std::string error;
  CAudioDestination* d = OpenWavFile(path("speech.wav"), &error);
  ASSERT_NE(d, nullptr) << error;
  {
    FakeEngine engine(d->unknown(), stream, /*destIsFile=*/true);
    engine.speak();
    ASSERT_TRUE(engine.waitFor([&](auto&) { return engine.finished(); })) << "the engine was left waiting for FreeSpace";
    ASSERT_TRUE(d->drain(kLongWait));
    ASSERT_TRUE(engine.waitFor([](auto& ev) { return !ev.empty() && ev.back().kind == SinkEvent::kStop; }));
    EXPECT_EQ(engine.refusals(), 0u);  // a file never makes the engine wait
    ExpectMarksHeard(engine);
    const auto events = engine.events();
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](auto& e) { return e.kind == SinkEvent::kStart; }), 1);
    EXPECT_EQ(events.back().value, kStopReasonNoData);
    EXPECT_EQ(events.back().position, stream.size());

    // UnClaim has brought the header up to date while the file is open.
    const auto sofar = ReadFile(path("speech.wav"));
    ExpectWavHeader(sofar, static_cast<uint32_t>(stream.size()));
  }
  EXPECT_EQ(d->close(), S_OK);
  EXPECT_EQ(d->error(), "");
  // A closed file takes nothing more, and says why.
  uint8_t more[4] = {};
  EXPECT_EQ(static_cast<IAudioDest*>(d)->DataSet(more, 4), kAudioWriteFailed);
  EXPECT_NE(d->error().find("closed"), std::string::npos) << d->error();
  d->Release();
  const auto file = ReadFile(path("speech.wav"));
  ExpectWavHeader(file, static_cast<uint32_t>(stream.size()));
  ASSERT_EQ(file.size(), 44 + stream.size());
  EXPECT_TRUE(std::equal(stream.begin(), stream.end(), file.begin() + 44)) << "the samples differ";
}

TEST_F(WavFileTest, PositionCountsBytesWrittenAndFlushKeepsThem) {
  std::string error;
  CAudioDestination* d = OpenWavFile(path("posn.wav"), &error);
  ASSERT_NE(d, nullptr) << error;
  RecordingSink sink(d);
  IAudio* audio = d;
  IAudioDest* dest = d;
  ASSERT_EQ(audio->PassNotify(static_cast<IAudioDestNotifySink*>(&sink), IID_IAudioDestNotifySink), S_OK);
  const auto data = TestStream(1000);
  ASSERT_EQ(dest->DataSet(const_cast<uint8_t*>(data.data()), 1000), S_OK);
  ASSERT_EQ(dest->BookMark(5), S_OK);
  QWORD pos = 0, total = 0;
  ASSERT_EQ(audio->PosnGet(&pos), S_OK);
  EXPECT_EQ(pos, 1000u);
  // What is written is heard: Flush has nothing to take back.
  ASSERT_EQ(audio->Flush(), S_OK);
  ASSERT_EQ(audio->TotalGet(&total), S_OK);
  EXPECT_EQ(total, 1000u);
  ASSERT_TRUE(sink.waitFor([](auto& ev) {
    return std::any_of(ev.begin(), ev.end(), [](auto& e) { return e.kind == SinkEvent::kMark; });
  }));
  const auto events = sink.events();
  auto mark = std::find_if(events.begin(), events.end(), [](auto& e) { return e.kind == SinkEvent::kMark; });
  EXPECT_EQ(mark->value, 5u);
  EXPECT_FALSE(mark->flushed);
  EXPECT_EQ(dest->DataSet(nullptr, 4), E_INVALIDARG);
  EXPECT_EQ(dest->DataSet(const_cast<uint8_t*>(data.data()), 3), E_INVALIDARG);  // half a sample
  EXPECT_EQ(audio->PosnGet(nullptr), E_INVALIDARG);
  audio->PassNotify(nullptr, IID_IAudioDestNotifySink);
  d->Release();
}

TEST_F(WavFileTest, UnwritablePathIsACleanError) {
  std::string error;
  EXPECT_EQ(OpenWavFile(path("missing/dir/x.wav"), &error), nullptr);
  EXPECT_NE(error.find("missing/dir/x.wav"), std::string::npos) << error;
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

TEST_F(WavFileTest, SetSwitchesFilesAndClosesTheFirstProperly) {
  std::string error;
  CAudioDestination* d = OpenWavFile(path("one.wav"), &error);
  ASSERT_NE(d, nullptr) << error;
  IAudioDest* dest = d;
  IAudioFile* file = nullptr;
  ASSERT_EQ(d->unknown()->QueryInterface(IID_IAudioFile, reinterpret_cast<void**>(&file)), S_OK);
  const auto a = TestStream(600), b = TestStream(200);
  ASSERT_EQ(dest->DataSet(const_cast<uint8_t*>(a.data()), 600), S_OK);
  const std::string second = path("two.wav");
  const std::u16string second16(second.begin(), second.end());
  ASSERT_EQ(file->Set(second16.c_str(), 1), S_OK);
  ASSERT_EQ(dest->DataSet(const_cast<uint8_t*>(b.data()), 200), S_OK);
  EXPECT_EQ(file->Set(nullptr, 2), E_INVALIDARG);
  ASSERT_EQ(file->Flush(), S_OK);  // sizes written while still open
  ExpectWavHeader(ReadFile(second), 200);
  file->Release();
  d->Release();
  const auto one = ReadFile(path("one.wav"));
  ExpectWavHeader(one, 600);
  EXPECT_EQ(one.size(), 644u);
  EXPECT_EQ(ReadFile(second).size(), 244u);
}

// The destination lets go of a sink at PassNotify(NULL), calls it no more,
// and survives its last reference being dropped inside a callback.
TEST_F(WavFileTest, SinkLifetime) {
  std::string error;
  CAudioDestination* d = OpenWavFile(path("sink.wav"), &error);
  ASSERT_NE(d, nullptr) << error;
  IAudio* audio = d;
  IAudioDest* dest = d;
  RecordingSink sink;
  EXPECT_EQ(audio->PassNotify(static_cast<IAudioDestNotifySink*>(&sink), IID_IAudio), E_INVALIDARG);
  EXPECT_EQ(sink.refs(), 1u);
  ASSERT_EQ(audio->PassNotify(static_cast<IAudioDestNotifySink*>(&sink), IID_IAudioDestNotifySink), S_OK);
  EXPECT_EQ(sink.refs(), 2u);
  const auto data = TestStream(100);
  dest->DataSet(const_cast<uint8_t*>(data.data()), 100);
  dest->BookMark(1);
  ASSERT_TRUE(sink.waitFor([](auto& ev) {
    return std::any_of(ev.begin(), ev.end(), [](auto& e) { return e.kind == SinkEvent::kMark; });
  }));
  ASSERT_EQ(audio->PassNotify(nullptr, IID_IAudioDestNotifySink), S_OK);
  EXPECT_EQ(sink.refs(), 1u);
  const size_t before = sink.events().size();
  audio->Start();
  dest->DataSet(const_cast<uint8_t*>(data.data()), 100);
  dest->BookMark(2);
  audio->UnClaim();
  ASSERT_TRUE(d->drain(kLongWait));
  EXPECT_EQ(sink.events().size(), before);

  // Now a sink that drops the application's last reference when the sound
  // stops, on the destination's own thread.
  RecordingSink dropper;
  dropper.onEvent = [d](const SinkEvent& e) {
    if (e.kind == SinkEvent::kStop) d->Release();
  };
  audio->PassNotify(static_cast<IAudioDestNotifySink*>(&dropper), IID_IAudioDestNotifySink);
  audio->Claim();
  dest->DataSet(const_cast<uint8_t*>(data.data()), 100);
  audio->UnClaim();
  ASSERT_TRUE(dropper.waitFor([](auto& ev) { return !ev.empty() && ev.back().kind == SinkEvent::kStop; }));
  // The destination is gone; it gave the sink back on its way out.
  for (int i = 0; i < 1000 && dropper.refs() != 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(dropper.refs(), 1u);
}

// --- Descriptor streams -------------------------------------------------------------

TEST(FdDestTest, EngineIsPacedByAReaderAndLosesNothing) {
  // Far more than the pipe and the queue hold, so the engine must wait
  // for a slow reader; the reader starts only once the engine was refused.
  const auto stream = TestStream(400000);
  Pipe pipe;
  std::string error;
  CAudioDestination* d = OpenRawFd(pipe.writeEnd, &error);
  ASSERT_NE(d, nullptr) << error;
  {
    FakeEngine engine(d->unknown(), stream, /*destIsFile=*/false);
    engine.speak();
    ASSERT_TRUE(engine.waitForRefusal());
    DWORD free = 1;
    BOOL eof = 1;
    ASSERT_EQ(engine.dest()->FreeSpace(&free, &eof), S_OK);
    EXPECT_LE(free, 32768u);
    EXPECT_EQ(eof, 0);
    pipe.startReading(stream.size());
    ASSERT_TRUE(engine.waitFor([&](auto&) { return engine.finished(); })) << "the engine was left waiting for FreeSpace";
    ASSERT_TRUE(d->drain(kLongWait));
    ASSERT_TRUE(engine.waitFor([](auto& ev) { return !ev.empty() && ev.back().kind == SinkEvent::kStop; }));
    ExpectMarksHeard(engine);
    EXPECT_GT(engine.count(SinkEvent::kFreeSpace), 1u);
  }
  d->Release();
  pipe.reader.join();
  ASSERT_EQ(pipe.received.size(), stream.size());
  EXPECT_TRUE(pipe.received == stream) << "the bytes in the pipe differ from those handed over";
}

TEST(FdDestTest, StopHoldsOutputAndFlushDropsWhatIsQueued) {
  Pipe pipe;
  std::string error;
  CAudioDestination* d = OpenRawFd(pipe.writeEnd, &error);
  ASSERT_NE(d, nullptr) << error;
  RecordingSink sink(d);
  IAudio* audio = d;
  IAudioDest* dest = d;
  audio->PassNotify(static_cast<IAudioDestNotifySink*>(&sink), IID_IAudioDestNotifySink);
  const auto first = TestStream(4000);
  std::vector<uint8_t> second(2000, 0x55);

  // Not started: nothing goes out, the position stays.
  audio->Claim();
  ASSERT_EQ(dest->DataSet(const_cast<uint8_t*>(first.data()), 4000), S_OK);
  dest->BookMark(1);
  ASSERT_EQ(dest->DataSet(const_cast<uint8_t*>(first.data()), 4000), S_OK);
  dest->BookMark(2);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(pipe.available(), 0);
  QWORD pos = 1, total = 0;
  audio->PosnGet(&pos);
  EXPECT_EQ(pos, 0u);

  // Flush drops it all and reports both marks flushed, in order.
  ASSERT_EQ(audio->Flush(), S_OK);
  ASSERT_TRUE(sink.waitFor([](auto& ev) { return ev.size() >= 2; }));
  auto events = sink.events();
  ASSERT_EQ(events[0].kind, SinkEvent::kMark);
  EXPECT_EQ(events[0].value, 1u);
  EXPECT_TRUE(events[0].flushed);
  EXPECT_EQ(events[1].value, 2u);
  EXPECT_TRUE(events[1].flushed);
  audio->TotalGet(&total);
  EXPECT_EQ(total, 0u);

  // Data after the flush plays, and only that.
  audio->Start();
  ASSERT_EQ(dest->DataSet(second.data(), 2000), S_OK);
  dest->BookMark(3);
  audio->UnClaim();
  ASSERT_TRUE(d->drain(kLongWait));
  EXPECT_EQ(pipe.available(), 2000);
  ASSERT_TRUE(sink.waitFor([](auto& ev) { return ev.back().kind == SinkEvent::kStop; }));
  events = sink.events();
  auto mark3 = std::find_if(events.begin(), events.end(), [](auto& e) { return e.kind == SinkEvent::kMark && e.value == 3; });
  ASSERT_NE(mark3, events.end());
  EXPECT_FALSE(mark3->flushed);
  EXPECT_EQ(mark3->position, 2000u);

  // Stop while playing sends AudioStop at once, and holds further output.
  audio->Claim();
  audio->Start();
  ASSERT_EQ(dest->DataSet(second.data(), 2000), S_OK);
  ASSERT_TRUE(sink.waitFor([](auto& ev) { return testing::CountKind(ev, SinkEvent::kStart) == 2; }));
  audio->Stop();
  ASSERT_TRUE(sink.waitFor([](auto& ev) { return testing::CountKind(ev, SinkEvent::kStop) == 2; }));
  EXPECT_EQ(sink.events().back().value, kStopReasonStopped);
  const int afterStop = pipe.available();
  ASSERT_EQ(dest->DataSet(second.data(), 2000), S_OK);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(pipe.available(), afterStop);
  audio->Start();
  audio->UnClaim();
  ASSERT_TRUE(d->drain(kLongWait));
  EXPECT_EQ(pipe.available(), 6000);

  audio->PassNotify(nullptr, IID_IAudioDestNotifySink);
  d->Release();
}

TEST(FdDestTest, ReaderGoingAwayIsAnErrorNotADeath) {
  Pipe pipe;
  close(pipe.readEnd);
  pipe.readEnd = -1;
  std::string error;
  CAudioDestination* d = OpenRawFd(pipe.writeEnd, &error);
  ASSERT_NE(d, nullptr) << error;
  IAudio* audio = d;
  IAudioDest* dest = d;
  audio->Start();
  const auto data = TestStream(2000);
  ASSERT_EQ(dest->DataSet(const_cast<uint8_t*>(data.data()), 2000), S_OK);
  ASSERT_TRUE(d->drain(kLongWait));  // dropped, so the engine can finish
  EXPECT_NE(d->error().find("Broken pipe"), std::string::npos) << d->error();
  d->Release();
}

TEST_F(WavFileTest, WavStreamHeaderOnPipeAndOnFile) {
  const auto data = TestStream(3000);
  std::string error;
  {
    Pipe pipe;
    CAudioDestination* d = OpenWavStream(pipe.writeEnd, &error);
    ASSERT_NE(d, nullptr) << error;
    IAudio* audio = d;
    audio->Start();
    static_cast<IAudioDest*>(d)->DataSet(const_cast<uint8_t*>(data.data()), 3000);
    ASSERT_TRUE(d->drain(kLongWait));
    d->Release();
    close(pipe.writeEnd);
    pipe.writeEnd = -1;
    pipe.startReading(1 << 20);
    pipe.reader.join();
    ExpectWavHeader(pipe.received, 0xFFFFFFFF);  // a pipe cannot be rewound
    ASSERT_EQ(pipe.received.size(), 44 + data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), pipe.received.begin() + 44));
  }
  {
    // A seekable file gets its true sizes when the destination goes away,
    // even when the stream does not start at the file's beginning.
    const std::string name = path("stream.wav");
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "xx", 2), 2);
    CAudioDestination* d = OpenWavStream(fd, &error);
    ASSERT_NE(d, nullptr) << error;
    IAudio* audio = d;
    audio->Start();
    static_cast<IAudioDest*>(d)->DataSet(const_cast<uint8_t*>(data.data()), 3000);
    ASSERT_TRUE(d->drain(kLongWait));
    EXPECT_EQ(d->close(), S_OK);
    auto file = ReadFile(name);
    ASSERT_EQ(file.size(), 2 + 44 + data.size());
    file.erase(file.begin(), file.begin() + 2);
    ExpectWavHeader(file, 3000);
    // More after close() is still counted when the stream goes away.
    static_cast<IAudioDest*>(d)->DataSet(const_cast<uint8_t*>(data.data()), 1000);
    ASSERT_TRUE(d->drain(kLongWait));
    d->Release();
    close(fd);
    file = ReadFile(name);
    ASSERT_EQ(file.size(), 2 + 44 + 4000);
    file.erase(file.begin(), file.begin() + 2);
    ExpectWavHeader(file, 4000);
  }
  EXPECT_EQ(OpenRawFd(-1, &error), nullptr);
  EXPECT_NE(error.find("descriptor -1"), std::string::npos) << error;
}

}  // namespace
}  // namespace sonter2::host
