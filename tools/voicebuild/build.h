// The whole build: plan, encode, scramble, check.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/voicebuild/voice_plan.h"

namespace voicebuild {

struct BuildResult {
  std::vector<uint8_t> file;  // the voice file's bytes
  std::string sha256;
  double percentile = 0;
  double scale = 0;           // 8-bit steps per 16-bit unit
  size_t periods = 0;
  size_t longestPeriod = 0;
  size_t segmentsWithData = 0;
  size_t clampedSamples = 0;  // samples beyond the 8-bit range
};

// The installed festvox-czech-dita voice with the options the voice report
// rates best (docs/voice.md): what tools/build-voice.sh builds.
BuildOptions recommendedOptions();
constexpr const char* kDitaGroupFile = "/usr/share/festival/voices/czech/czech_dita/group/dita.group";
constexpr const char* kPhGroupFile = "/usr/share/festival/voices/czech/czech_ph/group/ph.group";

// Builds the voice file from the group file named in `options`. Throws
// std::runtime_error when the source lacks what the plan needs or the
// encoded data does not fit the format.
BuildResult buildVoice(const BuildOptions& options);

// Writes `bytes` to `path` through a temporary file, loads it with the
// engine's loader and checks it; renames it into place only when it passes.
// Returns the problems found (empty on success).
std::vector<std::string> writeChecked(const std::vector<uint8_t>& bytes, const std::string& path);

}  // namespace voicebuild
