#include "tools/voicebuild/signal.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace voicebuild {
namespace {

double besselI0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 50; ++k) {
    term *= (x / (2.0 * k)) * (x / (2.0 * k));
    sum += term;
    if (term < 1e-17 * sum) break;
  }
  return sum;
}

long pitchmarkSample(double t, int rate) { return std::lround(t * rate); }

constexpr long kMaxPeriodLength = 254;

// A period more than 1.6 times as long as both its neighbours spans a
// pitchmark the source missed: cut it again before the largest excursion
// (of the sign the pitchmark peaks have) in its middle part, `lead` samples
// early like the other cut points.
void splitMissedPitchmarks(const std::vector<double>& wave, std::vector<long>& starts, long lead) {
  for (size_t j = 1; j + 2 < starts.size(); ++j) {
    const long gap = starts[j + 1] - starts[j];
    const long before = starts[j] - starts[j - 1];
    const long after = starts[j + 2] - starts[j + 1];
    if (gap * 10 <= before * 16 || gap * 10 <= after * 16) continue;
    const long peakAt = std::min<long>(starts[j] + lead, static_cast<long>(wave.size()) - 1);
    const double sign = wave[peakAt] >= 0 ? 1.0 : -1.0;
    long best = -1;
    double bestValue = 0;
    for (long k = starts[j] + gap * 35 / 100; k < starts[j] + gap * 65 / 100; ++k) {
      if (k < 0 || k >= static_cast<long>(wave.size())) continue;
      if (best < 0 || sign * wave[k] > bestValue) {
        best = k;
        bestValue = sign * wave[k];
      }
    }
    if (best < 0) continue;
    starts.insert(starts.begin() + static_cast<long>(j) + 1, best - lead);
    ++j;
  }
}

}  // namespace

std::vector<double> synthesise(const Diphone& d) {
  const size_t n = d.residual.size();
  std::vector<double> y(n, 0.0);
  size_t start = 0;
  for (size_t f = 0; f < d.times.size(); ++f) {
    size_t end = n;
    if (f + 1 < d.times.size()) {
      const double both = std::floor((static_cast<double>(d.times[f]) + d.times[f + 1]) * d.rate);
      end = std::min(n, static_cast<size_t>(std::max(0.0, std::floor(both / 2))));
    }
    const std::vector<double>& a = d.coefs[f];
    for (size_t k = start; k < end; ++k) {
      double s = d.residual[k];
      const size_t order = std::min(a.size(), k);
      for (size_t i = 0; i < order; ++i) s += a[i] * y[k - 1 - i];
      y[k] = s;
    }
    start = std::max(start, end);
  }
  return y;
}

Diphone capPeriods(const Diphone& d, int maxLength) {
  Diphone out = d;
  out.residual.clear();
  out.times.clear();
  std::vector<long> pm;
  for (double t : d.times) pm.push_back(pitchmarkSample(t, d.rate));
  // Residual pieces run from just before one pitchmark to just before the
  // next, so the excitation pulse stays at the start of its piece.
  const long lead = d.rate / 2000;  // 0.5 ms
  auto boundary = [&](size_t j) {
    return std::clamp<long>(pm[j] - lead, 0, static_cast<long>(d.residual.size()));
  };
  long from = boundary(0);
  out.residual.assign(d.residual.begin(), d.residual.begin() + from);
  for (size_t j = 0; j < pm.size(); ++j) {
    out.times.push_back(static_cast<double>(out.residual.size() + (pm[j] - from)) / d.rate);
    const long to = j + 1 < pm.size() ? boundary(j + 1) : static_cast<long>(d.residual.size());
    long length = to - from;
    if (j + 1 < pm.size() && length > maxLength) length = maxLength;
    out.residual.insert(out.residual.end(), d.residual.begin() + from, d.residual.begin() + from + length);
    from = to;
  }
  return out;
}

namespace {

// Normalised correlation of the waveform's pieces [a, b) and [b, c), over
// the shorter length.
double pieceCorrelation(const std::vector<double>& y, long a, long b, long c) {
  const long n = std::min(b - a, c - b);
  if (n <= 0 || c > static_cast<long>(y.size()) || a < 0) return 0;
  double xy = 0, xx = 0, yy = 0;
  for (long i = 0; i < n; ++i) {
    xy += y[a + i] * y[b + i];
    xx += y[a + i] * y[a + i];
    yy += y[b + i] * y[b + i];
  }
  return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
}

}  // namespace

Diphone stretchVoicedPeriods(const Diphone& d, int extra) {
  const std::vector<double> y = synthesise(d);
  std::vector<long> pm;
  for (double t : d.times) pm.push_back(pitchmarkSample(t, d.rate));
  const long n = static_cast<long>(d.residual.size());
  std::vector<char> voiced(pm.size(), 0);
  for (size_t j = 0; j + 1 < pm.size(); ++j) {
    // Voiced when the period resembles the one before or the one after.
    const double before = j > 0 ? pieceCorrelation(y, pm[j - 1], pm[j], pm[j + 1]) : 0;
    const double after = j + 2 < pm.size() ? pieceCorrelation(y, pm[j], pm[j + 1], pm[j + 2]) : 0;
    voiced[j] = std::max(before, after) > 0.7;
  }
  Diphone out = d;
  out.residual.clear();
  out.times.clear();
  // The silence goes in just before the next pitchmark's lead-in, where the
  // excitation of this period has died away.
  const long lead = d.rate / 2000;
  long from = 0;
  for (size_t j = 0; j < pm.size(); ++j) {
    const long to = j + 1 < pm.size() ? std::clamp<long>(pm[j + 1] - lead, from, n) : n;
    out.times.push_back(static_cast<double>(static_cast<long>(out.residual.size()) + pm[j] - from) / d.rate);
    out.residual.insert(out.residual.end(), d.residual.begin() + from, d.residual.begin() + to);
    if (voiced[j]) out.residual.insert(out.residual.end(), static_cast<size_t>(extra), 0.0);
    from = to;
  }
  return out;
}

Resampler::Resampler(int from) {
  const long g = std::gcd(static_cast<long>(from), static_cast<long>(kOutputRate));
  up_ = kOutputRate / g;
  down_ = from / g;
  const double cutoff = 0.92 * (kOutputRate / 2.0) / from;  // cycles per input sample
  const double beta = 8.0;
  const double half = kTaps / 2.0 + 0.5;
  table_.assign(static_cast<size_t>(up_) * kTaps, 0.0);
  for (long p = 0; p < up_; ++p) {
    const double frac = static_cast<double>(p) / up_;
    double sum = 0;
    for (int t = 0; t < kTaps; ++t) {
      const double dist = frac + (kTaps / 2 - 1) - t;  // input sample base-23+t
      const double x = 2.0 * cutoff * dist;
      const double sinc = x == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
      const double r = dist / half;
      const double window = besselI0(beta * std::sqrt(std::max(0.0, 1.0 - r * r))) / besselI0(beta);
      const double h = 2.0 * cutoff * sinc * window;
      table_[p * kTaps + t] = h;
      sum += h;
    }
    for (int t = 0; t < kTaps; ++t) table_[p * kTaps + t] /= sum;
  }
}

std::vector<double> Resampler::run(const std::vector<double>& in) const {
  if (in.empty()) return {};
  const long outLength = (static_cast<long>(in.size()) - 1) * up_ / down_ + 1;
  std::vector<double> out(outLength, 0.0);
  for (long n = 0; n < outLength; ++n) {
    const long pos = n * down_;
    const long base = pos / up_;
    const long phase = pos % up_;
    const double* h = &table_[phase * kTaps];
    double s = 0;
    for (int t = 0; t < kTaps; ++t) {
      const long k = base - (kTaps / 2 - 1) + t;
      if (k >= 0 && k < static_cast<long>(in.size())) s += h[t] * in[k];
    }
    out[n] = s;
  }
  return out;
}

long Resampler::mapPosition(long pos) const {
  return (2 * pos * up_ + down_) / (2 * down_);  // round half up, pos >= 0
}

Periods cutPeriods(const Diphone& d, const Resampler& resampler, CutRule rule, PeriodEnds ends) {
  const std::vector<double> wave = resampler.run(synthesise(d));
  const long length = static_cast<long>(wave.size());
  std::vector<long> starts;
  for (double t : d.times) {
    const long pm = resampler.mapPosition(pitchmarkSample(t, d.rate));
    long start = pm - 20;
    if (rule == CutRule::kQuiet) {
      // The quietest stretch (three samples) in the quiet part before the peak.
      double best = 1e300;
      for (long k = pm - 28; k <= pm - 12; ++k) {
        if (k < 1 || k + 1 >= length) continue;
        const double e = std::fabs(wave[k - 1]) + std::fabs(wave[k]) + std::fabs(wave[k + 1]);
        if (e < best) {
          best = e;
          start = k;
        }
      }
    }
    starts.push_back(std::clamp<long>(start, 0, length));
  }
  // A last period behind the last pitchmark, as long as the one before.
  const long last = starts.back() + (starts.size() > 1 ? starts.back() - starts[starts.size() - 2] : 100);
  starts.push_back(std::min(last, length));
  splitMissedPitchmarks(wave, starts, rule == CutRule::kFixed ? 20 : 0);

  Periods out;
  out.middle = std::clamp<int>(d.middleFrame, 0, static_cast<int>(d.times.size()));
  for (size_t j = 0; j + 1 < starts.size(); ++j) {
    const long a = starts[j];
    const long b = std::max(a, starts[j + 1]);
    // The format holds at most 254 samples a period; a longer one (only in
    // low voices, after their periods were capped in the residual, where a
    // cut point moved) loses its quiet tail.
    std::vector<double> period(wave.begin() + a, wave.begin() + std::min(b, a + kMaxPeriodLength));
    if (ends == PeriodEnds::kZero && !period.empty()) {
      const double first = wave[a];
      // The waveform's value where the next period starts; at the end of
      // the waveform, its last value.
      const long end = a + static_cast<long>(period.size());
      const double next = end < length ? wave[end] : wave[length - 1];
      const double n = static_cast<double>(period.size());
      for (size_t i = 0; i < period.size(); ++i) period[i] -= first + (next - first) * (static_cast<double>(i) / n);
    }
    out.periods.push_back(std::move(period));
  }
  return out;
}

}  // namespace voicebuild
