// The mode enumerator: lists the two voice modes and, on Select, creates an
// engine object bound to the application's audio object. It may live inside
// an outer object (aggregation): then its interfaces delegate identity and
// counting to the outer unknown, and only its inner unknown counts its own.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/speech_api.h"

namespace sonter2 {

class CSpeechEnum final : public ITTSEnumW, public ITTSEnumA {
 public:
  // Creates an enumerator (inside `outer` when given) and asks it for riid.
  static HRESULT create(IUnknown* outer, REFIID riid, void** ppv);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override { return outer_->QueryInterface(riid, ppv); }
  ULONG STDMETHODCALLTYPE AddRef() override { return outer_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return outer_->Release(); }

  HRESULT STDMETHODCALLTYPE Next(ULONG celt, PTTSMODEINFOW rgelt, ULONG* pceltFetched) override;
  HRESULT STDMETHODCALLTYPE Next(ULONG celt, PTTSMODEINFOA rgelt, ULONG* pceltFetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(ITTSEnumW** ppenum) override;
  HRESULT STDMETHODCALLTYPE Clone(ITTSEnumA** ppenum) override;
  HRESULT STDMETHODCALLTYPE Select(GUID gModeID, ITTSCentralW** ppiTTSCentral, LPUNKNOWN pIUnknownForAudio) override;
  HRESULT STDMETHODCALLTYPE Select(GUID gModeID, ITTSCentralA** ppiTTSCentral, LPUNKNOWN pIUnknownForAudio) override;

  uint32_t position() const { return position_; }

 private:
  // The non-delegating unknown: identity and the enumerator's own count.
  struct Inner final : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    CSpeechEnum* self = nullptr;
    std::atomic<ULONG> refCount{0};
  };

  explicit CSpeechEnum(IUnknown* outer);
  ~CSpeechEnum();
  // The record at the position, or null at the end.
  const TTSMODEINFOW* nextRecord();
  // Select's common part: an engine bound to the audio object, asked for riid.
  HRESULT selectMode(const GUID& modeId, REFIID riid, void** ppv, IUnknown* audio);

  Inner inner_;
  IUnknown* outer_;
  uint32_t position_ = 0;
};

}  // namespace sonter2
