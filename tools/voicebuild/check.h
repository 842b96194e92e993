// The build's own check of a finished voice file: it is decoded the way the
// engine decodes it, and every segment the renderer can reach for the
// symbols the text converter writes is walked record by record.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace voicebuild {

// A voice file as the engine sees it after loading.
struct LoadedVoice {
  std::array<uint8_t, 51> lengthTable{};
  std::array<uint8_t, 17> generatorState{};  // as the descrambling left it
  std::vector<uint8_t> data;                 // decoded sample data
  std::vector<uint32_t> index;               // 3840 entries
};

// Loads `path` with the engine's loader; false when the loader refuses it.
bool loadWithEngine(const std::string& path, LoadedVoice& out);

// Segments the renderer can address for the converter's symbols, and
// whether each must hold sound (true) or may be empty (false).
struct Addressable {
  int segment;
  bool required;
};
std::vector<Addressable> addressableSegments();

// Problems found in a loaded voice, empty when it passes.
std::vector<std::string> checkVoice(const LoadedVoice& voice);

// Distinct values of the intonation generator's draw (0..63) in `draws`
// draws, starting from the loaded generator state.
int distinctDraws(const std::array<uint8_t, 17>& state, int draws);

}  // namespace voicebuild
