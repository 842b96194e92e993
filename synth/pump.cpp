// The synthesis pump: starts utterances, runs one step at a time (the
// commands in front of the next phoneme, then that phoneme, a pause chunk or
// the closing fade), hands samples to the audio destination and keeps what
// it refuses for the next free-space notification.
#include <algorithm>
#include <bit>
#include <cstdlib>

#include "engine/speech.h"

namespace sonter2 {

static_assert(std::endian::native == std::endian::little, "samples are handed on as little-endian bytes");

namespace {

constexpr int32_t kMaxPauseChunkMs = 500;
constexpr double kSamplesPerMs = 22.05;
constexpr uint32_t kFileChunkLimit = 0x100000;  // 1 MiB per notification for a file
constexpr uint8_t kPauseNeighbour = 96;          // silence: the right neighbour of the last phoneme

}  // namespace

void CSpeech::startUtterance(SpeechRequest request) {
  while (true) {
    engineIdle_ = false;
    synth_.buildLengthTable(speed_);
    synth_.setBasePeriod(pitch_);
    const QWORD pos = audioPosition();
    textSink_ = ComPtr<ITTSBufNotifySink>::adopt(request.notifySink);
    request.notifySink = nullptr;
    textAnsi_ = request.ansiText;
    if (textSink_) textSink_->TextDataStarted(pos);
    if (!request.text.empty()) {
      stream_.begin(std::move(request.text), request.tagged);
      ++textSerial_;
      beginSynthesis();
    } else {
      if (textSink_) textDone(0);
      moreToCome_ = false;
    }
    if (moreToCome_) return;
    // The utterance is complete: the next queued request starts at once
    // (a loop, so a long queue of empty texts cannot exhaust the stack).
    if (pendingRequests_.empty()) {
      goIdle();
      return;
    }
    request = std::move(pendingRequests_.front());
    pendingRequests_.pop_front();
  }
}

void CSpeech::beginSynthesis() {
  synth_.resetProsody();
  synth_.resetRenderer();
  synth_.curSymbol = synth_.prevSymbol = synth_.nextSymbol = 0;
  synth_.curBase = synth_.prevBase = synth_.nextBase = 0;
  synth_.curClass = synth_.prevClass = synth_.nextClass = 0;
  stream_.restart();
  postMark(kMarkTextStarted, 0, textSink_.get(), false);
  moreToCome_ = generateNextChunk();
}

bool CSpeech::generateNextChunk() {
  const std::thread::id me = std::this_thread::get_id();
  while (busy_.exchange(true)) {
    // A step of this engine is already running on this very thread (an
    // application sink called back into the engine from inside it): skip.
    if (busyOwner_.load() == me) return true;
    std::this_thread::yield();
  }
  busyOwner_.store(me);
  auto clearBusy = [this] {
    busyOwner_.store(std::thread::id{});
    busy_.store(false);
  };

  if (!pausing_) {
    uint8_t symbol = 0;
    uint32_t argument = 0;
    while (stream_.nextCommand(symbol, argument)) {
      executeCommand(symbol, argument);
      stream_.skipToNextCommand();
      if (pausing_) break;
    }
  }
  if (pausing_) {
    renderPauseChunk();
    clearBusy();
    return true;
  }

  const uint8_t s = stream_.peekPhoneme();
  synth_.curSymbol = s;
  if (s == EndOfData) {
    clearBusy();
    return endUtterance();
  }
  stream_.nextPhoneme();
  if (s < 64) {
    // No sound unit exists below 64; such a byte is stepped over, never used
    // to address the voice.
    clearBusy();
    return true;
  }
  uint8_t n = stream_.peekPhoneme();
  if (n == EndOfData || n < 64) n = kPauseNeighbour;
  synth_.renderBetween(s, n);
  clearBusy();
  return true;
}

// One chunk of at most 500 ms of silence, faded in from the last sample.
void CSpeech::renderPauseChunk() {
  // A pause length beyond the signed range (an inject value above 2^31)
  // counts as none rather than as a pause that never ends.
  const int32_t ms = std::clamp(pauseRemainingMs_, 0, kMaxPauseChunkMs);
  const auto n = static_cast<int32_t>(ms * kSamplesPerMs);
  const int32_t last = synth_.lastSample;
  const int32_t r = std::abs(last) / 256;
  if (n >= r) {
    const int32_t step = last > 0 ? -256 : 256;
    for (int32_t j = 0; j < n; ++j) pauseBuf_[j] = static_cast<int16_t>(j < r ? last + j * step : 0);
  } else if (n > 1) {
    for (int32_t j = 0; j < n; ++j) pauseBuf_[j] = static_cast<int16_t>(last * (n - 1 - j) / (n - 1));
  } else if (n == 1) {
    pauseBuf_[0] = 0;
  }
  synth_.lastSample = 0;
  deliver(pauseBuf_.data(), static_cast<uint32_t>(n));
  pauseRemainingMs_ -= ms;
  if (pauseRemainingMs_ <= 0) {
    pauseRemainingMs_ = 0;
    pausing_ = false;
    synth_.clearLastOutput();
  }
}

// The end of the text: TextDataDone, the text-finished mark, the closing fade.
bool CSpeech::endUtterance() {
  if (textSink_) textDone(0);
  postMark(kMarkTextFinished, 0, nullptr, false);
  const int32_t last = synth_.lastSample;
  const int32_t step = last > 0 ? -256 : 256;
  uint32_t count = 0;
  for (int32_t v = last; (last > 0 && v > 0) || (last < 0 && v < 0); v += step) {
    fadeBuf_[count++] = static_cast<int16_t>(v);
  }
  fadeBuf_[count++] = 0;
  deliver(fadeBuf_.data(), count);
  return false;
}

void CSpeech::executeCommand(uint8_t symbol, uint32_t argument) {
  if ((symbol >= 1 && symbol <= 5) || symbol == WordBoundary) {
    synth_.intonate(symbol);
    return;
  }
  switch (symbol) {
    case kBookmarkCommand:
      if (textSink_) postMark(kMarkBookmark, argument, nullptr, false);
      break;
    case kPauseCommand:
      pausing_ = true;
      pauseRemainingMs_ = static_cast<int32_t>(argument);
      break;
    case 137:
      PitchSet(static_cast<WORD>(argument));
      break;
    case kResetCommand:
      loadVoiceDefaults();
      audio_->LevelSet(deviceVolume_);
      break;
    case 148:
      SpeedSet(argument);
      break;
    case 150:
      VolumeSet(argument | (argument << 16));
      break;
    case SyllableCount:
      synth_.setShortening(argument);
      break;
    case TextPosition:
      if (textSink_) postMark(kMarkWordPosition, argument, nullptr, textAnsi_);
      break;
    default:
      break;
  }
}

void CSpeech::deliver(const int16_t* samples, uint32_t count) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(samples);
  const uint32_t size = count * 2;
  chunkBytes_ += size;
  // While refused bytes wait, later output queues behind them, so that the
  // destination always receives the samples in order.
  if (pendingBytes() > 0) {
    appendPending(bytes, size);
    return;
  }
  if (FAILED(audioDest_->DataSet(const_cast<int16_t*>(samples), size))) appendPending(bytes, size);
}

void CSpeech::appendPending(const uint8_t* bytes, size_t count) {
  if (pendingStart_ > 0 && pendingStart_ >= pendingBuf_.size() / 2) {
    pendingBuf_.erase(pendingBuf_.begin(), pendingBuf_.begin() + static_cast<ptrdiff_t>(pendingStart_));
    pendingStart_ = 0;
  }
  pendingBuf_.insert(pendingBuf_.end(), bytes, bytes + count);
}

// Offers refused bytes again, at most as many as the destination has room
// for; only what it accepts is dropped.
void CSpeech::offerPending(DWORD freeBytes) {
  const size_t n = std::min<size_t>(pendingBytes(), freeBytes);
  if (n == 0) return;
  if (FAILED(audioDest_->DataSet(pendingBuf_.data() + pendingStart_, static_cast<DWORD>(n)))) return;
  pendingStart_ += n;
  if (pendingStart_ == pendingBuf_.size()) {
    pendingBuf_.clear();
    pendingStart_ = 0;
  }
}

void CSpeech::onFreeSpace(DWORD freeBytes) {
  std::lock_guard<std::recursive_mutex> guard(pumpLock_);
  if (pendingBytes() > 0) {
    offerPending(freeBytes);
    return;
  }
  if (busy_.load()) return;
  if (destIsFile_) {
    chunkBytes_ = 0;
    while (moreToCome_ && chunkBytes_ < kFileChunkLimit) moreToCome_ = generateNextChunk();
  } else {
    while (moreToCome_ && pendingBytes() == 0) {
      chunkBytes_ = 0;
      moreToCome_ = generateNextChunk();
    }
  }
  if (moreToCome_) return;
  startNextOrIdle();
}

// After an utterance has been generated completely: the next queued text, or
// the device goes back when nothing waits to be played.
void CSpeech::startNextOrIdle() {
  if (!pendingRequests_.empty()) {
    SpeechRequest request = std::move(pendingRequests_.front());
    pendingRequests_.pop_front();
    startUtterance(std::move(request));
  } else if (pendingBytes() == 0 && !engineIdle_) {
    goIdle();
  }
}

}  // namespace sonter2
