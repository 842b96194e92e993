// The module's lock count: living objects of the library plus the class
// factory's locks. The library may be unloaded only when it is 0.
#pragma once

#include <cstdint>

namespace sonter2 {

void moduleLockAdd();
void moduleLockRelease();
int32_t moduleLockCount();

}  // namespace sonter2
