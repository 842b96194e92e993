// voicebuild: makes the engine's voice file from a Festival Czech diphone
// voice; docs/voice.md describes the options. Usage:
//   voicebuild [--voice dita|ph] [--source GROUPFILE] [--cut fixed|quiet]
//              [--ends cut|zero] [--level none|vowel] [--consonant-level none|context]
//              [--peak N] [--max-period N] [--extra-period N] [--length-scale F]
//              --out FILE
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "tools/voicebuild/build.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: voicebuild [--voice dita|ph] [--source GROUPFILE] [--cut fixed|quiet]\n"
               "                  [--ends cut|zero] [--level none|vowel] [--consonant-level none|context]\n"
               "                  [--clusters own|pairs]\n"
               "                  [--peak N] [--max-period N] [--extra-period N] [--length-scale F]\n"
               "                  --out FILE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  voicebuild::BuildOptions options = voicebuild::recommendedOptions();
  std::string out;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return usage();
    const std::string value = argv[++i];
    if (arg == "--voice") {
      if (value == "dita") {
        options.source = voicebuild::kDitaGroupFile;
      } else if (value == "ph") {
        options.source = voicebuild::kPhGroupFile;
        options.maxPeriod = 240;
        options.extraPeriod = 0;
        // Its periods are 1.7 times dita's, and its own synthesizer speaks
        // faster: fitted on the report's words (median ratio 1.05).
        options.lengthScale = 0.48;
      } else {
        return usage();
      }
    } else if (arg == "--source") {
      options.source = value;
    } else if (arg == "--cut") {
      if (value != "fixed" && value != "quiet") return usage();
      options.cut = value == "quiet" ? voicebuild::CutRule::kQuiet : voicebuild::CutRule::kFixed;
    } else if (arg == "--level") {
      if (value != "none" && value != "vowel") return usage();
      options.level = value == "vowel" ? voicebuild::LevelRule::kVowelEdge : voicebuild::LevelRule::kNone;
    } else if (arg == "--ends") {
      if (value != "cut" && value != "zero") return usage();
      options.ends = value == "zero" ? voicebuild::PeriodEnds::kZero : voicebuild::PeriodEnds::kAsCut;
    } else if (arg == "--max-period") {
      options.maxPeriod = std::stoi(value);
    } else if (arg == "--consonant-level") {
      if (value != "none" && value != "context") return usage();
      options.consonantLevel = value == "context";
    } else if (arg == "--clusters") {
      if (value != "own" && value != "pairs") return usage();
      options.clusterPairs = value == "pairs";
    } else if (arg == "--extra-period") {
      options.extraPeriod = std::stoi(value);
    } else if (arg == "--length-scale") {
      options.lengthScale = std::stod(value);
    } else if (arg == "--peak") {
      options.peakLevel = std::stod(value);
    } else if (arg == "--out") {
      out = value;
    } else {
      return usage();
    }
  }
  if (out.empty()) return usage();
  try {
    const voicebuild::BuildResult r = voicebuild::buildVoice(options);
    std::printf("source %s\n", options.source.c_str());
    std::printf("periods %zu, longest %zu samples, segments with data %zu\n", r.periods, r.longestPeriod,
                r.segmentsWithData);
    std::printf("99.99th percentile |x| %.0f, scale %.5f, samples clamped %zu\n", r.percentile, r.scale,
                r.clampedSamples);
    const auto problems = voicebuild::writeChecked(r.file, out);
    if (!problems.empty()) {
      for (const auto& p : problems) std::fprintf(stderr, "check: %s\n", p.c_str());
      std::fprintf(stderr, "voicebuild: %zu problems, %s not written\n", problems.size(), out.c_str());
      return 1;
    }
    std::printf("%s  %s (%zu bytes)\n", r.sha256.c_str(), out.c_str(), r.file.size());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "voicebuild: %s\n", e.what());
    return 1;
  }
  return 0;
}
