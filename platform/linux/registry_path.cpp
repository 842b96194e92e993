// Where the machine's registry file lives on Linux.
#include <cstdlib>

#include "platform/registry.h"

namespace sonter2::platform {

std::string machineRegistryPath() {
  const char* path = std::getenv("SONTER2_REGISTRY");
  if (path != nullptr && *path != '\0') return path;
  return "/etc/sonter2/registry.reg";
}

}  // namespace sonter2::platform
