#include "tools/voicereport/render.h"

#include <algorithm>
#include <cstdlib>

#include "pron/dictionary_loading.h"

namespace voicereport {
namespace {

constexpr uint8_t kEndOfData = 255;
constexpr uint8_t kPauseNeighbour = 96;

}  // namespace

void Harness::deliver(const int16_t* samples, uint32_t count) {
  auto& s = out_->audio.samples;
  if (!s.empty() && count > 0) out_->joins.push_back(s.size());
  s.insert(s.end(), samples, samples + count);
  if (count > 0) lastSample_ = samples[count - 1];
}

// Silence for a pause, starting with a ramp from the last sample to zero.
void Harness::pause(sonter2::Synthesizer& synth, int32_t ms) {
  while (ms > 0) {
    const int32_t chunk = std::min(ms, 500);
    const int n = static_cast<int>(chunk * 22.05);
    const int r = std::abs(lastSample_) / 256;
    const int step = lastSample_ > 0 ? -256 : 256;
    for (int j = 0; j < n; ++j) out_->audio.samples.push_back(static_cast<int16_t>(j < r ? lastSample_ + j * step : 0));
    lastSample_ = 0;
    ms -= chunk;
  }
  synth.clearLastOutput();
}

Rendering Harness::render(const std::string& text, uint32_t speed, uint32_t pitch, bool tagged) {
  Rendering result;
  out_ = &result;
  lastSample_ = 0;
  sonter2::PhoneticStream stream;
  if (source_) stream.setClauseSource(source_);
  if (!dictionary_.empty()) {
    // As the engine loads its dictionaries (the registry's second one too).
    uint32_t dictionaryId = 0;
    sonter2::LoadEngineDictionaries(stream, dictionaryId, dictionary_);
  }
  sonter2::Synthesizer synth(voice_, *this, stream);
  synth.buildLengthTable(speed);
  synth.setBasePeriod(pitch);
  stream.begin(text, tagged);
  synth.resetProsody();
  synth.resetRenderer();
  stream.restart();
  while (true) {
    uint8_t code = 0;
    uint32_t argument = 0;
    int32_t pauseMs = -1;
    while (stream.nextCommand(code, argument)) {
      if ((code >= 1 && code <= 5) || code == 32) synth.intonate(code);
      else if (code == 160) synth.setShortening(argument);
      else if (code == 137) synth.setBasePeriod(argument);
      else if (code == 148) synth.buildLengthTable(argument);
      else if (code == 136) pauseMs = static_cast<int32_t>(argument);
      stream.skipToNextCommand();
      if (pauseMs >= 0) break;
    }
    if (pauseMs >= 0) {
      pause(synth, pauseMs);
      continue;
    }
    const uint8_t s = stream.peekPhoneme();
    if (s == kEndOfData) break;
    stream.nextPhoneme();
    uint8_t n = stream.peekPhoneme();
    if (n == kEndOfData || n < 64) n = kPauseNeighbour;
    const size_t start = result.audio.samples.size();
    if (s >= 64) synth.renderBetween(s, n);
    result.phones.push_back({s, start, result.audio.samples.size()});
  }
  result.stream = stream.phoneticBytes();
  out_ = nullptr;
  return result;
}

}  // namespace voicereport
