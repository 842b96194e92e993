// POSIX shared memory (shm_open, living in /dev/shm) with open-file-description
// locks: unlike process-associated locks they belong to one handle, so a
// process can test whether others hold a lock it holds itself, and they are
// dropped when the holder dies.
#include "platform/shared_region.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace sonter2::platform {

namespace {

std::string shmName(const std::string& name) { return name.starts_with('/') ? name : "/" + name; }

struct flock lockRecord(short type, uint32_t byte) {
  struct flock record{};
  record.l_type = type;
  record.l_whence = SEEK_SET;
  record.l_start = byte;
  record.l_len = 1;
  return record;
}

}  // namespace

bool identifyFile(const std::string& path, FileIdentity& identity) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return false;
  identity.size = static_cast<uint64_t>(st.st_size);
  identity.device = static_cast<uint64_t>(st.st_dev);
  identity.inode = static_cast<uint64_t>(st.st_ino);
  identity.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

bool SharedRegion::open(const std::string& name, bool create) {
  close();
  const int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0);
  fd_ = ::shm_open(shmName(name).c_str(), flags, 0666);
  if (fd_ < 0) return false;
  // The umask must not keep other users' processes from taking the locks.
  if (create) ::fchmod(fd_, 0666);
  return true;
}

bool SharedRegion::create(const std::string& name, size_t size, bool othersMayWrite) {
  close();
  const mode_t mode = othersMayWrite ? 0666 : 0644;
  fd_ = ::shm_open(shmName(name).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd_ < 0) return false;
  ::fchmod(fd_, mode);
  if (!reserve(size)) {
    close();
    remove(name);
    return false;
  }
  return true;
}

void SharedRegion::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool SharedRegion::stillNamed() const {
  struct stat st{};
  return fd_ >= 0 && ::fstat(fd_, &st) == 0 && st.st_nlink > 0;
}

size_t SharedRegion::size() const {
  struct stat st{};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0 || st.st_size < 0) return 0;
  return static_cast<size_t>(st.st_size);
}

bool SharedRegion::reserve(size_t size) {
  if (fd_ < 0) return false;
  if (size == 0) return true;
  // Reserving the pages now turns a full /dev/shm into a failed call here
  // instead of a SIGBUS when the pages are first written.
  return ::posix_fallocate(fd_, 0, static_cast<off_t>(size)) == 0;
}

void* SharedRegion::map(size_t size, bool writable) const {
  if (fd_ < 0 || size == 0) return nullptr;
  const int protection = writable ? PROT_READ | PROT_WRITE : PROT_READ;
  void* view = ::mmap(nullptr, size, protection, MAP_SHARED, fd_, 0);
  return view == MAP_FAILED ? nullptr : view;
}

void SharedRegion::unmap(void* view, size_t size) {
  if (view != nullptr && size != 0) ::munmap(view, size);
}

bool SharedRegion::lockExclusive(uint32_t byte, int timeoutMs) {
  if (fd_ < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  // Polled rather than waited for, so that a holder that never lets go (a
  // stopped process) costs a bounded delay instead of a hang.
  for (;;) {
    struct flock record = lockRecord(F_WRLCK, byte);
    if (::fcntl(fd_, F_OFD_SETLK, &record) == 0) return true;
    if (errno != EAGAIN && errno != EACCES && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
}

bool SharedRegion::lockShared(uint32_t byte) {
  if (fd_ < 0) return false;
  struct flock record = lockRecord(F_RDLCK, byte);
  return ::fcntl(fd_, F_OFD_SETLK, &record) == 0;
}

void SharedRegion::unlock(uint32_t byte) {
  if (fd_ < 0) return;
  struct flock record = lockRecord(F_UNLCK, byte);
  ::fcntl(fd_, F_OFD_SETLK, &record);
}

bool SharedRegion::lockedByOthers(uint32_t byte) const {
  if (fd_ < 0) return false;
  // Locks of this same handle never conflict with the probe, so only other
  // handles (other processes) show up.
  struct flock record = lockRecord(F_WRLCK, byte);
  if (::fcntl(fd_, F_OFD_GETLK, &record) != 0) return true;
  return record.l_type != F_UNLCK;
}

void SharedRegion::remove(const std::string& name) { ::shm_unlink(shmName(name).c_str()); }

}  // namespace sonter2::platform
