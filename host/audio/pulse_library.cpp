// Loading the sound server's client library on first use; see the header.
#include "host/audio/pulse_library.h"

#include <dlfcn.h>

namespace sonter2::host {

namespace {

struct Loaded {
  PulseLibrary library{};
  std::string error;
};

template <typename F>
bool Find(void* handle, const char* name, F& function) {
  function = reinterpret_cast<F>(dlsym(handle, name));
  return function != nullptr;
}

Loaded Load() {
  Loaded loaded;
  constexpr const char* kName = "libpulse-simple.so.0";
  void* handle = dlopen(kName, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    loaded.error = std::string("cannot play on the sound card: ") + kName +
                   " is missing (Debian package libpulse0; or use -o FILE.wav or --raw)";
    return loaded;
  }
  // The handle's dependencies are searched too: pa_strerror is libpulse's.
  PulseLibrary& l = loaded.library;
  if (!Find(handle, "pa_simple_new", l.simpleNew) || !Find(handle, "pa_simple_free", l.simpleFree) ||
      !Find(handle, "pa_simple_write", l.simpleWrite) || !Find(handle, "pa_simple_flush", l.simpleFlush) ||
      !Find(handle, "pa_simple_get_latency", l.simpleGetLatency) || !Find(handle, "pa_strerror", l.strerror)) {
    loaded.error = std::string("cannot play on the sound card: ") + kName + " lacks the functions we use";
  }
  return loaded;  // the library stays loaded for the process
}

}  // namespace

const PulseLibrary* LoadPulseLibrary(std::string* error) {
  static const Loaded loaded = Load();
  if (!loaded.error.empty()) {
    if (error != nullptr) *error = loaded.error;
    return nullptr;
  }
  return &loaded.library;
}

}  // namespace sonter2::host
