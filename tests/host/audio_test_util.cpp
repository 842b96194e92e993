// Helpers for the audio destination tests; see the header.
#include "tests/host/audio_test_util.h"

#include <algorithm>
#include <thread>

namespace sonter2::host::testing {

std::vector<uint8_t> TestStream(size_t bytes) {
  std::vector<uint8_t> out(bytes);
  for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xFF);
  return out;
}

HRESULT RecordingSink::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IAudioDestNotifySink) {
    *ppv = static_cast<IAudioDestNotifySink*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

void RecordingSink::record(SinkEvent e) {
  if (audio_ != nullptr) audio_->PosnGet(&e.position);
  {
    std::lock_guard lock(mutex_);
    events_.push_back(e);
  }
  cv_.notify_all();
  if (onEvent) onEvent(e);
}

HRESULT RecordingSink::AudioStop(WORD wReason) {
  record({SinkEvent::kStop, wReason, false, 0});
  return S_OK;
}
HRESULT RecordingSink::AudioStart() {
  record({SinkEvent::kStart, 0, false, 0});
  return S_OK;
}
HRESULT RecordingSink::FreeSpace(DWORD dwBytes, BOOL) {
  record({SinkEvent::kFreeSpace, dwBytes, false, 0});
  return S_OK;
}
HRESULT RecordingSink::BookMark(DWORD dwMarkID, BOOL fFlushed) {
  record({SinkEvent::kMark, dwMarkID, fFlushed != 0, 0});
  return S_OK;
}

void RecordingSink::poke() {
  { std::lock_guard lock(mutex_); }
  cv_.notify_all();
}

std::vector<SinkEvent> RecordingSink::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

bool RecordingSink::waitFor(const std::function<bool(const std::vector<SinkEvent>&)>& done,
                            std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, timeout, [&] { return done(events_); });
}

size_t CountKind(const std::vector<SinkEvent>& events, SinkEvent::Kind kind) {
  return static_cast<size_t>(std::count_if(events.begin(), events.end(), [&](auto& e) { return e.kind == kind; }));
}

size_t RecordingSink::count(SinkEvent::Kind kind) const {
  std::lock_guard lock(mutex_);
  return CountKind(events_, kind);
}

// --- FakeEngine -------------------------------------------------------------

namespace {
// Varied sizes, all whole samples; 22050 is half a second of silence, more
// than a device keeps queued.
constexpr size_t kChunkSizes[] = {1764, 882, 4410, 22050, 600, 2646, 1000};
constexpr DWORD kLastMarkId = 9999;
constexpr size_t kFileChunkLimit = 1 << 20;
}  // namespace

FakeEngine::FakeEngine(IUnknown* destination, std::vector<uint8_t> stream, bool destIsFile)
    : stream_(std::move(stream)), destIsFile_(destIsFile) {
  destination->QueryInterface(IID_IAudio, reinterpret_cast<void**>(&audio_));
  destination->QueryInterface(IID_IAudioDest, reinterpret_cast<void**>(&dest_));
  setAudio(audio_);
}

FakeEngine::~FakeEngine() {
  if (audio_ != nullptr) {
    audio_->PassNotify(nullptr, IID_IAudioDestNotifySink);
    audio_->Release();
  }
  if (dest_ != nullptr) dest_->Release();
}

void FakeEngine::speak() {
  const WAVEFORMATEX format{1, 1, 22050, 44100, 2, 16, 0};
  audio_->WaveFormatSet(SDATA{const_cast<WAVEFORMATEX*>(&format), sizeof format});
  audio_->PassNotify(static_cast<IAudioDestNotifySink*>(this), IID_IAudioDestNotifySink);
  audio_->Claim();
  audio_->Start();
  prime();
  poke();
}

void FakeEngine::prime() {
  std::lock_guard lock(pumpLock_);
  // Like the engine's TextData on an idle engine: a FreeSpace that came
  // before this found nothing to do.
  spoken_ = true;
  idle_ = false;
  QWORD pos0 = 0, pos1 = 0;
  audio_->PosnGet(&pos0);
  moreToCome_ = stepLocked();
  audio_->PosnGet(&pos1);
  while (pending_.empty() && moreToCome_ && pos1 == pos0) {
    moreToCome_ = stepLocked();
    audio_->PosnGet(&pos1);
  }
  if (!moreToCome_ && pending_.empty()) {
    audio_->UnClaim();
    idle_ = true;
  }
}

HRESULT FakeEngine::FreeSpace(DWORD dwBytes, BOOL fEOF) {
  RecordingSink::FreeSpace(dwBytes, fEOF);
  pump(dwBytes);
  poke();
  return S_OK;
}

void FakeEngine::pump(DWORD dwBytes) {
  std::lock_guard lock(pumpLock_);
  if (!pending_.empty()) {
    // Offered once, dropped whatever the answer: a refusal here loses
    // audio, which the content checks of the tests would show.
    const size_t n = std::min<size_t>(pending_.size(), dwBytes);
    if (FAILED(dest_->DataSet(pending_.data(), static_cast<DWORD>(n)))) lostBytes_ += n;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
    return;
  }
  const size_t before = next_;
  while (moreToCome_) {
    if (destIsFile_ ? next_ - before >= kFileChunkLimit : !pending_.empty()) break;
    moreToCome_ = stepLocked();
  }
  if (!moreToCome_ && pending_.empty()) {
    audio_->UnClaim();  // every such call, as the engine's pump does
    idle_ = true;
  }
}

bool FakeEngine::stepLocked() {
  if (next_ == stream_.size()) {
    // The end is a step of its own, as the engine's text-finished mark is:
    // it starts only when nothing refused is waiting.
    marks_.push_back({kLastMarkId, next_});
    dest_->BookMark(kLastMarkId);
    return false;
  }
  if (chunkIndex_ % 4 == 0) {
    const auto id = static_cast<DWORD>(chunkIndex_ / 4 + 1);
    marks_.push_back({id, next_});
    dest_->BookMark(id);
  }
  const size_t size = std::min(kChunkSizes[chunkIndex_ % std::size(kChunkSizes)], stream_.size() - next_);
  ++chunkIndex_;
  deliverLocked(stream_.data() + next_, size);
  next_ += size;
  return true;
}

void FakeEngine::deliverLocked(const uint8_t* data, size_t size) {
  if (SUCCEEDED(dest_->DataSet(const_cast<uint8_t*>(data), static_cast<DWORD>(size)))) return;
  ++refusals_;
  pending_.insert(pending_.end(), data, data + size);
}

bool FakeEngine::finished() const {
  std::lock_guard lock(pumpLock_);
  return spoken_ && idle_ && !moreToCome_;
}

std::vector<FakeEngine::MarkAt> FakeEngine::marks() const {
  std::lock_guard lock(pumpLock_);
  return marks_;
}

bool FakeEngine::waitForRefusal(std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (refusals_ == 0) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace sonter2::host::testing
