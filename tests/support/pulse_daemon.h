// A PulseAudio daemon of a test program's own, with a null sink that plays
// in real time like a sound card: its own home and runtime directory, so it
// neither meets a user's server nor needs a session bus.
#pragma once

#include <sys/types.h>

#include <string>

namespace sonter2::test {

class PulseDaemon {
 public:
  PulseDaemon();  // starts it; why() says what went wrong, empty when it runs
  ~PulseDaemon();
  PulseDaemon(const PulseDaemon&) = delete;
  PulseDaemon& operator=(const PulseDaemon&) = delete;

  bool running() const { return why_.empty(); }
  const std::string& why() const { return why_; }
  // The server address for PULSE_SERVER or the client's options.
  std::string address() const { return "unix:" + socket_; }

 private:
  pid_t pid_ = 0;
  std::string dir_, socket_, why_;
};

}  // namespace sonter2::test
