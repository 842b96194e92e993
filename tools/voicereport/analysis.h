// Measurements on rendered speech: extent, clicks at period joins, wrapped
// or clipped samples, levels; and plain WAV files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace voicereport {

struct Audio {
  int rate = 22050;
  std::vector<int16_t> samples;
};

bool writeWav(const std::string& path, const Audio& audio);
bool readWav(const std::string& path, Audio& audio);  // 16-bit mono PCM

// Seconds from the first to the last 10-ms frame whose energy lies within
// `rangeDb` of the loudest frame.
double speechExtent(const Audio& audio, double rangeDb = 35.0);

// A period join whose sample-to-sample jump exceeds `minJump` and `ratio`
// times the largest step in the `window` samples before it.
struct ClickRule {
  int minJump = 6000;
  double ratio = 3.0;
  int window = 40;
};
struct Click {
  size_t at;  // sample index of the first sample after the join
  int jump;
};
std::vector<Click> findClicks(const std::vector<int16_t>& samples, const std::vector<size_t>& joins,
                              const ClickRule& rule);

// Consecutive samples more than 32768 apart: the renderer's mixing wrapped
// around instead of clipping. Also counts samples at full scale.
struct Overload {
  size_t wraps = 0;
  size_t fullScale = 0;
};
Overload findOverload(const std::vector<int16_t>& samples);

double rms(const std::vector<int16_t>& samples, size_t from, size_t to);

// Steps between neighbouring samples inside periods (not at joins): the
// `fraction` quantile, used to justify the click threshold.
int stepQuantile(const std::vector<int16_t>& samples, const std::vector<size_t>& joins, double fraction);

// Share of the steps between neighbouring samples inside periods that are
// larger than `threshold`.
double stepShareAbove(const std::vector<int16_t>& samples, const std::vector<size_t>& joins, int threshold);

// Fundamental frequency by autocorrelation over voiced 40-ms frames (those
// within 20 dB of the loudest); the median over the frames, 0 if none.
double medianF0(const Audio& audio);

}  // namespace voicereport
