// The request path: text-data and inject calls, the queue of requests, and
// pause, resume and reset of the audio.
#include <algorithm>
#include <cstring>

#include "engine/control_tags.h"
#include "engine/speech.h"
#include "platform/codepage.h"
#include "platform/system.h"

namespace sonter2 {

namespace {

bool startsWithNoCase(const std::string& text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i], b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

}  // namespace

HRESULT CSpeech::textDataFlatA(VOICECHARSET cs, DWORD flags, PVOID text, DWORD, PVOID sink, IID iid) {
  return textDataCore(cs, flags, static_cast<const char*>(text), sink, iid, true);
}

HRESULT CSpeech::textDataFlatW(VOICECHARSET cs, DWORD flags, PVOID text, DWORD size, PVOID sink, IID iid) {
  if (text == nullptr) return textDataCore(cs, flags, nullptr, sink, iid, false);
  const size_t units = size / 2;
  std::u16string wide(units, u'\0');
  std::memcpy(wide.data(), text, units * 2);
  // Characters the code page lacks reach the analysis as byte 0x01; the text
  // ends at the first NUL or at the end of the buffer.
  std::string bytes = platform::Utf16ToCp1250(wide, platform::kUnconvertible);
  return textDataCore(cs, flags, bytes.c_str(), sink, iid, false);
}

HRESULT CSpeech::textDataCore(VOICECHARSET cs, DWORD flags, const char* text, PVOID sink, const IID& iid,
                              bool ansi) {
  if (cs != CHARSET_TEXT) return TTSERR_BADCHARSET;
  if (text == nullptr) return E_INVALIDARG;
  if (iid != IID_ITTSBufNotifySink) return E_INVALIDARG;

  {
    std::lock_guard<std::recursive_mutex> guard(pumpLock_);
    if (!audioPaused_) {
      if (!audioClaimed_) {
        audio_->Claim();
        audioClaimed_ = true;
      }
      if (!audioStarted_) {
        audio_->Start();
        audioStarted_ = true;
      }
    }
  }
  checkDictionaryId();

  SpeechRequest request;
  request.text = text;
  request.notifySink = static_cast<ITTSBufNotifySink*>(sink);
  request.ansiText = ansi;
  request.tagged = flags == TTSDATAFLAG_TAGGED;
  if (request.notifySink != nullptr) request.notifySink->AddRef();

  // A host of that name expects the first full stop of a text that begins
  // with its bookmark 1100 to be passed over.
  if (lumivoxHost_ && startsWithNoCase(request.text, "\\mrk=1100\\")) {
    if (size_t dot = request.text.find('.'); dot != std::string::npos) request.text[dot] = ' ';
  }

  std::lock_guard<std::recursive_mutex> guard(pumpLock_);
  if (!engineIdle_ || audioPaused_) {
    pendingRequests_.push_back(std::move(request));
    return S_OK;
  }
  QWORD pos0 = 0;
  audio_->PosnGet(&pos0);
  startUtterance(std::move(request));
  QWORD pos1 = 0;
  audio_->PosnGet(&pos1);
  // Prime the destination until playback has begun, it refuses data, or the
  // utterance is complete.
  while (pendingBytes() == 0 && moreToCome_ && pos1 == pos0) {
    moreToCome_ = generateNextChunk();
    audio_->PosnGet(&pos1);
  }
  if (!moreToCome_ && pendingBytes() == 0 && !engineIdle_) goIdle();
  return S_OK;
}

void CSpeech::goIdle() {
  audio_->UnClaim();
  audioClaimed_ = false;
  audioStarted_ = false;
  engineIdle_ = true;
}

HRESULT CSpeech::Inject(PCSTR pszTag) {
  if (pszTag == nullptr) return E_INVALIDARG;
  return injectCore(pszTag);
}

HRESULT CSpeech::Inject(PCWSTR pszTag) {
  if (pszTag == nullptr) return E_INVALIDARG;
  return injectCore(platform::Utf16ToAnsi(pszTag).c_str());
}

HRESULT CSpeech::injectCore(const char* tags) {
  const char* cursor = tags;
  do {
    uint32_t index = 0, value = 0;
    HRESULT hr = ParseControlTag(cursor, index, value);
    if (hr != S_OK) return hr;
    switch (index) {
      case kTagPau: {
        std::lock_guard<std::recursive_mutex> guard(pumpLock_);
        pausing_ = true;
        pauseRemainingMs_ = static_cast<int32_t>(value);
        break;
      }
      case kTagPit:
        PitchSet(static_cast<WORD>(value));
        break;
      case kTagRst: {
        std::lock_guard<std::recursive_mutex> guard(pumpLock_);
        loadVoiceDefaults();
        audio_->LevelSet(deviceVolume_);
        break;
      }
      case kTagSpd:
        SpeedSet(value);
        break;
      case kTagVol:
        VolumeSet(value < 0x10000 ? (value | (value << 16)) : value);
        break;
      default:
        break;
    }
  } while (*cursor != '\0');
  return S_OK;
}

HRESULT CSpeech::AudioPause() {
  std::lock_guard<std::recursive_mutex> guard(pumpLock_);
  if (audioPaused_) return TTSERR_ALREADYPAUSED;
  if (audioStarted_) {
    audio_->Stop();
    audioStarted_ = false;
  }
  if (audioClaimed_) {
    audio_->UnClaim();
    audioClaimed_ = false;
  }
  audioPaused_ = true;
  return S_OK;
}

HRESULT CSpeech::AudioResume() {
  std::lock_guard<std::recursive_mutex> guard(pumpLock_);
  if (!audioPaused_) return TTSERR_NOTPAUSED;
  audio_->Claim();
  audio_->Start();
  audioClaimed_ = true;
  audioStarted_ = true;
  audioPaused_ = false;
  if (engineIdle_ && !pendingRequests_.empty()) {
    SpeechRequest request = std::move(pendingRequests_.front());
    pendingRequests_.pop_front();
    startUtterance(std::move(request));
  }
  return S_OK;
}

HRESULT CSpeech::AudioReset() {
  // First, outside the pump's lock (a sink being told of a mark may call
  // into the engine): no more marks of the texts so far reach their sinks,
  // and those being delivered now have ended when this returns.
  silenceMarksOfResetTexts(true);
  std::lock_guard<std::recursive_mutex> guard(pumpLock_);
  if (audioStarted_) {
    audio_->Stop();
    audioStarted_ = false;
  }
  // Refused bytes of the reset speech must never play after the reset, so
  // they go whether or not the audio was started.
  pendingBuf_.clear();
  pendingStart_ = 0;
  // A pause of the reset text would otherwise go on in silence and hold up
  // the next text.
  pausing_ = false;
  pauseRemainingMs_ = 0;
  silenceMarksOfResetTexts(false);  // a text may have started meanwhile
  platform::traceLine("Flush called");
  audio_->Flush();
  platform::traceLine("Flush returned");
  if (audioClaimed_) {
    audio_->UnClaim();
    audioClaimed_ = false;
  }
  audioPaused_ = false;
  if (textSink_) textDone(1);
  while (!pendingRequests_.empty()) {
    SpeechRequest request = std::move(pendingRequests_.front());
    pendingRequests_.pop_front();
    discardRequest(request);
  }
  engineIdle_ = true;
  stream_.clear();
  return S_OK;
}

// Ends the current text for its sink: TextDataDone with the audio position,
// then the sink is forgotten (and its reference given back).
void CSpeech::textDone(DWORD flags) {
  ComPtr<ITTSBufNotifySink> sink = std::move(textSink_);
  sink->TextDataDone(audioPosition(), flags);
}

// A queued request that will never be spoken: its sink hears TextDataDone
// with flags 1, and the reference taken at acceptance is given back.
void CSpeech::discardRequest(SpeechRequest& request) {
  if (request.notifySink == nullptr) return;
  ComPtr<ITTSBufNotifySink> sink = ComPtr<ITTSBufNotifySink>::adopt(request.notifySink);
  request.notifySink = nullptr;
  sink->TextDataDone(audioPosition(), 1);
}

QWORD CSpeech::audioPosition() {
  QWORD pos = 0;
  if (audio_) audio_->PosnGet(&pos);
  return pos;
}

}  // namespace sonter2
