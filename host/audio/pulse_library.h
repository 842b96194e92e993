// The sound server's client library, loaded when the sound card is first
// opened instead of at program start. Linked in, it brings some thirty
// other libraries (X11, D-Bus, audio codecs) whose loading delays the first
// sound of every command by tens of milliseconds, also when the sound goes
// to a file or a pipe.
#pragma once

#include <pulse/error.h>
#include <pulse/simple.h>

#include <string>

namespace sonter2::host {

struct PulseLibrary {
  decltype(&pa_simple_new) simpleNew;
  decltype(&pa_simple_free) simpleFree;
  decltype(&pa_simple_write) simpleWrite;
  decltype(&pa_simple_flush) simpleFlush;
  decltype(&pa_simple_get_latency) simpleGetLatency;
  decltype(&pa_strerror) strerror;
};

// The library, loaded on the first call and kept for the process; nullptr
// with a one-line message when it cannot be loaded.
const PulseLibrary* LoadPulseLibrary(std::string* error);

}  // namespace sonter2::host
