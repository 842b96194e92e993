// Waveform reconstruction from a diphone's LPC track and residual, sample
// rate conversion to 22050 Hz, and cutting into pitch periods.
#pragma once

#include <vector>

#include "tools/voicebuild/group_file.h"

namespace voicebuild {

constexpr int kOutputRate = 22050;

// All-pole synthesis y[k] = e[k] + sum a_i y[k-i]; frame i's predictor runs
// up to the midpoint to the next pitchmark. Output on the 16-bit scale,
// unbounded.
std::vector<double> synthesise(const Diphone& d);

// Shortens every residual period longer than `maxLength` source samples to
// that length (the tail after the excitation is dropped) and moves the
// pitchmarks with it, so the LPC filter keeps the formants and only the
// pitch changes.
Diphone capPeriods(const Diphone& d, int maxLength);

// Lengthens every voiced period (one that resembles its neighbour) by
// `extra` source samples of silence in the residual, after its excitation,
// and moves the pitchmarks with it: the pitch drops, the formants stay.
Diphone stretchVoicedPeriods(const Diphone& d, int extra);

// Windowed-sinc (Kaiser) rate converter from `from` Hz to 22050 Hz with a
// precomputed table of phases.
class Resampler {
 public:
  explicit Resampler(int from);
  std::vector<double> run(const std::vector<double>& in) const;
  // Position in output samples of source sample `pos`, rounded.
  long mapPosition(long pos) const;

 private:
  static constexpr int kTaps = 48;
  long up_ = 1, down_ = 1;  // output = input * up / down
  std::vector<double> table_;  // up_ phases x kTaps
};

enum class CutRule {
  kFixed,  // every period starts 20 samples before its pitchmark
  kQuiet,  // at the quietest sample 12..28 samples before its pitchmark
};

enum class PeriodEnds {
  kAsCut,  // periods are the waveform between the cut points
  kZero,   // a straight line from the value at the period's start to the value at the
           // next one's is taken off, so every period starts at 0 and ends heading to 0:
           // any period can follow any other (repeated, skipped or padded) without a jump
};

struct Periods {
  std::vector<std::vector<double>> periods;  // at 22050 Hz, period j starts near pitchmark j
  int middle = 0;                            // periods [0, middle) belong to the left phone
};

Periods cutPeriods(const Diphone& d, const Resampler& resampler, CutRule rule, PeriodEnds ends);

}  // namespace voicebuild
