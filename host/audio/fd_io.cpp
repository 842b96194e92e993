// Small POSIX helpers shared by the file and stream destinations.
#include "host/audio/fd_io.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sonter2::host {

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteLe32At(int fd, uint32_t value, long long offset) {
  uint8_t b[4];
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(value >> (8 * i));
  return ::pwrite(fd, b, 4, static_cast<off_t>(offset)) == 4;
}

std::string ErrnoMessage(const std::string& what) { return what + ": " + std::strerror(errno); }


}  // namespace sonter2::host
