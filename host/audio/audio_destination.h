// The common half of the command's audio destinations: a reference-counted
// object with IAudio and IAudioDest, a bounded queue of accepted bytes, the
// table of marks, and one notification thread that tells the engine's sink
// about free room, heard marks and the start and stop of the sound.
// Subclasses only move bytes out of the queue (a file, a pipe, a sound
// server) and say how far the listener has heard.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/speech_api.h"

namespace sonter2::host {

// Result codes of our own for the audio side. Callers only look at the sign.
inline constexpr HRESULT kAudioBufferFull = static_cast<HRESULT>(0x80040310);
inline constexpr HRESULT kAudioFormatRefused = static_cast<HRESULT>(0x80040311);
inline constexpr HRESULT kAudioWriteFailed = static_cast<HRESULT>(0x80040312);

// Reasons given with AudioStop.
inline constexpr WORD kStopReasonNoData = 0;    // everything handed over was heard
inline constexpr WORD kStopReasonStopped = 2;   // IAudio::Stop silenced it

// The one format every destination takes: 16-bit mono PCM at 22050 Hz.
inline constexpr uint32_t kSampleRate = 22050;
inline constexpr uint32_t kBytesPerSecond = kSampleRate * 2;

class CAudioDestination : public IAudio, public IAudioDest {
 public:
  CAudioDestination(const CAudioDestination&) = delete;
  CAudioDestination& operator=(const CAudioDestination&) = delete;

  // IUnknown, shared by both interfaces.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IAudio.
  HRESULT STDMETHODCALLTYPE Flush() override;
  HRESULT STDMETHODCALLTYPE LevelGet(DWORD* pdwLevel) override;
  HRESULT STDMETHODCALLTYPE LevelSet(DWORD dwLevel) override;
  HRESULT STDMETHODCALLTYPE PassNotify(PVOID pNotifyInterface, IID iid) override;
  HRESULT STDMETHODCALLTYPE PosnGet(PQWORD pqwPosition) override;
  HRESULT STDMETHODCALLTYPE Claim() override;
  HRESULT STDMETHODCALLTYPE UnClaim() override;
  HRESULT STDMETHODCALLTYPE Start() override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE TotalGet(PQWORD pqwTotal) override;
  HRESULT STDMETHODCALLTYPE ToFileTime(PQWORD pqwTimeStamp, FILETIME* pFT) override;
  HRESULT STDMETHODCALLTYPE WaveFormatGet(PSDATA pdWFEX) override;
  HRESULT STDMETHODCALLTYPE WaveFormatSet(SDATA dWFEX) override;

  // IAudioDest.
  HRESULT STDMETHODCALLTYPE FreeSpace(DWORD* pdwBytes, BOOL* pfEOF) override;
  HRESULT STDMETHODCALLTYPE DataSet(PVOID pBuffer, DWORD dwSize) override;
  HRESULT STDMETHODCALLTYPE BookMark(DWORD dwMarkID) override;

  // For the command, outside the speech API.
  IUnknown* unknown() { return static_cast<IAudio*>(this); }
  // Waits until everything handed over has been heard and every mark
  // reported; false when the time ran out first.
  bool drain(std::chrono::milliseconds timeout);
  // The first output failure ("cannot write to ...: No space left"), or "".
  std::string error() const;
  // Finishes the output: a WAV file or seekable WAV stream gets its true
  // sizes (a file is closed too). Destruction does the same; calling this
  // first lets the command see a failure in error().
  virtual HRESULT close() { return S_OK; }

 protected:
  struct Tuning {
    uint32_t bufferBytes;     // DataSet refuses once this much is unheard
    uint32_t freeSpaceStep;   // report FreeSpace after this much was heard
  };
  explicit CAudioDestination(Tuning tuning);
  virtual ~CAudioDestination();

  // Subclass hooks, all called with mutex_ held.
  // Takes accepted bytes (level already applied). The default queues them
  // for the output thread; a file writes them at once.
  virtual HRESULT acceptLocked(const uint8_t* data, size_t size);
  // Called by Stop; a device silences what it has sent ahead.
  virtual void onStopLocked() {}
  // Called by UnClaim; a file brings its header up to date.
  virtual void onUnClaimLocked() {}
  // Called by Flush: the stream offset up to which data survives (bytes the
  // output has already taken and cannot recall).
  virtual uint64_t flushKeepUntilLocked() { return readPos_; }
  virtual const IID* extraInterface() const { return nullptr; }
  virtual void* extraInterfacePointer() { return nullptr; }

  // For the output thread of a subclass (mutex_ held).
  size_t takeUnsentLocked(uint8_t* out, size_t max);  // advances readPos_
  void setHeardLocked(uint64_t position);             // monotone, <= readPos_
  void failLocked(const std::string& message);        // keeps the first message
  // The notification thread must be started by the most derived
  // constructor and stopped by the destructor before members go away.
  void startNotifier();
  void stopNotifier();

  mutable std::mutex mutex_;
  std::condition_variable outputCv_;  // wakes the subclass's output thread
  std::condition_variable stateCv_;   // wakes the notifier and drain()

  // Stream offsets in bytes: everything accepted ends at accepted_, the
  // output has taken up to readPos_, the listener has heard up to heard_.
  uint64_t accepted_ = 0;
  uint64_t readPos_ = 0;
  uint64_t heard_ = 0;
  std::deque<uint8_t> queue_;  // bytes from heard_ to accepted_
  bool started_ = false;
  bool claimed_ = false;
  bool quit_ = false;
  bool failed_ = false;

 private:
  struct Mark {
    uint64_t offset;
    DWORD id;
    bool flushed;
  };
  struct Pass {
    bool audioStart = false;
    uint64_t startPosition = 0;  // where the sound started
    std::vector<Mark> marks;
    bool freeSpace = false;
    DWORD freeBytes = 0;
    bool audioStop = false;
    WORD stopReason = 0;
    bool empty() const { return !audioStart && marks.empty() && !freeSpace && !audioStop; }
  };

  void notifierLoop();
  Pass collectLocked();
  void deliver(const Pass& pass, IAudioDestNotifySink* sink, std::unique_lock<std::mutex>& lock);
  DWORD freeBytesLocked() const;
  bool onNotifierThread() const { return std::this_thread::get_id() == notifierId_; }

  const Tuning tuning_;
  std::atomic<ULONG> refs_{1};
  std::atomic<bool> deleteFromNotifier_{false};
  std::thread notifier_;
  std::thread::id notifierId_;
  IAudioDestNotifySink* sink_ = nullptr;
  bool inCallback_ = false;
  std::deque<Mark> marks_;
  DWORD level_ = 0xFFFFFFFF;
  // While AudioStart or a mark is being reported, PosnGet from that
  // callback answers where it happened: a file is written far ahead of the
  // notifier, so the current position would stamp every mark with the end.
  bool reportingPosition_ = false;
  uint64_t reportedPosition_ = 0;
  std::string error_;
  // Notification state.
  bool playing_ = false;        // AudioStart sent, AudioStop not yet
  uint64_t idleHeard_ = 0;      // heard_ when the sound last stopped
  bool stopRequested_ = false;  // Stop() while playing: owe an AudioStop
  bool kickFreeSpace_ = false;  // Start() after Stop(): the engine waits for FreeSpace
  bool stoppedSinceStart_ = false;
  bool refusedSinceReport_ = false;
  bool reofferAllowed_ = false;  // the engine keeps a refused chunk
  bool inFreeSpace_ = false;
  bool acceptedInCall_ = false;    // the engine handed data over in this FreeSpace
  bool refusedInCall_ = false;
  bool continueFreeSpace_ = false;  // it may have more: owe it another call
  DWORD reportedFree_ = 0;
  uint64_t heardAtReport_ = 0;
};

// Scales 16-bit little-endian samples by the low 16 bits of an IAudio level
// (0xFFFF leaves them as they are). A mono stream has one channel, and a
// mono device follows the low word.
void ApplyLevel(uint8_t* data, size_t size, DWORD level);

}  // namespace sonter2::host
