// The audio protocol's notification side: marks played back to the sink of
// the text being heard, registered notify sinks, positions.
#include <algorithm>
#include <chrono>

#include "engine/speech.h"

namespace sonter2 {

namespace {
// Set while this thread tells an application sink of a mark: an audio reset
// called from inside that notification must not wait for itself.
thread_local bool tellingSinkOfMark = false;
constexpr auto kSinkCallWait = std::chrono::milliseconds(200);
}  // namespace

HRESULT CSpeech::PosnGet(PQWORD pqwTimeStamp) {
  if (pqwTimeStamp == nullptr) return E_INVALIDARG;
  return audio_->PosnGet(pqwTimeStamp);
}

HRESULT CSpeech::ToFileTime(PQWORD pqTimeStamp, FILETIME* pFT) { return audio_->ToFileTime(pqTimeStamp, pFT); }

HRESULT CSpeech::Register(PVOID pNotifyInterface, IID iid, DWORD* pdwKey) {
  if (pNotifyInterface == nullptr || pdwKey == nullptr) return E_INVALIDARG;
  const bool unicode = iid == IID_ITTSNotifySinkW;
  if (!unicode && iid != IID_ITTSNotifySinkA) return E_INVALIDARG;
  auto* sink = unicode ? static_cast<IUnknown*>(static_cast<ITTSNotifySinkW*>(pNotifyInterface))
                       : static_cast<IUnknown*>(static_cast<ITTSNotifySinkA*>(pNotifyInterface));
  std::lock_guard<std::mutex> guard(notifyLock_);
  *pdwKey = nextSinkKey_++;
  sink->AddRef();
  notifySinks_.push_back(NotifySinkEntry{sink, unicode, *pdwKey});
  return S_OK;
}

HRESULT CSpeech::UnRegister(DWORD dwKey) {
  IUnknown* sink = nullptr;
  {
    std::lock_guard<std::mutex> guard(notifyLock_);
    auto it = std::find_if(notifySinks_.begin(), notifySinks_.end(),
                           [dwKey](const NotifySinkEntry& e) { return e.key == dwKey; });
    if (it == notifySinks_.end()) return TTSERR_NOSUCHKEY;
    sink = it->sink;
    notifySinks_.erase(it);
  }
  sink->Release();
  return S_OK;
}

// Every registered sink, each with a reference held, so that a sink may
// register or unregister from inside its own notification.
static std::vector<NotifySinkEntry> snapshot(std::mutex& lock, const std::vector<NotifySinkEntry>& sinks) {
  std::lock_guard<std::mutex> guard(lock);
  std::vector<NotifySinkEntry> copy = sinks;
  for (auto& entry : copy) entry.sink->AddRef();
  return copy;
}

void CSpeech::notifyAttribChanged(DWORD which) {
  for (auto& entry : snapshot(notifyLock_, notifySinks_)) {
    if (entry.unicode) {
      static_cast<ITTSNotifySinkW*>(entry.sink)->AttribChanged(which);
    } else {
      static_cast<ITTSNotifySinkA*>(entry.sink)->AttribChanged(which);
    }
    entry.sink->Release();
  }
}

void CSpeech::notifyAudioStartStop(bool start) {
  const QWORD pos = audioPosition();
  for (auto& entry : snapshot(notifyLock_, notifySinks_)) {
    if (entry.unicode) {
      auto* sink = static_cast<ITTSNotifySinkW*>(entry.sink);
      start ? sink->AudioStart(pos) : sink->AudioStop(pos);
    } else {
      auto* sink = static_cast<ITTSNotifySinkA*>(entry.sink);
      start ? sink->AudioStart(pos) : sink->AudioStop(pos);
    }
    entry.sink->Release();
  }
}

void CSpeech::onAudioStart() { notifyAudioStartStop(true); }
void CSpeech::onAudioStop() { notifyAudioStartStop(false); }

void CSpeech::postMark(uint32_t type, uint32_t value, ITTSBufNotifySink* sink, bool ansi) {
  std::lock_guard<std::mutex> guard(markLock_);
  MarkRecord record{type, value, nullptr, ansi, textSerial_};
  if (sink != nullptr && (type == kMarkTextStarted || type == kMarkTextFinished)) {
    record.sink = sink;
    // A text-started record carries a reference of its own until it is
    // played back (it then moves to playbackSink) or flushed.
    if (type == kMarkTextStarted) sink->AddRef();
  }
  audioDest_->BookMark(markTable_.post(record));
}

void CSpeech::onBookMark(DWORD markId, bool flushed) {
  ComPtr<ITTSBufNotifySink> released;  // given back after the lock is dropped
  ComPtr<ITTSBufNotifySink> target;
  MarkRecord record;
  QWORD pos = 0;
  {
    std::lock_guard<std::mutex> guard(markLock_);
    auto taken = markTable_.take(markId);
    if (!taken) return;
    record = *taken;
    if (flushed) {
      // A flushed mark says nothing to the application, but the references
      // of its text must still be given back.
      if (record.type == kMarkTextStarted && record.sink != nullptr) {
        released = ComPtr<ITTSBufNotifySink>::adopt(record.sink);
      } else if (record.type == kMarkTextFinished && playbackSink_ && playbackSerial_ == record.textSerial) {
        released = std::move(playbackSink_);
      }
    } else if (static_cast<int32_t>(record.textSerial - silencedSerial_) <= 0) {
      // A mark of a reset text that the destination heard before its flush
      // but reports only now: its text has had its TextDataDone.
      if (record.type == kMarkTextStarted && record.sink != nullptr) {
        released = ComPtr<ITTSBufNotifySink>::adopt(record.sink);
      }
    } else {
      audio_->PosnGet(&pos);
      switch (record.type) {
        case kMarkBookmark:
        case kMarkWordPosition:
          target = playbackSink_;
          if (target) ++sinkCallsInFlight_;
          break;
        case kMarkTextFinished:
          released = std::move(playbackSink_);
          break;
        case kMarkTextStarted:
          released = std::move(playbackSink_);  // a previous text whose end was flushed
          playbackSink_ = ComPtr<ITTSBufNotifySink>::adopt(record.sink);
          playbackSerial_ = record.textSerial;
          break;
        default:
          break;
      }
    }
  }
  if (!target) return;
  tellingSinkOfMark = true;
  if (record.type == kMarkBookmark) {
    target->BookMark(pos, record.value);
  } else {
    target->WordPosition(pos, record.ansi ? record.value : 2 * record.value);
  }
  tellingSinkOfMark = false;
  std::lock_guard<std::mutex> guard(markLock_);
  if (--sinkCallsInFlight_ == 0) sinkCallsDone_.notify_all();
}

// After an audio reset nothing more is said about the texts it ended or that
// were still being played. The wait is bounded: a sink that blocks must not
// hold up the reset for ever.
void CSpeech::silenceMarksOfResetTexts(bool waitForSinkCalls) {
  ComPtr<ITTSBufNotifySink> playback;
  std::unique_lock<std::mutex> guard(markLock_);
  silencedSerial_ = textSerial_.load();
  playback = std::move(playbackSink_);
  if (waitForSinkCalls && !tellingSinkOfMark) {
    sinkCallsDone_.wait_for(guard, kSinkCallWait, [this] { return sinkCallsInFlight_ == 0; });
  }
  guard.unlock();
}

// Gives back every reference that marks still hold (the engine is going).
void CSpeech::releaseMarks() {
  std::vector<MarkRecord> marks;
  ComPtr<ITTSBufNotifySink> playback;
  {
    std::lock_guard<std::mutex> guard(markLock_);
    marks = markTable_.takeAll();
    playback = std::move(playbackSink_);
  }
  for (auto& record : marks) {
    if (record.type == kMarkTextStarted && record.sink != nullptr) record.sink->Release();
  }
}

}  // namespace sonter2
