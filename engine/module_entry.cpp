// The library's entry points: what runs when the library is loaded and
// unloaded, and the functions a client finds by name.

#include <cstdint>
#include <cstring>

#include "synth/voice_database.h"

// The shared variables of the voice database, exported under their own names
// as this process's view of them: the values live in a shared region of their
// own, since a Linux library has no data section shared between processes.
extern "C" {
__attribute__((visibility("default"))) int32_t objCount = 0;
__attribute__((visibility("default"))) uint8_t sharedLenTableBase[sonter2::kLenTableSize] = {};
__attribute__((visibility("default"))) uint8_t sharedNoiseGenBase[sonter2::kNoiseGenSize] = {};
__attribute__((visibility("default"))) uint32_t samplesSize = 0;
}

namespace {

void publishSharedVariables() {
  const sonter2::SharedVariables shared = sonter2::currentSharedVariables();
  objCount = shared.objCount;
  std::memcpy(sharedLenTableBase, shared.sharedLenTableBase.data(), sizeof sharedLenTableBase);
  std::memcpy(sharedNoiseGenBase, shared.sharedNoiseGenBase.data(), sizeof sharedNoiseGenBase);
  samplesSize = shared.samplesSize;
}

// The database is attached before any engine object can exist and detached
// after the last one is gone: at library load and unload.
__attribute__((constructor)) void onLibraryLoad() {
  sonter2::attachDatabase();
  publishSharedVariables();
}

__attribute__((destructor)) void onLibraryUnload() {
  sonter2::detachDatabase();
  publishSharedVariables();
}

}  // namespace
