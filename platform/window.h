// Window handles. This platform has no windows of the engine's kind: a
// handle is taken for a window unless it is one of the values that can never
// name one.
#pragma once

#include <cstdint>

namespace sonter2::platform {

// The handle value that stands for a window that no longer exists.
inline void* const kDestroyedWindow = reinterpret_cast<void*>(~uintptr_t{0});

inline bool isWindow(const void* handle) { return handle != nullptr && handle != kDestroyedWindow; }

}  // namespace sonter2::platform
