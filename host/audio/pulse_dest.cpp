// The sound card through the sound server; see the header.
#include "host/audio/pulse_dest.h"

#include "host/audio/pulse_library.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace sonter2::host {

namespace {

// A quarter of a second queued ahead of the listener, and a FreeSpace for
// each 46 ms heard. The server holds about 100 ms of that.
constexpr uint32_t kQueueBytes = 11026;  // even: every size we report is whole samples
constexpr uint32_t kStepBytes = 2048;
constexpr size_t kWriteBytes = 882;
constexpr uint32_t kServerBufferBytes = 4410;
// How often the position is read while the server plays out its buffer.
constexpr auto kPollInterval = std::chrono::milliseconds(10);
// Beyond the latency last read, how long after the last write the server
// must have played everything.
constexpr auto kPlayOutMargin = std::chrono::milliseconds(50);

// Loaded by openStream before any stream exists.
const PulseLibrary& Pulse() { return *LoadPulseLibrary(nullptr); }

struct OpenAttempt {
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
  bool abandoned = false;
  pa_simple* stream = nullptr;
  int error = 0;
};

// pa_simple_new has no time limit of its own, so it runs on a helper
// thread that we stop waiting for. A late success is freed by the helper.
pa_simple* openStream(const SoundCardOptions& options, std::string* error) {
  const PulseLibrary* pulse = LoadPulseLibrary(error);
  if (pulse == nullptr) return nullptr;
  auto attempt = std::make_shared<OpenAttempt>();
  std::thread([attempt, options, pulse] {
    const pa_sample_spec format{PA_SAMPLE_S16LE, kSampleRate, 1};
    pa_buffer_attr attr{};
    // A small target buffer makes the server run the card at low latency
    // (with its own choice a sink may run seconds ahead, and speech that is
    // paced by what is heard then crawls); writes of 20 ms into it keep a
    // Stop from waiting long for the write under way.
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = kServerBufferBytes;
    // Start playing with the first sample: the end of a short utterance
    // would otherwise wait for a full buffer that never comes.
    attr.prebuf = 2;
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    int err = 0;
    pa_simple* s = pulse->simpleNew(options.server.empty() ? nullptr : options.server.c_str(),
                                 options.clientName.c_str(), PA_STREAM_PLAYBACK, nullptr, "speech", &format,
                                 nullptr, &attr, &err);
    std::lock_guard lock(attempt->mutex);
    if (attempt->abandoned) {
      if (s != nullptr) pulse->simpleFree(s);
      return;
    }
    attempt->stream = s;
    attempt->error = err;
    attempt->done = true;
    attempt->cv.notify_all();
  }).detach();

  std::unique_lock lock(attempt->mutex);
  if (!attempt->cv.wait_for(lock, options.connectTimeout, [&] { return attempt->done; })) {
    attempt->abandoned = true;
    *error = "cannot play on the sound card: the sound server (PulseAudio or PipeWire) did not answer within " +
             std::to_string(options.connectTimeout.count()) + " ms";
    return nullptr;
  }
  if (attempt->stream == nullptr) {
    *error = std::string("cannot play on the sound card: ") + pulse->strerror(attempt->error) +
             " (is a PulseAudio or PipeWire sound server running? try -o FILE.wav or --raw)";
  }
  return attempt->stream;
}

}  // namespace

CPulseDest::CPulseDest(pa_simple* stream) : CAudioDestination(Tuning{kQueueBytes, kStepBytes}), stream_(stream) {}

CPulseDest* CPulseDest::create(const SoundCardOptions& options, std::string* error) {
  std::string message;
  pa_simple* stream = openStream(options, &message);
  if (stream == nullptr) {
    if (error != nullptr) *error = message;
    return nullptr;
  }
  auto* dest = new CPulseDest(stream);
  dest->startNotifier();
  dest->output_ = std::thread([dest] { dest->outputLoop(); });
  return dest;
}

CPulseDest::~CPulseDest() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  outputCv_.notify_all();
  if (output_.joinable()) output_.join();
  stopNotifier();
  Pulse().simpleFree(stream_);
}

void CPulseDest::onStopLocked() {
  // What the server holds is dropped at once; it is sent again on Start.
  readPos_ = heard_;
  ++epoch_;
  serverFlush_ = true;
}

uint64_t CPulseDest::flushKeepUntilLocked() {
  ++epoch_;
  serverFlush_ = true;
  return heard_;
}

void CPulseDest::updateHeardLocked(uint64_t latencyUs, std::chrono::steady_clock::time_point now) {
  const uint64_t latencyBytes = (latencyUs * kBytesPerSecond / 1000000) & ~uint64_t{1};
  uint64_t position = readPos_ > latencyBytes ? readPos_ - latencyBytes : 0;
  // Once the server has run dry its latency reading keeps the device's own
  // delay; by the clock everything sent has been played by now.
  if (now - lastWrite_ >= std::chrono::microseconds(latencyAtWriteUs_) + kPlayOutMargin) position = readPos_;
  setHeardLocked(position);
}

void CPulseDest::outputLoop() {
  std::vector<uint8_t> buffer(kWriteBytes);
  std::unique_lock lock(mutex_);
  while (!quit_) {
    int err = 0;
    if (serverFlush_) {
      serverFlush_ = false;
      lock.unlock();
      Pulse().simpleFlush(stream_, &err);
      lock.lock();
      continue;
    }
    if (failed_) {
      // The server went away: drop the rest as if played, so speech runs
      // to its end and the command can report the error.
      if (started_) {
        readPos_ = accepted_;
        setHeardLocked(accepted_);
      }
      outputCv_.wait(lock);
      continue;
    }
    const bool unsent = started_ && readPos_ < accepted_;
    const bool playing = started_ && heard_ < readPos_;
    if (!unsent && !playing) {
      outputCv_.wait(lock);
      continue;
    }
    const uint64_t epoch = epoch_;
    size_t n = unsent ? takeUnsentLocked(buffer.data(), buffer.size()) : 0;
    lock.unlock();
    const bool ok = n == 0 || Pulse().simpleWrite(stream_, buffer.data(), n, &err) == 0;
    const pa_usec_t latency = ok ? Pulse().simpleGetLatency(stream_, &err) : 0;
    const auto now = std::chrono::steady_clock::now();
    lock.lock();
    if (!ok) {
      failLocked(std::string("the sound server stopped taking audio: ") + Pulse().strerror(err));
      continue;
    }
    if (epoch == epoch_ && latency != static_cast<pa_usec_t>(-1)) {
      if (n > 0) {
        lastWrite_ = now;
        latencyAtWriteUs_ = latency;
      }
      updateHeardLocked(latency, now);
    }
    if (n == 0 && heard_ < readPos_ && !serverFlush_) outputCv_.wait_for(lock, kPollInterval);
  }
}

}  // namespace sonter2::host
