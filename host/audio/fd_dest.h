// Raw PCM, or a WAV stream, written to a file descriptor (standard output
// into a pipe such as `| aplay -f S16_LE -r 22050 -c 1`). A reader at the
// other end of a pipe takes the bytes at its own pace, so the destination
// behaves like a device: a bounded queue, an output thread, the position
// counting the bytes written, Stop holding the output and Flush dropping
// what is still queued.
#pragma once

#include <string>
#include <thread>

#include "host/audio/audio_destination.h"

namespace sonter2::host {

class CFdDest final : public CAudioDestination {
 public:
  enum class Format { kRaw, kWav };
  // The descriptor stays the caller's; it is not closed. With kWav the
  // header goes out at once; its sizes are the largest possible unless the
  // descriptor is a seekable file, where they are fixed at destruction.
  static CFdDest* create(int fd, Format format, std::string* error);
  // Writes the WAV sizes of what has gone out so far, when seekable.
  HRESULT close() override;

 private:
  CFdDest(int fd, Format format);
  ~CFdDest() override;
  void outputLoop();
  bool writeOut(const uint8_t* data, size_t size);
  void fixWavSizesLocked();

  const int fd_;
  const Format format_;
  long long headerOffset_ = -1;  // where the WAV header starts, when seekable
  uint64_t written_ = 0;         // sample bytes that reached the descriptor
  std::thread output_;
};

}  // namespace sonter2::host
