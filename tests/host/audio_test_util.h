// Helpers for the audio destination tests: a sink that records what the
// destination reports, and a stand-in for the engine that drives a
// destination the way the engine does (Claim, Start, priming until the
// position moves, refused chunks kept and offered again on FreeSpace,
// marks between chunks, UnClaim at the end).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "engine/speech_api.h"

namespace sonter2::host::testing {

inline constexpr auto kLongWait = std::chrono::seconds(30);

// The bytes of a test stream: a saw tooth, distinct enough that a lost,
// repeated or reordered chunk shows in a comparison.
std::vector<uint8_t> TestStream(size_t bytes);

struct SinkEvent {
  enum Kind { kStart, kStop, kFreeSpace, kMark } kind;
  DWORD value;  // mark id, free bytes or stop reason
  bool flushed;
  QWORD position;  // PosnGet when the event arrived
};

size_t CountKind(const std::vector<SinkEvent>& events, SinkEvent::Kind kind);

// Counts its references so a test can see that the destination gives back
// what it took.
class RecordingSink : public IAudioDestNotifySink {
 public:
  explicit RecordingSink(IAudio* audio = nullptr) : audio_(audio) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
  HRESULT STDMETHODCALLTYPE AudioStop(WORD wReason) override;
  HRESULT STDMETHODCALLTYPE AudioStart() override;
  HRESULT STDMETHODCALLTYPE FreeSpace(DWORD dwBytes, BOOL fEOF) override;
  HRESULT STDMETHODCALLTYPE BookMark(DWORD dwMarkID, BOOL fFlushed) override;

  std::vector<SinkEvent> events() const;
  // Waits until `done(events)` holds; false when the wait ran out.
  bool waitFor(const std::function<bool(const std::vector<SinkEvent>&)>& done,
               std::chrono::milliseconds timeout = kLongWait);
  size_t count(SinkEvent::Kind kind) const;
  ULONG refs() const { return refs_; }
  // The destination whose position each event records.
  void setAudio(IAudio* audio) { audio_ = audio; }
  // Runs inside each callback, after the event is recorded.
  std::function<void(const SinkEvent&)> onEvent;

 protected:
  void poke();  // wakes waitFor after a change of our own; call with no lock held

 private:
  void record(SinkEvent e);
  IAudio* audio_;
  std::atomic<ULONG> refs_{1};
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<SinkEvent> events_;
};

// Drives a destination with `stream`, cut into chunks of varying size
// (one of them longer than a device's queue, as a long pause is), with a
// mark before every fourth chunk.
class FakeEngine : public RecordingSink {
 public:
  FakeEngine(IUnknown* destination, std::vector<uint8_t> stream, bool destIsFile);
  ~FakeEngine();
  // Binds, claims, starts and primes; returns like the engine's TextData.
  void speak();
  HRESULT STDMETHODCALLTYPE FreeSpace(DWORD dwBytes, BOOL fEOF) override;

  bool finished() const;                // all generated and UnClaim called
  size_t refusals() const { return refusals_; }
  // Bytes dropped because a re-offer was refused, as the engine drops them.
  size_t lostBytes() const { return lostBytes_; }
  struct MarkAt {
    DWORD id;
    uint64_t offset;  // bytes handed over before the mark
  };
  std::vector<MarkAt> marks() const;
  IAudio* audio() const { return audio_; }
  IAudioDest* dest() const { return dest_; }
  // Waits until any refusal was seen.
  bool waitForRefusal(std::chrono::milliseconds timeout = kLongWait);

 private:
  void prime();
  void pump(DWORD freeBytes);
  bool stepLocked();
  void deliverLocked(const uint8_t* data, size_t size);

  IAudio* audio_ = nullptr;
  IAudioDest* dest_ = nullptr;
  const std::vector<uint8_t> stream_;
  const bool destIsFile_;
  mutable std::recursive_mutex pumpLock_;
  size_t next_ = 0;       // stream bytes generated so far
  size_t chunkIndex_ = 0;
  std::vector<uint8_t> pending_;
  bool spoken_ = false;
  bool moreToCome_ = false;
  bool idle_ = false;
  std::atomic<size_t> refusals_{0};
  std::atomic<size_t> lostBytes_{0};
  std::vector<MarkAt> marks_;
};

}  // namespace sonter2::host::testing
