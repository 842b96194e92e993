#include "engine/module_lock.h"

#include <atomic>

namespace sonter2 {

namespace {
std::atomic<int32_t> lockCount{0};
}

void moduleLockAdd() { lockCount.fetch_add(1); }
void moduleLockRelease() { lockCount.fetch_sub(1); }
int32_t moduleLockCount() { return lockCount.load(); }

}  // namespace sonter2
