// The mode enumerator.
#include "engine/speech_enum.h"

#include <cstring>
#include <new>

#include "engine/mode_table.h"
#include "engine/module_lock.h"
#include "engine/speech.h"
#include "synth/voice_database.h"

namespace sonter2 {

HRESULT CSpeechEnum::create(IUnknown* outer, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  auto* e = new (std::nothrow) CSpeechEnum(outer);
  if (e == nullptr) return E_OUTOFMEMORY;
  e->inner_.AddRef();
  HRESULT hr = e->inner_.QueryInterface(riid, ppv);
  e->inner_.Release();  // deletes it when the request failed
  return hr;
}

CSpeechEnum::CSpeechEnum(IUnknown* outer) : outer_(outer != nullptr ? outer : &inner_) {
  inner_.self = this;
  moduleLockAdd();
}

CSpeechEnum::~CSpeechEnum() { moduleLockRelease(); }

HRESULT CSpeechEnum::Inner::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown) {
    *ppv = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  if (riid == IID_ITTSEnumW) {
    *ppv = static_cast<ITTSEnumW*>(self);
  } else if (riid == IID_ITTSEnumA) {
    *ppv = static_cast<ITTSEnumA*>(self);
  } else {
    return E_NOINTERFACE;
  }
  self->AddRef();
  return S_OK;
}

ULONG CSpeechEnum::Inner::AddRef() { return ++refCount; }

ULONG CSpeechEnum::Inner::Release() {
  ULONG n = --refCount;
  if (n == 0) delete self;
  return n;
}

const TTSMODEINFOW* CSpeechEnum::nextRecord() {
  if (position_ >= modeTable().size()) return nullptr;
  return &modeTable()[position_++];
}

HRESULT CSpeechEnum::Next(ULONG celt, PTTSMODEINFOW rgelt, ULONG* pceltFetched) {
  if (rgelt == nullptr || (celt != 1 && pceltFetched == nullptr)) return E_INVALIDARG;
  const TTSMODEINFOW* record = nextRecord();
  if (record == nullptr) {
    if (pceltFetched) *pceltFetched = 0;
    std::memset(rgelt, 0, static_cast<size_t>(celt) * sizeof(TTSMODEINFOW));
    return S_FALSE;
  }
  rgelt[0] = *record;
  if (pceltFetched) *pceltFetched = 1;
  return S_OK;
}

// The ANSI enumerator behaves as the Unicode one, with records converted as
// the ANSI ModeGet converts them, so a caller looping until S_FALSE ends.
HRESULT CSpeechEnum::Next(ULONG celt, PTTSMODEINFOA rgelt, ULONG* pceltFetched) {
  if (rgelt == nullptr || (celt != 1 && pceltFetched == nullptr)) return E_INVALIDARG;
  const TTSMODEINFOW* record = nextRecord();
  if (record == nullptr) {
    if (pceltFetched) *pceltFetched = 0;
    std::memset(rgelt, 0, static_cast<size_t>(celt) * sizeof(TTSMODEINFOA));
    return S_FALSE;
  }
  modeInfoToAnsi(*record, rgelt[0]);
  if (pceltFetched) *pceltFetched = 1;
  return S_OK;
}

HRESULT CSpeechEnum::Skip(ULONG) { return S_OK; }

HRESULT CSpeechEnum::Reset() {
  position_ = 0;
  return S_OK;
}

HRESULT CSpeechEnum::Clone(ITTSEnumW** ppenum) {
  if (ppenum == nullptr) return E_POINTER;
  *ppenum = nullptr;
  return create(nullptr, IID_ITTSEnumW, reinterpret_cast<void**>(ppenum));
}

HRESULT CSpeechEnum::Clone(ITTSEnumA** ppenum) {
  if (ppenum == nullptr) return E_POINTER;
  *ppenum = nullptr;
  return create(nullptr, IID_ITTSEnumA, reinterpret_cast<void**>(ppenum));
}

HRESULT CSpeechEnum::Select(GUID gModeID, ITTSCentralW** ppiTTSCentral, LPUNKNOWN pIUnknownForAudio) {
  if (ppiTTSCentral == nullptr) return E_INVALIDARG;
  *ppiTTSCentral = nullptr;
  return selectMode(gModeID, IID_ITTSCentralW, reinterpret_cast<void**>(ppiTTSCentral), pIUnknownForAudio);
}

HRESULT CSpeechEnum::Select(GUID gModeID, ITTSCentralA** ppiTTSCentral, LPUNKNOWN pIUnknownForAudio) {
  if (ppiTTSCentral == nullptr) return E_INVALIDARG;
  *ppiTTSCentral = nullptr;
  return selectMode(gModeID, IID_ITTSCentralA, reinterpret_cast<void**>(ppiTTSCentral), pIUnknownForAudio);
}

HRESULT CSpeechEnum::selectMode(const GUID& modeId, REFIID riid, void** ppv, IUnknown* audio) {
  const TTSMODEINFOW* mode = nullptr;
  for (const auto& m : modeTable()) {
    if (m.gModeID == modeId) mode = &m;
  }
  if (mode == nullptr) return TTSERR_MODENOTFOUND;
  auto* engine = new (std::nothrow) CSpeech(currentVoice());
  if (engine == nullptr) return E_OUTOFMEMORY;
  engine->AddRef();  // held while binding; released on every path
  HRESULT hr = engine->bindAudio(audio);
  if (hr != S_OK) {
    engine->Release();  // a failed Select leaves no engine behind
    return hr;
  }
  engine->setModeInfo(*mode);
  if (FAILED(engine->QueryInterface(riid, ppv))) {
    engine->Release();
    return TTSERR_MODENOTFOUND;
  }
  engine->Release();  // the application now holds the only reference
  return S_OK;
}

}  // namespace sonter2
