// The common half of the command's audio destinations; see the header.
#include "host/audio/audio_destination.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace sonter2::host {

namespace {

// A 100-nanosecond count since 1601-01-01, as FILETIME has it.
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

uint64_t nowAsFileTime() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return kUnixEpochAsFileTime + static_cast<uint64_t>(ts.tv_sec) * 10000000ULL +
         static_cast<uint64_t>(ts.tv_nsec) / 100;
}

bool isOurFormat(const WAVEFORMATEX& f) {
  return f.wFormatTag == 1 && f.nChannels == 1 && f.nSamplesPerSec == kSampleRate &&
         f.nAvgBytesPerSec == kBytesPerSecond && f.nBlockAlign == 2 && f.wBitsPerSample == 16;
}

}  // namespace

void ApplyLevel(uint8_t* data, size_t size, DWORD level) {
  const uint32_t gain = level & 0xFFFF;
  if (gain == 0xFFFF) return;
  for (size_t i = 0; i + 1 < size; i += 2) {
    auto s = static_cast<int16_t>(static_cast<uint16_t>(data[i] | (data[i + 1] << 8)));
    auto scaled = static_cast<int32_t>(s) * static_cast<int32_t>(gain) / 65535;
    auto u = static_cast<uint16_t>(static_cast<int16_t>(scaled));
    data[i] = static_cast<uint8_t>(u & 0xFF);
    data[i + 1] = static_cast<uint8_t>(u >> 8);
  }
}

CAudioDestination::CAudioDestination(Tuning tuning) : tuning_(tuning) {}

CAudioDestination::~CAudioDestination() {
  stopNotifier();
  if (sink_ != nullptr) sink_->Release();
}

void CAudioDestination::startNotifier() {
  std::lock_guard lock(mutex_);
  notifier_ = std::thread([this] { notifierLoop(); });
  notifierId_ = notifier_.get_id();
}

void CAudioDestination::stopNotifier() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    stateCv_.notify_all();
    outputCv_.notify_all();
  }
  if (!notifier_.joinable()) return;
  // The last reference can go from inside one of our own callbacks; then
  // this runs on the notifier, which ends as soon as the callback returns.
  if (onNotifierThread()) {
    notifier_.detach();
  } else {
    notifier_.join();
  }
}

// --- IUnknown ---------------------------------------------------------------

HRESULT CAudioDestination::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IAudio) {
    *ppv = static_cast<IAudio*>(this);
  } else if (riid == IID_IAudioDest) {
    *ppv = static_cast<IAudioDest*>(this);
  } else if (const IID* extra = extraInterface(); extra != nullptr && riid == *extra) {
    *ppv = extraInterfacePointer();
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CAudioDestination::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CAudioDestination::Release() {
  const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) {
    if (notifier_.joinable() && onNotifierThread()) {
      deleteFromNotifier_ = true;  // the notifier deletes us when the callback returns
    } else {
      delete this;
    }
  }
  return left;
}

// --- IAudio -----------------------------------------------------------------

HRESULT CAudioDestination::Flush() {
  {
    std::lock_guard lock(mutex_);
    const uint64_t keep = std::clamp(flushKeepUntilLocked(), heard_, accepted_);
    queue_.resize(static_cast<size_t>(keep - heard_));
    accepted_ = keep;
    readPos_ = std::min(readPos_, keep);
    // Marks behind dropped data will never be heard; the notifier reports
    // them flushed, in order, after the ones already heard.
    for (auto& m : marks_) {
      if (m.offset > keep) m.flushed = true;
    }
    // Every wake-up happens under the lock: once it is let go, a callback
    // may drop the last reference and delete us.
    stateCv_.notify_all();
    outputCv_.notify_all();
  }
  return S_OK;
}

HRESULT CAudioDestination::LevelGet(DWORD* pdwLevel) {
  if (pdwLevel == nullptr) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  *pdwLevel = level_;
  return S_OK;
}

HRESULT CAudioDestination::LevelSet(DWORD dwLevel) {
  std::lock_guard lock(mutex_);
  level_ = dwLevel;
  return S_OK;
}

HRESULT CAudioDestination::PassNotify(PVOID pNotifyInterface, IID iid) {
  auto* sink = static_cast<IAudioDestNotifySink*>(pNotifyInterface);
  if (sink != nullptr && iid != IID_IAudioDestNotifySink) return E_INVALIDARG;
  if (sink != nullptr) sink->AddRef();
  IAudioDestNotifySink* old = nullptr;
  {
    std::unique_lock lock(mutex_);
    old = sink_;
    sink_ = sink;
    // A callback already under way keeps its own reference; wait for it so
    // that the caller may tear its sink down once we return. The wait is
    // bounded in case the caller holds a lock that the callback needs.
    if (!onNotifierThread()) {
      stateCv_.wait_for(lock, std::chrono::seconds(2), [this] { return !inCallback_; });
    }
    stateCv_.notify_all();
  }
  if (old != nullptr) old->Release();
  return S_OK;
}

HRESULT CAudioDestination::PosnGet(PQWORD pqwPosition) {
  if (pqwPosition == nullptr) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  *pqwPosition = reportingPosition_ && onNotifierThread() ? reportedPosition_ : heard_;
  return S_OK;
}

HRESULT CAudioDestination::Claim() {
  std::lock_guard lock(mutex_);
  claimed_ = true;
  return S_OK;
}

HRESULT CAudioDestination::UnClaim() {
  {
    std::lock_guard lock(mutex_);
    claimed_ = false;
    onUnClaimLocked();
    stateCv_.notify_all();
  }
  return S_OK;
}

HRESULT CAudioDestination::Start() {
  {
    std::lock_guard lock(mutex_);
    // Resuming after a Stop, the engine waits for FreeSpace to go on; a
    // first Start is followed by data, and the room it leaves is reported
    // as it is heard.
    if (stoppedSinceStart_) kickFreeSpace_ = true;
    stoppedSinceStart_ = false;
    started_ = true;
    stateCv_.notify_all();
    outputCv_.notify_all();
  }
  return S_OK;
}

HRESULT CAudioDestination::Stop() {
  {
    std::lock_guard lock(mutex_);
    started_ = false;
    stoppedSinceStart_ = true;
    if (playing_) stopRequested_ = true;
    onStopLocked();
    stateCv_.notify_all();
    outputCv_.notify_all();
  }
  return S_OK;
}

HRESULT CAudioDestination::TotalGet(PQWORD pqwTotal) {
  if (pqwTotal == nullptr) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  *pqwTotal = accepted_;
  return S_OK;
}

HRESULT CAudioDestination::ToFileTime(PQWORD pqwTimeStamp, FILETIME* pFT) {
  if (pqwTimeStamp == nullptr || pFT == nullptr) return E_INVALIDARG;
  uint64_t heard = 0;
  {
    std::lock_guard lock(mutex_);
    heard = heard_;
  }
  // The moment that position was or will be heard, at the stream's rate.
  const auto delta = static_cast<int64_t>(*pqwTimeStamp) - static_cast<int64_t>(heard);
  const uint64_t when = nowAsFileTime() + static_cast<uint64_t>(delta * 10000000LL / kBytesPerSecond);
  pFT->dwLowDateTime = static_cast<DWORD>(when & 0xFFFFFFFF);
  pFT->dwHighDateTime = static_cast<DWORD>(when >> 32);
  return S_OK;
}

HRESULT CAudioDestination::WaveFormatGet(PSDATA pdWFEX) {
  if (pdWFEX == nullptr || pdWFEX->pData == nullptr || pdWFEX->dwSize < sizeof(WAVEFORMATEX)) {
    return E_INVALIDARG;
  }
  const WAVEFORMATEX f{1, 1, kSampleRate, kBytesPerSecond, 2, 16, 0};
  std::memcpy(pdWFEX->pData, &f, sizeof f);
  pdWFEX->dwSize = sizeof f;
  return S_OK;
}

HRESULT CAudioDestination::WaveFormatSet(SDATA dWFEX) {
  // The 16-byte PCM form has no cbSize; the 18-byte form must say 0 extra.
  if (dWFEX.pData == nullptr || dWFEX.dwSize < 16) return E_INVALIDARG;
  WAVEFORMATEX f{};
  std::memcpy(&f, dWFEX.pData, std::min<size_t>(dWFEX.dwSize, sizeof f));
  if (!isOurFormat(f) || (dWFEX.dwSize >= sizeof f && f.cbSize != 0)) return kAudioFormatRefused;
  return S_OK;
}

// --- IAudioDest -------------------------------------------------------------

DWORD CAudioDestination::freeBytesLocked() const {
  const uint64_t unheard = accepted_ - heard_;
  return unheard >= tuning_.bufferBytes ? 0 : static_cast<DWORD>(tuning_.bufferBytes - unheard);
}

HRESULT CAudioDestination::FreeSpace(DWORD* pdwBytes, BOOL* pfEOF) {
  if (pdwBytes == nullptr) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  *pdwBytes = freeBytesLocked();
  if (pfEOF != nullptr) *pfEOF = 0;
  return S_OK;
}

HRESULT CAudioDestination::DataSet(PVOID pBuffer, DWORD dwSize) {
  if (pBuffer == nullptr && dwSize != 0) return E_INVALIDARG;
  if (dwSize % 2 != 0) return E_INVALIDARG;  // whole samples only
  if (dwSize == 0) return S_OK;
  std::vector<uint8_t> bytes(static_cast<uint8_t*>(pBuffer), static_cast<uint8_t*>(pBuffer) + dwSize);
  HRESULT hr = S_OK;
  {
    std::lock_guard lock(mutex_);
    bool take = accepted_ - heard_ < tuning_.bufferBytes;
    if (reofferAllowed_) {
      // After a refusal the engine keeps the chunk and offers it again from
      // inside the next FreeSpace call, sized by what that call reported.
      // Take that offer even if the room has shrunk meanwhile (the engine
      // drops a re-offer we refuse), and nothing else before it, so that
      // chunks cannot overtake the kept one.
      take = onNotifierThread() && inFreeSpace_ && dwSize <= reportedFree_;
    }
    if (!take) {
      refusedSinceReport_ = true;
      reofferAllowed_ = true;
      hr = kAudioBufferFull;
    } else {
      ApplyLevel(bytes.data(), bytes.size(), level_);
      hr = acceptLocked(bytes.data(), bytes.size());
      reofferAllowed_ = false;
    }
    if (inFreeSpace_ && onNotifierThread()) (take ? acceptedInCall_ : refusedInCall_) = true;
    stateCv_.notify_all();
    outputCv_.notify_all();
  }
  return hr;
}

HRESULT CAudioDestination::BookMark(DWORD dwMarkID) {
  {
    std::lock_guard lock(mutex_);
    marks_.push_back({accepted_, dwMarkID, false});
    stateCv_.notify_all();
  }
  return S_OK;
}

HRESULT CAudioDestination::acceptLocked(const uint8_t* data, size_t size) {
  queue_.insert(queue_.end(), data, data + size);
  accepted_ += size;
  return S_OK;
}

// --- For subclasses -----------------------------------------------------------

size_t CAudioDestination::takeUnsentLocked(uint8_t* out, size_t max) {
  const size_t n = static_cast<size_t>(std::min<uint64_t>(max, accepted_ - readPos_));
  auto from = queue_.begin() + static_cast<std::ptrdiff_t>(readPos_ - heard_);
  std::copy(from, from + static_cast<std::ptrdiff_t>(n), out);
  readPos_ += n;
  return n;
}

void CAudioDestination::setHeardLocked(uint64_t position) {
  position = std::min(position, readPos_);
  if (position <= heard_) return;
  queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(position - heard_));
  heard_ = position;
  stateCv_.notify_all();
}

void CAudioDestination::failLocked(const std::string& message) {
  if (!failed_) error_ = message;
  failed_ = true;
}

std::string CAudioDestination::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

bool CAudioDestination::drain(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return stateCv_.wait_for(lock, timeout, [this] { return heard_ >= accepted_ && marks_.empty() && !inCallback_; });
}

// --- The notification thread ----------------------------------------------------

CAudioDestination::Pass CAudioDestination::collectLocked() {
  Pass pass;
  if (!playing_ && heard_ > idleHeard_) {
    playing_ = true;
    pass.audioStart = true;
    pass.startPosition = idleHeard_;
  }
  while (!marks_.empty() && (marks_.front().flushed || marks_.front().offset <= heard_)) {
    pass.marks.push_back(marks_.front());
    marks_.pop_front();
  }
  if (started_ && sink_ != nullptr) {
    const DWORD free = freeBytesLocked();
    // The engine goes on only when told of room: after Start, after it was
    // refused, after a call in which it handed data over without being
    // refused (it may have stopped at a re-offer, or at a file's limit per
    // call), whenever enough has been heard, and when the queue runs low
    // after the engine's priming stopped short of filling it.
    const bool progressed = heard_ - heardAtReport_ >= tuning_.freeSpaceStep ||
                            (heard_ > heardAtReport_ && accepted_ - heard_ < tuning_.freeSpaceStep);
    const bool owed = refusedSinceReport_ || continueFreeSpace_ || progressed;
    if (free > 0 && (kickFreeSpace_ || (owed && free >= tuning_.freeSpaceStep))) {
      pass.freeSpace = true;
      pass.freeBytes = free;
      kickFreeSpace_ = false;
      refusedSinceReport_ = false;
      continueFreeSpace_ = false;
      heardAtReport_ = heard_;
    }
  }
  if (playing_ && (stopRequested_ || (!claimed_ && heard_ >= accepted_))) {
    playing_ = false;
    idleHeard_ = heard_;
    pass.audioStop = true;
    pass.stopReason = stopRequested_ ? kStopReasonStopped : kStopReasonNoData;
  }
  stopRequested_ = false;
  return pass;
}

void CAudioDestination::deliver(const Pass& pass, IAudioDestNotifySink* sink, std::unique_lock<std::mutex>& lock) {
  // Each call is made unlocked, and only while the sink is still the one
  // given: PassNotify(NULL) from inside a callback ends the pass.
  auto call = [&](auto&& f) {
    if (sink == nullptr || sink_ != sink) return;
    lock.unlock();
    f();
    lock.lock();
  };
  auto callAt = [&](uint64_t position, auto&& f) {
    reportingPosition_ = true;
    reportedPosition_ = position;
    call(f);
    reportingPosition_ = false;
  };
  if (pass.audioStart) callAt(pass.startPosition, [&] { sink->AudioStart(); });
  for (const Mark& m : pass.marks) callAt(m.offset, [&] { sink->BookMark(m.id, m.flushed ? 1 : 0); });
  if (pass.freeSpace) {
    inFreeSpace_ = true;
    reportedFree_ = pass.freeBytes;
    acceptedInCall_ = refusedInCall_ = false;
    call([&] { sink->FreeSpace(pass.freeBytes, 0); });
    inFreeSpace_ = false;
    if (acceptedInCall_ && !refusedInCall_) continueFreeSpace_ = true;
  }
  if (pass.audioStop) call([&] { sink->AudioStop(pass.stopReason); });
}

void CAudioDestination::notifierLoop() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    Pass pass = collectLocked();
    if (pass.empty()) {
      stateCv_.wait(lock);
      continue;
    }
    IAudioDestNotifySink* sink = sink_;
    if (sink != nullptr) sink->AddRef();
    inCallback_ = true;
    deliver(pass, sink, lock);
    lock.unlock();
    if (sink != nullptr) sink->Release();
    lock.lock();
    // Only now: PassNotify(NULL) waits for this, and then no reference of
    // ours on the sink is left.
    inCallback_ = false;
    stateCv_.notify_all();
    if (deleteFromNotifier_) {
      lock.unlock();
      delete this;
      return;
    }
  }
}

}  // namespace sonter2::host
