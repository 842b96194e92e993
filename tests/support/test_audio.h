// A scriptable audio object for tests: it records every call the engine
// makes, keeps the samples it accepts, "plays" them when the test says so
// (or on a thread of its own), reports marks when playback reaches them and
// sends FreeSpace, AudioStart and AudioStop to the engine's sink.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/speech_api.h"

namespace sonter2::test {

class TestAudio final : public IAudio, public IAudioDest, public IAudioFile {
 public:
  struct Options {
    bool offerFile = false;       // answer IAudioFile (a file destination)
    bool refuseFormat = false;    // WaveFormatSet fails
    bool noAudioDest = false;     // do not answer IAudioDest
    size_t capacity = SIZE_MAX;   // bytes queued before DataSet refuses
    bool ownThread = false;       // notifications come from a thread of its own
    bool logPosnGet = true;       // record PosnGet calls in the log
    size_t autoPlayBytes = 0;     // with ownThread: bytes played every millisecond
    bool positionIsWritten = false;  // the position counts accepted bytes, as a file's does
    DWORD level = 0x80008000;     // what LevelGet reports at first
  };

  TestAudio();
  explicit TestAudio(Options options);
  ~TestAudio();
  TestAudio(const TestAudio&) = delete;
  TestAudio& operator=(const TestAudio&) = delete;

  // IUnknown (the object lives on the test's stack: counts are only watched)
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IAudio
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

  // IAudioDest
  HRESULT STDMETHODCALLTYPE FreeSpace(DWORD* pdwBytes, BOOL* pfEOF) override;
  HRESULT STDMETHODCALLTYPE DataSet(PVOID pBuffer, DWORD dwSize) override;
  HRESULT STDMETHODCALLTYPE BookMark(DWORD dwMarkID) override;

  // IAudioFile
  HRESULT STDMETHODCALLTYPE Register(IAudioFileNotifySink*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Set(PCWSTR, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Add(PCWSTR, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RealTimeSet(WORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RealTimeGet(WORD*) override { return S_OK; }

  // --- scripting ---
  // Plays up to `bytes` of what was accepted (all of it by default): the
  // position advances, marks reached are reported, then FreeSpace follows.
  void play(size_t bytes = SIZE_MAX);
  // Plays everything and keeps sending FreeSpace until the engine has nothing
  // more to give (at most `rounds` times).
  void drain(int rounds = 100000);
  void sendFreeSpace(DWORD bytes);
  void sendAudioStart();
  void sendAudioStop();
  // Makes the next `count` DataSet calls fail (refused whole).
  void refuseNext(int count);
  // Waits until the own thread has delivered everything queued so far.
  void waitIdle();
  // While deferring, notifications wait (in order) until deliverDeferred():
  // what a destination does whose notification thread is behind.
  void deferNotifications(bool defer);
  void deliverDeferred();

  // --- what happened ---
  std::vector<std::string> calls() const;
  void clearCalls();
  std::vector<int16_t> samples() const;  // everything accepted, in order
  size_t queuedBytes() const;
  QWORD position() const;
  DWORD level() const;
  ULONG refCount() const { return refCount_.load(); }
  bool hasSink() const;

 private:
  struct Mark {
    uint64_t at;  // byte offset of the data handed over before it
    DWORD id;
  };
  void log(std::string entry);
  void notify(std::function<void()> call);
  void workerLoop();
  void callSink(const std::function<void(IAudioDestNotifySink*)>& call);

  Options options_;
  std::atomic<ULONG> refCount_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::vector<uint8_t> accepted_;
  uint64_t consumed_ = 0;  // bytes of accepted_ played or flushed
  uint64_t position_ = 0;  // bytes played
  std::deque<Mark> marks_;
  IAudioDestNotifySink* sink_ = nullptr;
  int refuse_ = 0;
  size_t refusals_ = 0;  // DataSet calls refused so far
  DWORD level_;
  bool started_ = false;
  bool defer_ = false;
  std::deque<std::function<void()>> deferred_;

  // Notification thread.
  std::mutex queueMutex_;
  std::condition_variable queueCv_;
  std::deque<std::function<void()>> queue_;
  bool stop_ = false;
  int busy_ = 0;
  std::condition_variable idleCv_;
  std::thread worker_;
};

// Records what an application's buffer sink hears.
class TestBufSink final : public ITTSBufNotifySink {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refCount_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refCount_; }
  HRESULT STDMETHODCALLTYPE TextDataDone(QWORD qTimeStamp, DWORD dwFlags) override;
  HRESULT STDMETHODCALLTYPE TextDataStarted(QWORD qTimeStamp) override;
  HRESULT STDMETHODCALLTYPE BookMark(QWORD qTimeStamp, DWORD dwMarkNum) override;
  HRESULT STDMETHODCALLTYPE WordPosition(QWORD qTimeStamp, DWORD dwByteOffset) override;

  // Events as text without positions ("started", "done 0", "bookmark 5",
  // "word 7"); positions separately.
  std::vector<std::string> events() const;
  std::vector<QWORD> positions() const;
  ULONG refCount() const { return refCount_.load(); }
  // Called after each event (from whichever thread it came on).
  std::function<void(const std::string&)> onEvent;

 private:
  void record(std::string event, QWORD pos);
  std::atomic<ULONG> refCount_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> events_;
  std::vector<QWORD> positions_;
};

// Records what a registered notify sink hears.
class TestNotifySink final : public ITTSNotifySinkW {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refCount_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refCount_; }
  HRESULT STDMETHODCALLTYPE AttribChanged(DWORD dwAttribute) override;
  HRESULT STDMETHODCALLTYPE AudioStart(QWORD) override;
  HRESULT STDMETHODCALLTYPE AudioStop(QWORD) override;
  HRESULT STDMETHODCALLTYPE Visual(QWORD, WCHAR, WCHAR, DWORD, PTTSMOUTH) override { return S_OK; }

  std::vector<std::string> events() const;
  ULONG refCount() const { return refCount_.load(); }
  std::function<void(const std::string&)> onEvent;

 private:
  std::atomic<ULONG> refCount_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> events_;
};

}  // namespace sonter2::test
