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

std::string PathFromUtf16(const char16_t* path) {
  std::string out;
  for (size_t i = 0; path[i] != 0; ++i) {
    char32_t c = path[i];
    if (c >= 0xD800 && c < 0xDC00 && path[i + 1] >= 0xDC00 && path[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (path[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace sonter2::host
