// The engine's notification sink, given to the audio destination: free space,
// marks reached, audio started and stopped. It holds no counted reference to
// the engine, so no cycle arises through the audio object; the engine clears
// the pointer when it goes away, and later notifications do nothing.
#pragma once

#include <atomic>
#include <mutex>

#include "engine/speech_api.h"

namespace sonter2 {

class CSpeech;

class CAudioSink final : public IAudioDestNotifySink {
 public:
  explicit CAudioSink(CSpeech* engine);
  CAudioSink(const CAudioSink&) = delete;
  CAudioSink& operator=(const CAudioSink&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE AudioStop(WORD wReason) override;
  HRESULT STDMETHODCALLTYPE AudioStart() override;
  HRESULT STDMETHODCALLTYPE FreeSpace(DWORD dwBytes, BOOL fEOF) override;
  HRESULT STDMETHODCALLTYPE BookMark(DWORD dwMarkID, BOOL fFlushed) override;

  // Called by the engine's destructor: no notification reaches it afterwards.
  void detach();

 private:
  ~CAudioSink();
  // The engine with a reference held for the length of one notification, or
  // null when it is gone or going.
  CSpeech* lockEngine();

  std::atomic<ULONG> refCount_{0};
  std::mutex engineLock_;
  CSpeech* engine_;
};

}  // namespace sonter2
