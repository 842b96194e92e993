// Small POSIX helpers shared by the file and stream destinations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sonter2::host {

// Writes all of `size` bytes, retrying after signals and short writes.
// On failure returns false with errno set.
bool WriteAll(int fd, const uint8_t* data, size_t size);
// pwrite of a little-endian 32-bit value.
bool WriteLe32At(int fd, uint32_t value, long long offset);
// "what: strerror(errno)".
std::string ErrnoMessage(const std::string& what);

}  // namespace sonter2::host
