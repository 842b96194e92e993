// The engine's notification sink.
#include "engine/audio_sink.h"

#include "engine/module_lock.h"
#include "engine/speech.h"

namespace sonter2 {

CAudioSink::CAudioSink(CSpeech* engine) : engine_(engine) { moduleLockAdd(); }

CAudioSink::~CAudioSink() { moduleLockRelease(); }

HRESULT CAudioSink::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IAudioDestNotifySink) {
    *ppv = static_cast<IAudioDestNotifySink*>(this);
    AddRef();
    return S_OK;
  }
  CSpeech* engine = lockEngine();
  if (engine == nullptr) return E_NOINTERFACE;
  HRESULT hr = engine->QueryInterface(riid, ppv);
  engine->Release();
  return hr;
}

ULONG CAudioSink::AddRef() { return ++refCount_; }

ULONG CAudioSink::Release() {
  ULONG n = --refCount_;
  if (n == 0) delete this;
  return n;
}

void CAudioSink::detach() {
  std::lock_guard<std::mutex> guard(engineLock_);
  engine_ = nullptr;
}

CSpeech* CAudioSink::lockEngine() {
  std::lock_guard<std::mutex> guard(engineLock_);
  if (engine_ == nullptr || !engine_->tryAddRef()) return nullptr;
  return engine_;
}

HRESULT CAudioSink::AudioStop(WORD) {
  if (CSpeech* engine = lockEngine()) {
    engine->onAudioStop();
    engine->Release();
  }
  return S_OK;
}

HRESULT CAudioSink::AudioStart() {
  if (CSpeech* engine = lockEngine()) {
    engine->onAudioStart();
    engine->Release();
  }
  return S_OK;
}

HRESULT CAudioSink::FreeSpace(DWORD dwBytes, BOOL) {
  if (CSpeech* engine = lockEngine()) {
    engine->onFreeSpace(dwBytes);
    engine->Release();
  }
  return S_OK;
}

HRESULT CAudioSink::BookMark(DWORD dwMarkID, BOOL fFlushed) {
  if (CSpeech* engine = lockEngine()) {
    engine->onBookMark(dwMarkID, fFlushed != 0);
    engine->Release();
  }
  return S_OK;
}

}  // namespace sonter2
