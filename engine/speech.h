// The engine object: one synthesizer instance bound to one audio destination
// and one voice mode. It is reached only through the interfaces below; the
// methods check their arguments and forward to the request path, the audio
// protocol, the settings and the synthesis pump, whose code lives in the
// files named after them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/com_ptr.h"
#include "engine/mark_table.h"
#include "engine/speech_api.h"
#include "engine/speech_request.h"
#include "synth/phonetic_stream.h"
#include "synth/synthesizer.h"

namespace sonter2 {

class CAudioSink;
struct VoiceData;

// The two central interfaces share every method but the text-data entries,
// which differ in how they read the text. These layers give each variant its
// own implementation of those two slots.
struct CentralAEntries : ITTSCentralA_fix {
  HRESULT STDMETHODCALLTYPE TextData(VOICECHARSET cs, DWORD flags, SDATA text, PVOID sink, IID iid) override {
    return TextDataFlat(cs, flags, text.pData, text.dwSize, sink, iid);
  }
  HRESULT STDMETHODCALLTYPE TextDataFlat(VOICECHARSET cs, DWORD flags, PVOID text, DWORD size, PVOID sink,
                                         IID iid) override {
    return textDataFlatA(cs, flags, text, size, sink, iid);
  }
  virtual HRESULT textDataFlatA(VOICECHARSET cs, DWORD flags, PVOID text, DWORD size, PVOID sink, IID iid) = 0;
};
struct CentralWEntries : ITTSCentralW_fix {
  HRESULT STDMETHODCALLTYPE TextData(VOICECHARSET cs, DWORD flags, SDATA text, PVOID sink, IID iid) override {
    return TextDataFlat(cs, flags, text.pData, text.dwSize, sink, iid);
  }
  HRESULT STDMETHODCALLTYPE TextDataFlat(VOICECHARSET cs, DWORD flags, PVOID text, DWORD size, PVOID sink,
                                         IID iid) override {
    return textDataFlatW(cs, flags, text, size, sink, iid);
  }
  virtual HRESULT textDataFlatW(VOICECHARSET cs, DWORD flags, PVOID text, DWORD size, PVOID sink, IID iid) = 0;
};

struct NotifySinkEntry {
  IUnknown* sink = nullptr;  // ITTSNotifySinkA or ITTSNotifySinkW, counted
  bool unicode = true;
  uint32_t key = 0;
};

class CSpeech final : public ITTSAttributesA,
                      public ITTSAttributesW,
                      public CentralAEntries,
                      public CentralWEntries,
                      public ITTSDialogsA,
                      public ITTSDialogsW,
                      public IAttributesA,
                      public IAttributesW,
                      public IDict,
                      private SampleSink {
 public:
  // `voice` is this process's voice database, or null when it has none.
  explicit CSpeech(const VoiceData* voice);
  CSpeech(const CSpeech&) = delete;
  CSpeech& operator=(const CSpeech&) = delete;

  // --- IUnknown ---
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // Takes a reference unless the count has already fallen to 0 (the object
  // is being destroyed); used by notifications from the audio thread.
  bool tryAddRef();

  // --- ITTSAttributes (A and W share one implementation) ---
  HRESULT STDMETHODCALLTYPE PitchGet(WORD* pwPitch) override;
  HRESULT STDMETHODCALLTYPE PitchSet(WORD wPitch) override;
  HRESULT STDMETHODCALLTYPE RealTimeGet(DWORD* pdwRealTime) override;
  HRESULT STDMETHODCALLTYPE RealTimeSet(DWORD dwRealTime) override;
  HRESULT STDMETHODCALLTYPE SpeedGet(DWORD* pdwSpeed) override;
  HRESULT STDMETHODCALLTYPE SpeedSet(DWORD dwSpeed) override;
  HRESULT STDMETHODCALLTYPE VolumeGet(DWORD* pdwVolume) override;
  HRESULT STDMETHODCALLTYPE VolumeSet(DWORD dwVolume) override;

  // --- ITTSCentral ---
  HRESULT STDMETHODCALLTYPE Inject(PCSTR pszTag) override;
  HRESULT STDMETHODCALLTYPE Inject(PCWSTR pszTag) override;
  HRESULT STDMETHODCALLTYPE ModeGet(PTTSMODEINFOA pttsInfo) override;
  HRESULT STDMETHODCALLTYPE ModeGet(PTTSMODEINFOW pttsInfo) override;
  HRESULT STDMETHODCALLTYPE Phoneme(VOICECHARSET, DWORD, SDATA, PSDATA) override;
  HRESULT STDMETHODCALLTYPE PosnGet(PQWORD pqwTimeStamp) override;
  HRESULT STDMETHODCALLTYPE ToFileTime(PQWORD pqTimeStamp, FILETIME* pFT) override;
  HRESULT STDMETHODCALLTYPE AudioPause() override;
  HRESULT STDMETHODCALLTYPE AudioResume() override;
  HRESULT STDMETHODCALLTYPE AudioReset() override;
  HRESULT STDMETHODCALLTYPE Register(PVOID pNotifyInterface, IID iid, DWORD* pdwKey) override;
  HRESULT STDMETHODCALLTYPE UnRegister(DWORD dwKey) override;
  HRESULT textDataFlatA(VOICECHARSET cs, DWORD flags, PVOID text, DWORD size, PVOID sink, IID iid) override;
  HRESULT textDataFlatW(VOICECHARSET cs, DWORD flags, PVOID text, DWORD size, PVOID sink, IID iid) override;

  // --- ITTSDialogs ---
  HRESULT STDMETHODCALLTYPE AboutDlg(HWND hWndParent, PCSTR pszTitle) override;
  HRESULT STDMETHODCALLTYPE AboutDlg(HWND hWndParent, PCWSTR pszTitle) override;
  HRESULT STDMETHODCALLTYPE LexiconDlg(HWND, PCSTR) override;
  HRESULT STDMETHODCALLTYPE LexiconDlg(HWND, PCWSTR) override;
  HRESULT STDMETHODCALLTYPE GeneralDlg(HWND, PCSTR) override;
  HRESULT STDMETHODCALLTYPE GeneralDlg(HWND, PCWSTR) override;
  HRESULT STDMETHODCALLTYPE TranslateDlg(HWND, PCSTR) override;
  HRESULT STDMETHODCALLTYPE TranslateDlg(HWND, PCWSTR) override;

  // --- IAttributes (A and W share one implementation) ---
  HRESULT STDMETHODCALLTYPE DWORDGet(DWORD dwAttribute, DWORD* pdwValue) override;
  HRESULT STDMETHODCALLTYPE DWORDSet(DWORD dwAttribute, DWORD dwValue) override;
  HRESULT STDMETHODCALLTYPE StringGet(DWORD, PSTR, DWORD, DWORD*) override;
  HRESULT STDMETHODCALLTYPE StringGet(DWORD, PWSTR, DWORD, DWORD*) override;
  HRESULT STDMETHODCALLTYPE StringSet(DWORD, PCSTR) override;
  HRESULT STDMETHODCALLTYPE StringSet(DWORD, PCWSTR) override;
  HRESULT STDMETHODCALLTYPE MemoryGet(DWORD, PVOID*, DWORD*) override;
  HRESULT STDMETHODCALLTYPE MemorySet(DWORD, PVOID, DWORD) override;

  // --- IDict ---
  HRESULT STDMETHODCALLTYPE LoadDictionary(PCSTR pszPath) override;
  HRESULT STDMETHODCALLTYPE ResetDictionary() override;

  // --- binding (done by the mode enumerator's Select) ---
  HRESULT bindAudio(IUnknown* pIUnknownForAudio);
  void setModeInfo(const TTSMODEINFOW& info) { modeInfo_ = info; }

  // --- what the destination's notifications do (through CAudioSink) ---
  void onFreeSpace(DWORD freeBytes);
  void onBookMark(DWORD markId, bool flushed);
  void onAudioStart();
  void onAudioStop();

  // --- read-only views for tests and the engine's own checks ---
  bool lumivoxHost() const { return lumivoxHost_; }
  uint32_t speedSetting() const { return speed_; }
  uint16_t pitchSetting() const { return pitch_; }
  size_t pendingBytes() const { return pendingBuf_.size() - pendingStart_; }
  PhoneticStream& stream() { return stream_; }
  Synthesizer& synthesizer() { return synth_; }

 private:
  ~CSpeech();

  // Request path.
  HRESULT textDataCore(VOICECHARSET cs, DWORD flags, const char* text, PVOID sink, const IID& iid, bool ansi);
  HRESULT injectCore(const char* tags);
  void goIdle();

  // Synthesis pump.
  void startUtterance(SpeechRequest request);
  void beginSynthesis();
  bool generateNextChunk();
  void renderPauseChunk();
  bool endUtterance();
  void executeCommand(uint8_t symbol, uint32_t argument);
  void deliver(const int16_t* samples, uint32_t count) override;
  void postMark(uint32_t type, uint32_t value, ITTSBufNotifySink* sink, bool ansi);
  void releaseMarks();
  void silenceMarksOfResetTexts(bool waitForSinkCalls);
  void offerPending(DWORD freeBytes);
  void appendPending(const uint8_t* bytes, size_t count);
  void startNextOrIdle();

  // Notifications.
  void notifyAttribChanged(DWORD which);
  void notifyAudioStartStop(bool start);
  QWORD audioPosition();
  void textDone(DWORD flags);
  void discardRequest(SpeechRequest& request);

  // Settings.
  void loadVoiceDefaults();
  void readVolumeFlags();
  HRESULT applyPitch(uint32_t value);
  HRESULT applySpeed(uint32_t value);

  // Dictionary.
  void loadDictionaries();
  void checkDictionaryId();

  std::atomic<ULONG> refCount_{0};

  // Audio references, taken at binding.
  ComPtr<IAudio> audio_;
  ComPtr<IAudioDest> audioDest_;
  ComPtr<IUnknown> audioUnknown_;
  CAudioSink* audioSink_ = nullptr;  // cached, not counted
  ComPtr<IAudioDestNotifySink> audioSinkRef_;
  std::mutex sinkCreateLock_;

  TTSMODEINFOW modeInfo_{};

  // Request path.
  std::recursive_mutex pumpLock_;
  bool audioClaimed_ = false;
  bool audioStarted_ = false;
  bool audioPaused_ = false;
  bool engineIdle_ = true;
  std::deque<SpeechRequest> pendingRequests_;
  bool lumivoxHost_ = false;

  // Pump.
  std::atomic<bool> busy_{false};
  std::atomic<std::thread::id> busyOwner_{};
  bool moreToCome_ = false;
  bool pausing_ = false;
  int32_t pauseRemainingMs_ = 0;
  std::vector<uint8_t> pendingBuf_;  // refused output, from pendingStart_ on
  size_t pendingStart_ = 0;
  uint32_t chunkBytes_ = 0;
  bool destIsFile_ = false;
  ComPtr<ITTSBufNotifySink> textSink_;  // the current request's sink
  bool textAnsi_ = false;
  std::atomic<uint32_t> textSerial_{0};  // counts utterances, to pair their start and end marks
  std::vector<int16_t> pauseBuf_;
  std::vector<int16_t> fadeBuf_;

  // Marks and sinks.
  std::mutex markLock_;
  MarkTable markTable_;
  ComPtr<ITTSBufNotifySink> playbackSink_;  // guarded by markLock_
  uint32_t playbackSerial_ = 0;
  // Texts up to this serial were reset: their marks, even those reported as
  // heard after the reset, say nothing more to the application.
  uint32_t silencedSerial_ = 0;
  // Playback notifications being delivered to an application sink right now
  // (guarded by markLock_); an audio reset waits for them to end.
  int sinkCallsInFlight_ = 0;
  std::condition_variable sinkCallsDone_;
  std::mutex notifyLock_;
  std::vector<NotifySinkEntry> notifySinks_;
  uint32_t nextSinkKey_ = 0;

  // Settings.
  uint32_t speed_ = 170;
  uint16_t pitch_ = 270;
  uint32_t deviceVolume_ = 0;
  bool monoVolume_ = false;
  bool ignoreVolume_ = false;
  uint32_t attribute1018_ = 0;
  uint32_t dictionaryId_ = 0;

  const VoiceData* voice_;
  PhoneticStream stream_;
  Synthesizer synth_;
};

}  // namespace sonter2
