// Raw PCM or a WAV stream to a file descriptor; see the header.
#include "host/audio/fd_dest.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "host/audio/fd_io.h"
#include "host/audio/wav_header.h"

namespace sonter2::host {

namespace {
// About three quarters of a second ahead of the reader, and a FreeSpace
// whenever a tenth of a second has gone out.
constexpr uint32_t kQueueBytes = 32768;
constexpr uint32_t kStepBytes = 4096;
constexpr size_t kWriteBytes = 8192;
}  // namespace

CFdDest::CFdDest(int fd, Format format) : CAudioDestination(Tuning{kQueueBytes, kStepBytes}), fd_(fd), format_(format) {}

CFdDest* CFdDest::create(int fd, Format format, std::string* error) {
  struct stat st{};
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    if (error != nullptr) *error = ErrnoMessage("cannot write audio to descriptor " + std::to_string(fd));
    return nullptr;
  }
  auto* dest = new CFdDest(fd, format);
  if (format == Format::kWav) {
    if (S_ISREG(st.st_mode)) dest->headerOffset_ = ::lseek(fd, 0, SEEK_CUR);
    const auto header = MakeWavHeader(kWavUnknownSize);
    if (!WriteAll(fd, header.data(), header.size())) {
      if (error != nullptr) *error = ErrnoMessage("cannot write the WAV stream");
      delete dest;
      return nullptr;
    }
  }
  dest->startNotifier();
  dest->output_ = std::thread([dest] { dest->outputLoop(); });
  return dest;
}

CFdDest::~CFdDest() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  outputCv_.notify_all();
  if (output_.joinable()) output_.join();
  stopNotifier();
  std::lock_guard lock(mutex_);
  fixWavSizesLocked();
}

HRESULT CFdDest::close() {
  std::lock_guard lock(mutex_);
  fixWavSizesLocked();
  return failed_ ? kAudioWriteFailed : S_OK;
}

void CFdDest::fixWavSizesLocked() {
  if (format_ != Format::kWav || headerOffset_ < 0) return;
  const auto header = MakeWavHeader(written_);
  if (::pwrite(fd_, header.data(), header.size(), static_cast<off_t>(headerOffset_)) < 0) {
    // The largest sizes written first stay, which players read as "until
    // the end".
    failLocked(ErrnoMessage("cannot write the WAV stream's sizes"));
  }
}

bool CFdDest::writeOut(const uint8_t* data, size_t size) {
  // In pieces that a pipe with room takes without blocking, waiting for
  // room in between, so that a reader who stops reading (a paused player,
  // `| sleep`) cannot keep the destructor, and with it Ctrl-C, waiting.
  while (size > 0) {
    pollfd p{fd_, POLLOUT, 0};
    const int ready = ::poll(&p, 1, 100);
    {
      std::lock_guard lock(mutex_);
      if (quit_) return true;  // going away: the rest is dropped
    }
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    const ssize_t n = ::write(fd_, data, std::min<size_t>(size, PIPE_BUF));
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void CFdDest::outputLoop() {
  // A reader that goes away must give us EPIPE, not end the process: the
  // signal for a failed write goes to the writing thread, so block it here.
  sigset_t pipeOnly;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeOnly, nullptr);

  std::vector<uint8_t> buffer(kWriteBytes);
  std::unique_lock lock(mutex_);
  while (!quit_) {
    if (!started_ || readPos_ >= accepted_) {
      outputCv_.wait(lock);
      continue;
    }
    const size_t n = takeUnsentLocked(buffer.data(), buffer.size());
    const uint64_t end = readPos_;
    const bool dropping = failed_;
    lock.unlock();
    const bool ok = dropping || writeOut(buffer.data(), n);
    const std::string message = ok ? std::string() : ErrnoMessage("cannot write audio to the output");
    lock.lock();
    // After a failure the rest is dropped as if written, so that speech
    // runs to its end and the command can say what went wrong.
    if (!ok) failLocked(message);
    if (ok && !dropping) written_ += n;
    setHeardLocked(end);
  }
}

}  // namespace sonter2::host
