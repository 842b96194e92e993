// A WAV file as the engine's audio destination; see the header.
#include "host/audio/wav_file_dest.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "host/audio/fd_io.h"
#include "host/audio/wav_header.h"
#include "platform/codepage.h"

namespace sonter2::host {

namespace {
// Nothing is ever refused, so the room reported is what the engine may
// produce in one FreeSpace call; any data written is worth a new call.
constexpr uint32_t kFileRoom = 1u << 20;
// The engine hands over a pitch period or so at a time; writing each one
// by itself spent more time in the kernel than the engine spent speaking.
constexpr size_t kWriteBuffer = 65536;
}  // namespace

CWavFileDest::CWavFileDest() : CAudioDestination(Tuning{kFileRoom, 1}) {}

CWavFileDest* CWavFileDest::create(const std::string& path, std::string* error) {
  auto* dest = new CWavFileDest();
  bool ok = false;
  {
    std::lock_guard lock(dest->mutex_);
    ok = dest->openLocked(path, error);
  }
  if (!ok) {
    delete dest;
    return nullptr;
  }
  dest->startNotifier();
  return dest;
}

CWavFileDest::~CWavFileDest() {
  stopNotifier();
  std::lock_guard lock(mutex_);
  closeLocked();
}

HRESULT CWavFileDest::close() {
  std::lock_guard lock(mutex_);
  closeLocked();
  return failed_ ? kAudioWriteFailed : S_OK;
}

bool CWavFileDest::openLocked(const std::string& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  // Until the sizes are fixed up, the largest ones make a file cut short by
  // a crash still play to its end.
  const auto header = MakeWavHeader(kWavUnknownSize);
  if (fd < 0 || !WriteAll(fd, header.data(), header.size())) {
    if (error != nullptr) *error = ErrnoMessage("cannot write the WAV file " + path);
    if (fd >= 0) ::close(fd);
    return false;
  }
  fd_ = fd;
  path_ = path;
  dataBytes_ = 0;
  return true;
}

void CWavFileDest::writeBufferedLocked() {
  if (buffer_.empty()) return;
  if (WriteAll(fd_, buffer_.data(), buffer_.size())) {
    dataBytes_ += buffer_.size();
  } else {
    failLocked(ErrnoMessage("cannot write the WAV file " + path_));
  }
  buffer_.clear();
}

void CWavFileDest::updateHeaderLocked() {
  if (fd_ < 0) return;
  writeBufferedLocked();
  const auto header = MakeWavHeader(dataBytes_);
  if (::pwrite(fd_, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size())) {
    failLocked(ErrnoMessage("cannot write the WAV file " + path_));
  }
}

void CWavFileDest::closeLocked() {
  if (fd_ < 0) return;
  updateHeaderLocked();
  if (::close(fd_) != 0) failLocked(ErrnoMessage("cannot write the WAV file " + path_));
  fd_ = -1;
}

HRESULT CWavFileDest::acceptLocked(const uint8_t* data, size_t size) {
  HRESULT hr = S_OK;
  if (fd_ < 0) {
    failLocked("the WAV file " + path_ + " is closed");
    hr = kAudioWriteFailed;
  } else {
    // Written in large pieces; UnClaim, IAudioFile::Flush and closing
    // write the rest with the header.
    buffer_.insert(buffer_.end(), data, data + size);
    if (buffer_.size() >= kWriteBuffer) writeBufferedLocked();
    if (failed_) hr = kAudioWriteFailed;
  }
  // Counted as heard even when the write failed, so that the engine runs
  // to its end and the command can report the error instead of waiting.
  accepted_ += size;
  readPos_ = accepted_;
  heard_ = accepted_;
  return hr;
}

// --- IAudioFile ---------------------------------------------------------------

HRESULT CWavFileDest::FileInterface::Set(PCWSTR pszFile, DWORD) {
  if (pszFile == nullptr) return E_INVALIDARG;
  std::lock_guard lock(outer_.mutex_);
  outer_.closeLocked();
  std::string error;
  if (!outer_.openLocked(platform::Utf16ToUtf8(pszFile), &error)) {
    outer_.failLocked(error);
    return E_FAIL;
  }
  return S_OK;
}

// One file at a time is all the command needs: neither a list of files to
// fill in turn nor per-file notifications are offered.
HRESULT CWavFileDest::FileInterface::Register(IAudioFileNotifySink*) { return E_NOTIMPL; }
HRESULT CWavFileDest::FileInterface::Add(PCWSTR, DWORD) { return E_NOTIMPL; }

HRESULT CWavFileDest::FileInterface::Flush() {
  std::lock_guard lock(outer_.mutex_);
  outer_.updateHeaderLocked();
  return outer_.failed_ ? kAudioWriteFailed : S_OK;
}

HRESULT CWavFileDest::FileInterface::RealTimeSet(WORD wRealTime) {
  std::lock_guard lock(outer_.mutex_);
  outer_.realTime_ = wRealTime;  // a file is written as fast as it comes
  return S_OK;
}

HRESULT CWavFileDest::FileInterface::RealTimeGet(WORD* pwRealTime) {
  if (pwRealTime == nullptr) return E_INVALIDARG;
  std::lock_guard lock(outer_.mutex_);
  *pwRealTime = outer_.realTime_;
  return S_OK;
}

}  // namespace sonter2::host
