// What goes into every segment slot of the voice file, and from which
// diphones of the source voice it is cut.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/voicebuild/group_file.h"
#include "tools/voicebuild/signal.h"

namespace voicebuild {

constexpr int kSlotsPerSymbol = 60;
constexpr int kSegmentsWritten = 3780;  // up to the last slot of symbol '~'

inline int segmentNumber(char symbol, int slot) {
  return (static_cast<unsigned char>(symbol) - 64) * kSlotsPerSymbol + slot;
}

struct Part {
  uint8_t lengthClass = 0;  // 1..40
  bool fixed = false;       // periods keep their length whatever the pitch
  std::vector<std::vector<double>> periods;
};

// Either a list of parts or one reference to another segment.
struct Segment {
  std::vector<Part> parts;
  int reference = -1;
  bool empty() const { return parts.empty() && reference < 0; }
};

enum class LevelRule {
  kNone,        // one gain for the whole voice
  kVowelEdge,   // each diphone's vowel half ramps towards that vowel's median level
};

struct BuildOptions {
  std::string source;               // path of the group file
  CutRule cut = CutRule::kFixed;
  LevelRule level = LevelRule::kNone;
  PeriodEnds ends = PeriodEnds::kAsCut;
  // Bring a consonant's own sound (slot 0, cut next to pauses, where the
  // speaker spoke it 3-15 dB weaker) up to its level between vowels: it is
  // also what the consonant sounds like inside clusters. Plosives keep theirs.
  bool consonantLevel = false;
  // A consonant next to a voiced / voiceless consonant (slots 11 and 12)
  // from consonant pairs of the source (between two l, between two t)
  // instead of its own sound.
  bool clusterPairs = false;
  int maxPeriod = 0;                // > 0: cap residual periods to this many output samples
  int extraPeriod = 0;              // > 0: lengthen voiced periods by this many output samples
  double peakLevel = 100;
  // Multiplies the period counts of the sounding classes (not pauses, the
  // glide rate or the blend-in): the table is made for periods of about 100
  // samples, a lower voice needs fewer of its longer periods.
  double lengthScale = 1.0;           // 8-bit steps from 128 for the 99.99th percentile of |x|
};

struct Voice {
  std::array<uint8_t, 51> lengthTable{};
  std::vector<Segment> segments = std::vector<Segment>(kSegmentsWritten);
  double percentile = 0;  // 99.99th percentile of |x| over the periods used
  size_t periodsUsed = 0;
  size_t longestPeriod = 0;
};

// The length table the plan is made for (period counts by class).
std::array<uint8_t, 51> defaultLengthTable(double lengthScale = 1.0);

// Cuts the whole voice from `group`. Throws std::runtime_error when a
// diphone the plan needs is missing.
Voice planVoice(const GroupFile& group, const BuildOptions& options);

// The phoneme symbols the text converter writes, in a fixed order.
extern const char kWrittenSymbols[];

}  // namespace voicebuild
