// Renders text through the engine's phonetic stream (text converter),
// prosody and segment renderer, stepping them the way the synthesis pump
// does, and records where each period and each phoneme begins.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "synth/phonetic_stream.h"
#include "synth/synthesizer.h"
#include "tools/voicereport/analysis.h"

namespace voicereport {

struct PhoneSpan {
  uint8_t symbol;
  size_t start, end;  // samples
};

struct Rendering {
  Audio audio;
  std::vector<size_t> joins;     // sample index where each period after the first begins
  std::vector<PhoneSpan> phones;
  std::string stream;            // the phonetic bytes the converter wrote
};

class Harness : private sonter2::SampleSink {
 public:
  explicit Harness(const sonter2::VoiceData* voice) : voice_(voice) {}

  // `text` in code page 1250. A fresh synthesizer per call: every rendering
  // starts from the voice's generator state, so results repeat.
  // `tagged`: control tags in the text are recognised.
  Rendering render(const std::string& text, uint32_t speed, uint32_t pitch, bool tagged);

  // Pronunciation dictionary file loaded into every rendering's stream, as
  // the engine loads default.dct beside its library.
  void setDictionary(std::string path) { dictionary_ = std::move(path); }

  // Replaces the text converter (for trying streams written by hand).
  void setClauseSource(std::function<void(sonter2::PhoneticStream&)> source) { source_ = std::move(source); }

 private:
  void deliver(const int16_t* samples, uint32_t count) override;
  void pause(sonter2::Synthesizer& synth, int32_t ms);

  const sonter2::VoiceData* voice_;
  std::function<void(sonter2::PhoneticStream&)> source_;
  std::string dictionary_;
  Rendering* out_ = nullptr;
  int16_t lastSample_ = 0;
};

}  // namespace voicereport
