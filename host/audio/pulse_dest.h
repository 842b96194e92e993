// The sound card, through the sound server's simple client API.
//
// Why this library: desktops that blind people use with a screen reader run
// a sound server (PulseAudio, or PipeWire with its PulseAudio service), and
// the screen reader's own speech already goes there. Opening the ALSA card
// directly would fight the server for the device, or go through the
// server's ALSA plugin anyway; talking to the server shares the card and
// follows the user's chosen output and volume. The simple API is enough
// because one thread of ours does all the talking, and a test can start a
// server with a null sink on a machine without a sound card.
//
// The position is what the server says has been played: bytes sent minus
// the stream's latency. Stop and Flush throw away what the server holds, so
// the sound stops at once; Stop keeps our own copy of those bytes, and
// Start sends them again from the point last heard.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "host/audio/audio_destination.h"

struct pa_simple;

namespace sonter2::host {

struct SoundCardOptions {
  std::string server;  // "" for the user's own (PULSE_SERVER, then the session's)
  std::string clientName = "sonter2";
  // Opening gives up after this long, for a server that accepts the
  // connection but never answers.
  std::chrono::milliseconds connectTimeout{5000};
};

class CPulseDest final : public CAudioDestination {
 public:
  static CPulseDest* create(const SoundCardOptions& options, std::string* error);

 private:
  explicit CPulseDest(pa_simple* stream);
  ~CPulseDest() override;

  void onStopLocked() override;
  uint64_t flushKeepUntilLocked() override;
  void outputLoop();
  void updateHeardLocked(uint64_t latencyUs, std::chrono::steady_clock::time_point now);

  pa_simple* const stream_;
  std::thread output_;
  // Stop and Flush bump the epoch: a write or latency reading begun before
  // them must not move the position afterwards.
  uint64_t epoch_ = 0;
  bool serverFlush_ = false;
  std::chrono::steady_clock::time_point lastWrite_{};
  uint64_t latencyAtWriteUs_ = 0;
};

}  // namespace sonter2::host
