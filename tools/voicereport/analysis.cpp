#include "tools/voicereport/analysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace voicereport {
namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
uint32_t get32(const std::vector<uint8_t>& in, size_t at) {
  return in[at] | (in[at + 1] << 8) | (in[at + 2] << 16) | (static_cast<uint32_t>(in[at + 3]) << 24);
}
uint16_t get16(const std::vector<uint8_t>& in, size_t at) { return static_cast<uint16_t>(in[at] | (in[at + 1] << 8)); }

std::vector<double> frameEnergiesDb(const Audio& audio, size_t frame) {
  std::vector<double> out;
  for (size_t start = 0; start + frame <= audio.samples.size(); start += frame) {
    double sum = 0;
    for (size_t i = start; i < start + frame; ++i) sum += double(audio.samples[i]) * audio.samples[i];
    out.push_back(10 * std::log10(sum / frame + 1e-3));
  }
  return out;
}

}  // namespace

bool writeWav(const std::string& path, const Audio& audio) {
  std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
  const uint32_t bytes = static_cast<uint32_t>(audio.samples.size() * 2);
  put32(out, 36 + bytes);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put32(out, 16);
  put16(out, 1);
  put16(out, 1);
  put32(out, static_cast<uint32_t>(audio.rate));
  put32(out, static_cast<uint32_t>(audio.rate * 2));
  put16(out, 2);
  put16(out, 16);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  put32(out, bytes);
  for (int16_t s : audio.samples) put16(out, static_cast<uint16_t>(s));
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  return static_cast<bool>(f);
}

bool readWav(const std::string& path, Audio& audio) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::vector<uint8_t> in((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (in.size() < 12 || std::memcmp(in.data(), "RIFF", 4) != 0 || std::memcmp(in.data() + 8, "WAVE", 4) != 0)
    return false;
  size_t pos = 12;
  bool format = false;
  while (pos + 8 <= in.size()) {
    const uint32_t size = get32(in, pos + 4);
    if (std::memcmp(in.data() + pos, "fmt ", 4) == 0 && pos + 24 <= in.size()) {
      if (get16(in, pos + 8) != 1 || get16(in, pos + 10) != 1 || get16(in, pos + 22) != 16) return false;
      audio.rate = static_cast<int>(get32(in, pos + 12));
      format = true;
    } else if (std::memcmp(in.data() + pos, "data", 4) == 0 && format) {
      const size_t end = std::min(in.size(), pos + 8 + size);
      audio.samples.clear();
      for (size_t i = pos + 8; i + 1 < end; i += 2) audio.samples.push_back(static_cast<int16_t>(get16(in, i)));
      return true;
    }
    pos += 8 + size + (size & 1);
  }
  return false;
}

double speechExtent(const Audio& audio, double rangeDb) {
  const size_t frame = static_cast<size_t>(audio.rate / 100);
  const auto db = frameEnergiesDb(audio, frame);
  if (db.empty()) return 0;
  const double loudest = *std::max_element(db.begin(), db.end());
  size_t first = db.size(), last = 0;
  for (size_t i = 0; i < db.size(); ++i)
    if (db[i] >= loudest - rangeDb) {
      first = std::min(first, i);
      last = i;
    }
  if (first > last) return 0;
  return double(last + 1 - first) * frame / audio.rate;
}

std::vector<Click> findClicks(const std::vector<int16_t>& s, const std::vector<size_t>& joins,
                              const ClickRule& rule) {
  std::vector<Click> out;
  for (size_t at : joins) {
    if (at == 0 || at >= s.size()) continue;
    const int jump = std::abs(int(s[at]) - int(s[at - 1]));
    int before = 0;
    for (size_t i = at - 1; i > 0 && i + rule.window >= at; --i) before = std::max(before, std::abs(int(s[i]) - int(s[i - 1])));
    if (jump > rule.minJump && jump > rule.ratio * before) out.push_back({at, jump});
  }
  return out;
}

Overload findOverload(const std::vector<int16_t>& s) {
  Overload o;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == 32767 || s[i] == -32768) ++o.fullScale;
    if (i > 0 && std::abs(int(s[i]) - int(s[i - 1])) > 32768) ++o.wraps;
  }
  return o;
}

double rms(const std::vector<int16_t>& s, size_t from, size_t to) {
  to = std::min(to, s.size());
  if (from >= to) return 0;
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
  return std::sqrt(sum / double(to - from));
}

int stepQuantile(const std::vector<int16_t>& s, const std::vector<size_t>& joins, double fraction) {
  std::vector<char> isJoin(s.size() + 1, 0);
  for (size_t j : joins)
    if (j < isJoin.size()) isJoin[j] = 1;
  std::vector<int> steps;
  for (size_t i = 1; i < s.size(); ++i)
    if (!isJoin[i]) steps.push_back(std::abs(int(s[i]) - int(s[i - 1])));
  if (steps.empty()) return 0;
  const size_t k = static_cast<size_t>(fraction * double(steps.size() - 1));
  std::nth_element(steps.begin(), steps.begin() + k, steps.end());
  return steps[k];
}

double stepShareAbove(const std::vector<int16_t>& s, const std::vector<size_t>& joins, int threshold) {
  std::vector<char> isJoin(s.size() + 1, 0);
  for (size_t j : joins)
    if (j < isJoin.size()) isJoin[j] = 1;
  size_t above = 0, all = 0;
  for (size_t i = 1; i < s.size(); ++i) {
    if (isJoin[i]) continue;
    ++all;
    above += std::abs(int(s[i]) - int(s[i - 1])) > threshold;
  }
  return all ? double(above) / double(all) : 0;
}

double medianF0(const Audio& audio) {
  const size_t frame = static_cast<size_t>(audio.rate * 0.04);
  const auto db = frameEnergiesDb(audio, frame);
  if (db.empty()) return 0;
  const double loudest = *std::max_element(db.begin(), db.end());
  const int minLag = audio.rate / 500, maxLag = audio.rate / 60;
  std::vector<double> f0s;
  for (size_t f = 0; f < db.size(); ++f) {
    if (db[f] < loudest - 20) continue;
    const size_t start = f * frame;
    if (start + frame + maxLag > audio.samples.size()) break;
    double best = 0;
    int bestLag = 0;
    double e0 = 0;
    for (size_t i = 0; i < frame; ++i) e0 += double(audio.samples[start + i]) * audio.samples[start + i];
    for (int lag = minLag; lag <= maxLag; ++lag) {
      double c = 0, e1 = 0;
      for (size_t i = 0; i < frame; ++i) {
        c += double(audio.samples[start + i]) * audio.samples[start + i + lag];
        e1 += double(audio.samples[start + i + lag]) * audio.samples[start + i + lag];
      }
      const double r = c / std::sqrt(e0 * e1 + 1e-9);
      if (r > best) {
        best = r;
        bestLag = lag;
      }
    }
    if (best > 0.6 && bestLag > 0) f0s.push_back(double(audio.rate) / bestLag);
  }
  if (f0s.empty()) return 0;
  std::sort(f0s.begin(), f0s.end());
  return f0s[f0s.size() / 2];
}

}  // namespace voicereport
