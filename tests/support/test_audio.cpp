// The scriptable test audio object and the recording sinks.
#include "tests/support/test_audio.h"

#include <chrono>
#include <cstring>

namespace sonter2::test {

TestAudio::TestAudio() : TestAudio(Options{}) {}

TestAudio::TestAudio(Options options) : options_(options), level_(options.level) {
  if (options_.ownThread) worker_ = std::thread([this] { workerLoop(); });
}

TestAudio::~TestAudio() {
  if (worker_.joinable()) {
    {
      std::lock_guard<std::mutex> guard(queueMutex_);
      stop_ = true;
    }
    queueCv_.notify_all();
    worker_.join();
  }
  std::lock_guard<std::mutex> guard(mutex_);
  if (sink_ != nullptr) sink_->Release();
}

HRESULT TestAudio::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IAudio) {
    *ppv = static_cast<IAudio*>(this);
  } else if (riid == IID_IAudioDest && !options_.noAudioDest) {
    *ppv = static_cast<IAudioDest*>(this);
  } else if (riid == IID_IAudioFile && options_.offerFile) {
    *ppv = static_cast<IAudioFile*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG TestAudio::AddRef() { return ++refCount_; }
ULONG TestAudio::Release() { return --refCount_; }

void TestAudio::log(std::string entry) {
  std::lock_guard<std::mutex> guard(mutex_);
  calls_.push_back(std::move(entry));
}

HRESULT TestAudio::Flush() {
  std::deque<Mark> flushed;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    calls_.push_back("Flush");
    consumed_ = accepted_.size();
    flushed.swap(marks_);
  }
  for (const Mark& m : flushed) {
    notify([this, id = m.id] { callSink([id](IAudioDestNotifySink* s) { s->BookMark(id, 1); }); });
  }
  return S_OK;
}

HRESULT TestAudio::LevelGet(DWORD* pdwLevel) {
  std::lock_guard<std::mutex> guard(mutex_);
  calls_.push_back("LevelGet");
  *pdwLevel = level_;
  return S_OK;
}

HRESULT TestAudio::LevelSet(DWORD dwLevel) {
  std::lock_guard<std::mutex> guard(mutex_);
  char buf[32];
  std::snprintf(buf, sizeof buf, "LevelSet %08X", dwLevel);
  calls_.push_back(buf);
  level_ = dwLevel;
  return S_OK;
}

HRESULT TestAudio::PassNotify(PVOID pNotifyInterface, IID iid) {
  if (iid != IID_IAudioDestNotifySink) return E_INVALIDARG;
  IAudioDestNotifySink* old = nullptr;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    calls_.push_back(pNotifyInterface ? "PassNotify" : "PassNotify NULL");
    old = sink_;
    sink_ = static_cast<IAudioDestNotifySink*>(pNotifyInterface);
    if (sink_ != nullptr) sink_->AddRef();
  }
  if (old != nullptr) old->Release();
  return S_OK;
}

HRESULT TestAudio::PosnGet(PQWORD pqwPosition) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (options_.logPosnGet) calls_.push_back("PosnGet");
  *pqwPosition = position_;
  return S_OK;
}

HRESULT TestAudio::Claim() {
  log("Claim");
  return S_OK;
}
HRESULT TestAudio::UnClaim() {
  log("UnClaim");
  return S_OK;
}
HRESULT TestAudio::Start() {
  std::lock_guard<std::mutex> guard(mutex_);
  calls_.push_back("Start");
  started_ = true;
  return S_OK;
}
HRESULT TestAudio::Stop() {
  std::lock_guard<std::mutex> guard(mutex_);
  calls_.push_back("Stop");
  started_ = false;
  return S_OK;
}
HRESULT TestAudio::TotalGet(PQWORD pqwTotal) {
  std::lock_guard<std::mutex> guard(mutex_);
  *pqwTotal = accepted_.size();
  return S_OK;
}
HRESULT TestAudio::ToFileTime(PQWORD pqwTimeStamp, FILETIME* pFT) {
  log("ToFileTime");
  if (pqwTimeStamp == nullptr || pFT == nullptr) return E_INVALIDARG;
  pFT->dwLowDateTime = static_cast<DWORD>(*pqwTimeStamp);
  pFT->dwHighDateTime = static_cast<DWORD>(*pqwTimeStamp >> 32);
  return S_OK;
}
HRESULT TestAudio::WaveFormatGet(PSDATA) { return E_NOTIMPL; }

HRESULT TestAudio::WaveFormatSet(SDATA dWFEX) {
  log("WaveFormatSet");
  if (options_.refuseFormat) return E_FAIL;
  if (dWFEX.pData == nullptr || dWFEX.dwSize != sizeof(WAVEFORMATEX)) return E_INVALIDARG;
  WAVEFORMATEX f;
  std::memcpy(&f, dWFEX.pData, sizeof f);
  bool ok = f.wFormatTag == 1 && f.nChannels == 1 && f.nSamplesPerSec == 22050 && f.nAvgBytesPerSec == 44100 &&
            f.nBlockAlign == 2 && f.wBitsPerSample == 16 && f.cbSize == 0;
  return ok ? S_OK : E_INVALIDARG;
}

HRESULT TestAudio::FreeSpace(DWORD* pdwBytes, BOOL* pfEOF) {
  std::lock_guard<std::mutex> guard(mutex_);
  size_t queued = accepted_.size() - consumed_;
  if (pdwBytes) *pdwBytes = options_.capacity == SIZE_MAX ? 0x10000 : static_cast<DWORD>(options_.capacity - queued);
  if (pfEOF) *pfEOF = 0;
  return S_OK;
}

HRESULT TestAudio::DataSet(PVOID pBuffer, DWORD dwSize) {
  std::lock_guard<std::mutex> guard(mutex_);
  calls_.push_back("DataSet " + std::to_string(dwSize));
  size_t queued = accepted_.size() - consumed_;
  if (refuse_ > 0 || (options_.capacity != SIZE_MAX && queued + dwSize > options_.capacity)) {
    if (refuse_ > 0) --refuse_;
    ++refusals_;
    calls_.back() += " refused";
    return E_FAIL;
  }
  const auto* bytes = static_cast<const uint8_t*>(pBuffer);
  accepted_.insert(accepted_.end(), bytes, bytes + dwSize);
  if (options_.positionIsWritten) position_ += dwSize;
  return S_OK;
}

HRESULT TestAudio::BookMark(DWORD dwMarkID) {
  std::lock_guard<std::mutex> guard(mutex_);
  calls_.push_back("BookMark " + std::to_string(dwMarkID));
  marks_.push_back(Mark{accepted_.size(), dwMarkID});
  return S_OK;
}

void TestAudio::callSink(const std::function<void(IAudioDestNotifySink*)>& call) {
  IAudioDestNotifySink* sink = nullptr;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    sink = sink_;
    if (sink != nullptr) sink->AddRef();
  }
  if (sink == nullptr) return;
  call(sink);
  sink->Release();
}

void TestAudio::deferNotifications(bool defer) {
  std::lock_guard<std::mutex> guard(mutex_);
  defer_ = defer;
}

void TestAudio::deliverDeferred() {
  std::deque<std::function<void()>> calls;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    calls.swap(deferred_);
  }
  for (auto& call : calls) notify(std::move(call));
}

void TestAudio::notify(std::function<void()> call) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (defer_) {
      deferred_.push_back(std::move(call));
      return;
    }
  }
  if (!options_.ownThread) {
    call();
    return;
  }
  {
    std::lock_guard<std::mutex> guard(queueMutex_);
    queue_.push_back(std::move(call));
  }
  queueCv_.notify_all();
}

void TestAudio::workerLoop() {
  std::unique_lock<std::mutex> lock(queueMutex_);
  while (true) {
    if (options_.autoPlayBytes > 0) {
      queueCv_.wait_for(lock, std::chrono::milliseconds(1), [this] { return stop_ || !queue_.empty(); });
    } else {
      queueCv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    }
    if (stop_) return;
    if (queue_.empty()) {
      lock.unlock();
      bool playing;
      {
        std::lock_guard<std::mutex> guard(mutex_);
        playing = started_;
      }
      if (playing) play(options_.autoPlayBytes);
      lock.lock();
      continue;
    }
    auto call = std::move(queue_.front());
    queue_.pop_front();
    ++busy_;
    lock.unlock();
    call();
    lock.lock();
    --busy_;
    if (queue_.empty() && busy_ == 0) idleCv_.notify_all();
  }
}

void TestAudio::waitIdle() {
  if (!options_.ownThread) return;
  std::unique_lock<std::mutex> lock(queueMutex_);
  idleCv_.wait(lock, [this] { return stop_ || (queue_.empty() && busy_ == 0); });
}

void TestAudio::play(size_t bytes) {
  // Playback walks up to each mark in turn, so a mark is reported with the
  // position at which it is heard.
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t target = consumed_ + std::min<uint64_t>(bytes, accepted_.size() - consumed_);
  while (!marks_.empty() && marks_.front().at <= target) {
    const Mark m = marks_.front();
    marks_.pop_front();
    if (m.at > consumed_) {
      position_ += m.at - consumed_;
      consumed_ = m.at;
    }
    lock.unlock();
    notify([this, id = m.id] { callSink([id](IAudioDestNotifySink* s) { s->BookMark(id, 0); }); });
    lock.lock();
  }
  if (target > consumed_) {
    position_ += target - consumed_;
    consumed_ = target;
  }
  const size_t queued = accepted_.size() - consumed_;
  const DWORD free = options_.capacity == SIZE_MAX ? 0x10000 : static_cast<DWORD>(options_.capacity - queued);
  lock.unlock();
  sendFreeSpace(free);
}

void TestAudio::drain(int rounds) {
  for (int i = 0; i < rounds; ++i) {
    size_t before, refusedBefore;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      before = accepted_.size();
      refusedBefore = refusals_;
    }
    play();
    waitIdle();
    std::lock_guard<std::mutex> guard(mutex_);
    // Done when a round moved nothing; a refused offer moves nothing either,
    // but the engine keeps what was refused for the next FreeSpace.
    if (accepted_.size() == before && consumed_ == accepted_.size() && marks_.empty() && refusals_ == refusedBefore) {
      return;
    }
  }
}

void TestAudio::sendFreeSpace(DWORD bytes) {
  notify([this, bytes] { callSink([bytes](IAudioDestNotifySink* s) { s->FreeSpace(bytes, 0); }); });
}
void TestAudio::sendAudioStart() {
  notify([this] { callSink([](IAudioDestNotifySink* s) { s->AudioStart(); }); });
}
void TestAudio::sendAudioStop() {
  notify([this] { callSink([](IAudioDestNotifySink* s) { s->AudioStop(0); }); });
}

void TestAudio::refuseNext(int count) {
  std::lock_guard<std::mutex> guard(mutex_);
  refuse_ = count;
}

std::vector<std::string> TestAudio::calls() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return calls_;
}
void TestAudio::clearCalls() {
  std::lock_guard<std::mutex> guard(mutex_);
  calls_.clear();
}
std::vector<int16_t> TestAudio::samples() const {
  std::lock_guard<std::mutex> guard(mutex_);
  std::vector<int16_t> out(accepted_.size() / 2);
  std::memcpy(out.data(), accepted_.data(), out.size() * 2);
  return out;
}
size_t TestAudio::queuedBytes() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return accepted_.size() - consumed_;
}
QWORD TestAudio::position() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return position_;
}
DWORD TestAudio::level() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return level_;
}
bool TestAudio::hasSink() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return sink_ != nullptr;
}

// --- sinks ---

HRESULT TestBufSink::QueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IUnknown || riid == IID_ITTSBufNotifySink) {
    *ppv = static_cast<ITTSBufNotifySink*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

void TestBufSink::record(std::string event, QWORD pos) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    events_.push_back(event);
    positions_.push_back(pos);
  }
  if (onEvent) onEvent(event);
}

HRESULT TestBufSink::TextDataDone(QWORD pos, DWORD flags) {
  record("done " + std::to_string(flags), pos);
  return S_OK;
}
HRESULT TestBufSink::TextDataStarted(QWORD pos) {
  record("started", pos);
  return S_OK;
}
HRESULT TestBufSink::BookMark(QWORD pos, DWORD mark) {
  record("bookmark " + std::to_string(mark), pos);
  return S_OK;
}
HRESULT TestBufSink::WordPosition(QWORD pos, DWORD offset) {
  record("word " + std::to_string(offset), pos);
  return S_OK;
}
std::vector<std::string> TestBufSink::events() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return events_;
}
std::vector<QWORD> TestBufSink::positions() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return positions_;
}

HRESULT TestNotifySink::QueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IUnknown || riid == IID_ITTSNotifySinkW) {
    *ppv = static_cast<ITTSNotifySinkW*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT TestNotifySink::AttribChanged(DWORD which) {
  std::string e = "attrib " + std::to_string(which);
  {
    std::lock_guard<std::mutex> guard(mutex_);
    events_.push_back(e);
  }
  if (onEvent) onEvent(e);
  return S_OK;
}
HRESULT TestNotifySink::AudioStart(QWORD) {
  std::lock_guard<std::mutex> guard(mutex_);
  events_.push_back("audio start");
  return S_OK;
}
HRESULT TestNotifySink::AudioStop(QWORD) {
  std::lock_guard<std::mutex> guard(mutex_);
  events_.push_back("audio stop");
  return S_OK;
}
std::vector<std::string> TestNotifySink::events() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return events_;
}

}  // namespace sonter2::test
