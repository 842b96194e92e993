// The engine object: construction and destruction, identity and reference
// counting, mode information and the dialogs.
#include "engine/speech.h"

#include <cstdio>

#include "engine/audio_sink.h"
#include "engine/mode_table.h"
#include "engine/module_lock.h"
#include "sonter2/identifiers.h"
#include "platform/codepage.h"
#include "platform/system.h"
#include "platform/window.h"

namespace sonter2 {

namespace {

constexpr size_t kPauseBufferSamples = 32768;
constexpr size_t kFadeBufferSamples = 256;

}  // namespace

CSpeech::CSpeech(const VoiceData* voice) : voice_(voice), synth_(voice, *this, stream_) {
  pauseBuf_.resize(kPauseBufferSamples);
  fadeBuf_.resize(kFadeBufferSamples);
  loadVoiceDefaults();
  lumivoxHost_ = platform::hostHasModule("lumivox.exe");
  loadDictionaries();
  moduleLockAdd();
}

CSpeech::~CSpeech() {
  // The audio side first: registered sinks, the text being generated, the
  // destination's link to our sink, then the audio references.
  std::vector<NotifySinkEntry> sinks;
  {
    std::lock_guard<std::mutex> guard(notifyLock_);
    sinks.swap(notifySinks_);
  }
  for (auto& entry : sinks) entry.sink->Release();
  if (textSink_) textDone(1);
  // Requests still queued are ended as an audio reset ends them, so that no
  // application waits for a text that will never be spoken.
  for (auto& request : pendingRequests_) discardRequest(request);
  pendingRequests_.clear();
  if (audio_) {
    audio_->PassNotify(nullptr, IID_IAudioDestNotifySink);
    audio_.reset();
  }
  if (audioSink_ != nullptr) audioSink_->detach();
  audioDest_.reset();
  audioUnknown_.reset();
  audioSinkRef_.reset();
  releaseMarks();
  moduleLockRelease();
}

HRESULT CSpeech::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IAttributesA || riid == IID_IUnknown) {
    *ppv = static_cast<IAttributesA*>(this);
  } else if (riid == IID_IAttributesW) {
    *ppv = static_cast<IAttributesW*>(this);
  } else if (riid == IID_ITTSAttributesA) {
    *ppv = static_cast<ITTSAttributesA*>(this);
  } else if (riid == IID_ITTSAttributesW) {
    *ppv = static_cast<ITTSAttributesW*>(this);
  } else if (riid == IID_ITTSCentralA) {
    *ppv = static_cast<ITTSCentralA_fix*>(this);
  } else if (riid == IID_ITTSCentralW) {
    *ppv = static_cast<ITTSCentralW_fix*>(this);
  } else if (riid == IID_ITTSDialogsA) {
    *ppv = static_cast<ITTSDialogsA*>(this);
  } else if (riid == IID_ITTSDialogsW) {
    *ppv = static_cast<ITTSDialogsW*>(this);
  } else if (riid == IID_IAudioDestNotifySink) {
    CAudioSink* sink = nullptr;
    {
      std::lock_guard<std::mutex> guard(sinkCreateLock_);
      if (audioSink_ == nullptr) {
        audioSink_ = new (std::nothrow) CAudioSink(this);
        if (audioSink_ == nullptr) return E_OUTOFMEMORY;
      }
      sink = audioSink_;
    }
    return sink->QueryInterface(riid, ppv);
  } else if (riid == IID_IDict) {
    *ppv = static_cast<IDict*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CSpeech::AddRef() { return ++refCount_; }

ULONG CSpeech::Release() {
  ULONG n = --refCount_;
  if (n == 0) delete this;
  return n;
}

bool CSpeech::tryAddRef() {
  ULONG n = refCount_.load();
  while (n != 0) {
    if (refCount_.compare_exchange_weak(n, n + 1)) return true;
  }
  return false;
}

HRESULT CSpeech::ModeGet(PTTSMODEINFOW pMode) {
  if (pMode == nullptr) return E_INVALIDARG;
  *pMode = modeInfo_;
  return S_OK;
}

HRESULT CSpeech::ModeGet(PTTSMODEINFOA pMode) {
  if (pMode == nullptr) return E_INVALIDARG;
  modeInfoToAnsi(modeInfo_, *pMode);
  return S_OK;
}

HRESULT CSpeech::Phoneme(VOICECHARSET, DWORD, SDATA, PSDATA) { return S_OK; }

// There are no windows on this platform: the About text goes to the debug
// trace, where a person debugging a host can see it.
HRESULT CSpeech::AboutDlg(HWND hWndParent, PCSTR pszTitle) {
  if (hWndParent == nullptr) return S_OK;
  if (!platform::isWindow(hWndParent)) return E_INVALIDARG;
  const char* caption = pszTitle != nullptr ? pszTitle : "O programu Vesk";
  char text[161];
  std::snprintf(text, sizeof text, "Vesk\nVerze %d.%02d.%02d", SONTER2_VERSION_MAJOR, SONTER2_VERSION_MINOR,
                SONTER2_VERSION_PATCH);
  platform::traceLine(caption);
  platform::traceLine(text);
  return S_OK;
}

HRESULT CSpeech::AboutDlg(HWND hWndParent, PCWSTR pszTitle) {
  std::string title = "About engine";
  if (pszTitle != nullptr) {
    title = platform::Utf16ToAnsi(pszTitle);
    if (title.size() > 255) title.resize(255);
  }
  return AboutDlg(hWndParent, title.c_str());
}

HRESULT CSpeech::LexiconDlg(HWND, PCSTR) { return S_OK; }
HRESULT CSpeech::LexiconDlg(HWND, PCWSTR) { return S_OK; }
HRESULT CSpeech::GeneralDlg(HWND, PCSTR) { return S_OK; }
HRESULT CSpeech::GeneralDlg(HWND, PCWSTR) { return S_OK; }
HRESULT CSpeech::TranslateDlg(HWND, PCSTR) { return S_OK; }
HRESULT CSpeech::TranslateDlg(HWND, PCWSTR) { return S_OK; }

// Binds the engine to the application's audio object (done once, by the
// mode enumerator's Select).
HRESULT CSpeech::bindAudio(IUnknown* pIUnknownForAudio) {
  if (voice_ == nullptr) return S_FALSE;
  if (pIUnknownForAudio == nullptr) return E_NOINTERFACE;
  ComPtr<IAudio> audio;
  if (FAILED(pIUnknownForAudio->QueryInterface(IID_IAudio, reinterpret_cast<void**>(audio.put())))) {
    return E_NOINTERFACE;
  }
  ComPtr<IAudioDest> dest;
  if (FAILED(pIUnknownForAudio->QueryInterface(IID_IAudioDest, reinterpret_cast<void**>(dest.put())))) {
    return E_NOINTERFACE;
  }
  ComPtr<IAudioFile> file;
  destIsFile_ = SUCCEEDED(dest->QueryInterface(IID_IAudioFile, reinterpret_cast<void**>(file.put())));
  file.reset();

  WAVEFORMATEX format{};
  format.wFormatTag = 1;
  format.nChannels = 1;
  format.nSamplesPerSec = 22050;
  format.nAvgBytesPerSec = 44100;
  format.nBlockAlign = 2;
  format.wBitsPerSample = 16;
  format.cbSize = 0;
  if (FAILED(audio->WaveFormatSet(SDATA{&format, sizeof format}))) return TTSERR_WAVEFORMATREFUSED;

  ComPtr<IAudioDestNotifySink> sink;
  if (FAILED(QueryInterface(IID_IAudioDestNotifySink, reinterpret_cast<void**>(sink.put())))) {
    return E_INVALIDARG;
  }
  audio->PassNotify(sink.get(), IID_IAudioDestNotifySink);
  audio->LevelGet(&deviceVolume_);
  audio_ = std::move(audio);
  audioDest_ = std::move(dest);
  audioSinkRef_ = std::move(sink);
  audioUnknown_ = ComPtr<IUnknown>(pIUnknownForAudio);
  readVolumeFlags();
  return S_OK;
}

}  // namespace sonter2
