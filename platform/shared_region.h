// Named shared memory for data that every process on the machine maps once
// it has been built (the decoded voice database), with the locks that let
// processes agree on who builds it. The names vanish only when removed; the
// memory itself lives while any process still maps it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sonter2::platform {

// What tells one version of a file from another: a file replaced, rewritten
// or touched gets a different identity.
struct FileIdentity {
  uint64_t size = 0;
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t mtimeNs = 0;
  bool operator==(const FileIdentity&) const = default;
};

// False when the file cannot be examined.
bool identifyFile(const std::string& path, FileIdentity& identity);

class SharedRegion {
 public:
  SharedRegion() = default;
  ~SharedRegion() { close(); }
  SharedRegion(const SharedRegion&) = delete;
  SharedRegion& operator=(const SharedRegion&) = delete;

  // Opens the named region, creating it empty (size 0) when `create` is set
  // and none exists. Names are given without the leading slash.
  bool open(const std::string& name, bool create);
  // Creates a new region of `size` zero bytes with the memory reserved, so
  // that writing it later cannot fail; false when the name is taken or the
  // memory cannot be had.
  bool create(const std::string& name, size_t size, bool othersMayWrite);
  bool isOpen() const { return fd_ >= 0; }
  void close();

  // False once the name has been removed, though this handle still works.
  bool stillNamed() const;
  size_t size() const;
  // Grows the region to `size` zero bytes, the memory reserved.
  bool reserve(size_t size);

  void* map(size_t size, bool writable) const;
  static void unmap(void* view, size_t size);

  // Byte-range locks between processes, on this handle. The system drops
  // them when the handle is closed or the process dies, killed or not.
  // `timeoutMs` bounds the wait of the exclusive lock.
  bool lockExclusive(uint32_t byte, int timeoutMs);
  bool lockShared(uint32_t byte);
  void unlock(uint32_t byte);
  // True when a process other than this handle's holder locks `byte`.
  bool lockedByOthers(uint32_t byte) const;

  static void remove(const std::string& name);

 private:
  int fd_ = -1;
};

}  // namespace sonter2::platform
