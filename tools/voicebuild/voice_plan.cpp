#include "tools/voicebuild/voice_plan.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <stdexcept>

namespace voicebuild {

const char kWrittenSymbols[] = "AaEwIiYyOoUu[BDGHJLMNRVZdnrzCFKPSTchqstbeW@^\\`";

namespace {

// Length classes of the table.
enum : uint8_t {
  kFadeSound = 1,
  kClausePause = 11,
  kSentencePause = 12,
  kSilence = 13,  // also the pitch-glide rate
  kLiquid = 14,   // l r v j, w
  kNasal = 15,    // m n ň
  kVoiced = 16,   // b d g h z
  kVoicedLong = 17,  // ď ž ř dž
  kFricative = 18,   // f s š ch
  kVoicelessR = 19,  // ř after a voiceless consonant
  kOnset = 20,       // vowel end into a consonant
  kBlend = 21,       // crossfade length into vowels
  kIntoVowel = 22,   // consonant release into a vowel, glottal onset
  kVowelToVowel = 23,
  kVowelEnd = 24,    // vowel end before a pause or glottal stop
  kBodyFirst = 25,   // 25..35 vowel bodies
  kPlosive = 36,     // p t ť k
  kAffricate = 37,   // c č
};

struct VowelSymbol {
  char symbol;
  const char* phone;    // own sound
  int vowelClass;       // 1..6
  uint8_t bodyClass;
  int bodyPeriods;
  char sameAs;          // symbol whose segments this one shares, or 0
  char transitionsOf;   // symbol whose transitions into vowels (slots 41-46) it uses, or 0: its own
};

// Long vowels glide into the next vowel as their short vowel does; the
// schwa as e.
constexpr VowelSymbol kVowels[] = {
    {'A', "a", 1, 25, 8, 0, 0},     {'a', "a:", 1, 26, 8, 0, 'A'},  {'E', "e", 2, 27, 8, 0, 0},
    {'w', "e:", 2, 28, 8, 0, 'E'},  {'I', "i", 3, 29, 8, 0, 0},     {'Y', "i", 3, 29, 8, 'I', 0},
    {'i', "i:", 3, 30, 8, 0, 'I'},  {'y', "i:", 3, 30, 8, 'i', 0},  {'O', "o", 4, 31, 8, 0, 0},
    {'o', "o:", 4, 32, 8, 0, 'O'},  {'U', "u", 5, 33, 8, 0, 0},     {'u', "u:", 5, 34, 8, 0, 'U'},
    {'[', "e", 6, 35, 4, 0, 'E'},
};

struct ConsonantSymbol {
  char symbol;
  const char* phone;
  uint8_t lengthClass;
  bool fixed;  // voiceless: periods keep their length
};

constexpr ConsonantSymbol kConsonants[] = {
    {'B', "b", kVoiced, false},      {'D', "d", kVoiced, false},     {'G', "g", kVoiced, false},
    {'H', "h", kVoiced, false},      {'J', "j", kLiquid, false},     {'L', "l", kLiquid, false},
    {'M', "m", kNasal, false},       {'N', "n", kNasal, false},      {'R', "r", kLiquid, false},
    {'V', "v", kLiquid, false},      {'Z', "z", kVoiced, false},     {'d', "d~", kVoicedLong, false},
    {'n', "n~", kNasal, false},      {'r', "r~", kVoicedLong, false}, {'z', "z~", kVoicedLong, false},
    {'C', "c", kAffricate, true},    {'F', "f", kFricative, true},   {'K', "k", kPlosive, true},
    {'P', "p", kPlosive, true},      {'S', "s", kFricative, true},   {'T', "t", kPlosive, true},
    {'c', "c~", kAffricate, true},   {'h', "ch", kFricative, true},  {'q', "r~*", kVoicelessR, true},
    {'s', "s~", kFricative, true},   {'t', "t~", kPlosive, true},
};

// Source vowel used for contexts of vowel class k (1..6).
const char* contextVowel(int k) {
  static const char* const kContext[] = {"", "a", "e", "i", "o", "u", "e"};
  return kContext[k];
}

bool isVowelPhone(const std::string& p) {
  static const char* const kPhones[] = {"a", "e", "i", "o", "u", "a:", "e:", "i:", "o:", "u:"};
  return std::find_if(std::begin(kPhones), std::end(kPhones), [&](const char* v) { return p == v; }) !=
         std::end(kPhones);
}

using PeriodList = std::vector<std::vector<double>>;

double rms(const PeriodList& periods, size_t from, size_t to) {
  double sum = 0;
  size_t n = 0;
  for (size_t j = from; j < to && j < periods.size(); ++j)
    for (double x : periods[j]) {
      sum += x * x;
      ++n;
    }
  return n ? std::sqrt(sum / n) : 0;
}

constexpr size_t kEdgePeriods = 3;

// Level of the sounding part of a period list: the mean RMS of its loudest
// quarter of periods (closures and silences do not count).
double activeLevel(const PeriodList& periods) {
  std::vector<double> levels;
  for (size_t j = 0; j < periods.size(); ++j) levels.push_back(rms(periods, j, j + 1));
  if (levels.empty()) return 0;
  std::sort(levels.rbegin(), levels.rend());
  const size_t n = std::max<size_t>(1, levels.size() / 4);
  double sum = 0;
  for (size_t j = 0; j < n; ++j) sum += levels[j];
  return sum / n;
}

// Cut diphones, cached, with the chosen level rule applied.
class Source {
 public:
  Source(const GroupFile& group, const BuildOptions& options)
      : group_(group), options_(options), resampler_(group.rate()) {
    if (options.level == LevelRule::kVowelEdge) measureVowelLevels();
  }

  bool has(const std::string& name) const { return group_.has(name); }

  const Periods& get(const std::string& name) {
    auto it = cache_.find(name);
    if (it != cache_.end()) return it->second;
    Periods p = cutRaw(name);
    if (options_.level == LevelRule::kVowelEdge) normalise(name, p);
    return cache_.emplace(name, std::move(p)).first->second;
  }

  // Periods [from, to) of a diphone; `to` < 0 counts from the end.
  PeriodList range(const std::string& name, int from, int to) {
    const Periods& p = get(name);
    const int n = static_cast<int>(p.periods.size());
    if (to < 0) to = n + 1 + to;
    from = std::clamp(from, 0, n);
    to = std::clamp(to, from, n);
    return PeriodList(p.periods.begin() + from, p.periods.begin() + to);
  }
  PeriodList left(const std::string& name) { return range(name, 0, get(name).middle); }
  PeriodList right(const std::string& name) { return range(name, get(name).middle, -1); }
  PeriodList whole(const std::string& name) { return range(name, 0, -1); }

 private:
  Periods cutRaw(const std::string& name) const {
    Diphone d = group_.load(name);
    if (options_.maxPeriod > 0) {
      const int maxSource = static_cast<int>(static_cast<long>(options_.maxPeriod) * d.rate / kOutputRate);
      d = capPeriods(d, maxSource);
    }
    if (options_.extraPeriod > 0) {
      d = stretchVoicedPeriods(d, static_cast<int>(std::lround(double(options_.extraPeriod) * d.rate / kOutputRate)));
    }
    return cutPeriods(d, resampler_, options_.cut, options_.ends);
  }

  static std::pair<std::string, std::string> phones(const std::string& name) {
    const size_t dash = name.find('-');
    return {name.substr(0, dash), dash == std::string::npos ? "" : name.substr(dash + 1)};
  }

  // Median level of every vowel at the diphone ends that lie in its middle.
  void measureVowelLevels() {
    std::map<std::string, std::vector<double>> levels;
    for (const std::string& name : group_.names()) {
      auto [l, r] = phones(name);
      if (!isVowelPhone(l) && !isVowelPhone(r)) continue;
      const Periods p = cutRaw(name);
      const size_t n = p.periods.size();
      if (n < 2 * kEdgePeriods) continue;
      if (isVowelPhone(l)) levels[l].push_back(rms(p.periods, 0, kEdgePeriods));
      if (isVowelPhone(r)) levels[r].push_back(rms(p.periods, n - kEdgePeriods, n));
    }
    for (auto& [vowel, list] : levels) {
      std::sort(list.begin(), list.end());
      target_[vowel] = list[list.size() / 2];
    }
  }

  double gainTowards(const std::string& vowel, double level) const {
    auto it = target_.find(vowel);
    if (it == target_.end() || level <= 0) return 1.0;
    return std::clamp(it->second / level, 0.25, 4.0);
  }

  // The left phone's half ramps from its vowel gain at the start to 1 at the
  // phone boundary; the right phone's half from 1 to its vowel gain at the end.
  void normalise(const std::string& name, Periods& p) const {
    auto [l, r] = phones(name);
    const int n = static_cast<int>(p.periods.size());
    const int mid = std::clamp(p.middle, 0, n);
    if (isVowelPhone(l) && n >= static_cast<int>(kEdgePeriods)) {
      const double g = gainTowards(l, rms(p.periods, 0, kEdgePeriods));
      for (int j = 0; j < mid; ++j) {
        const double w = mid > 1 ? static_cast<double>(j) / mid : 0.0;
        for (double& x : p.periods[j]) x *= g + (1.0 - g) * w;
      }
    }
    if (isVowelPhone(r) && n >= static_cast<int>(kEdgePeriods)) {
      const double g = gainTowards(r, rms(p.periods, n - kEdgePeriods, n));
      const int span = n - mid;
      for (int j = mid; j < n; ++j) {
        const double w = span > 1 ? static_cast<double>(j - mid + 1) / span : 1.0;
        for (double& x : p.periods[j]) x *= 1.0 + (g - 1.0) * w;
      }
    }
  }

  const GroupFile& group_;
  BuildOptions options_;
  Resampler resampler_;
  std::map<std::string, Periods> cache_;
  std::map<std::string, double> target_;
};

PeriodList join(PeriodList a, const PeriodList& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

PeriodList silence(int periods, int length) {
  return PeriodList(periods, std::vector<double>(length, 0.0));
}

std::string dip(const std::string& a, const std::string& b) { return a + "-" + b; }

class Planner {
 public:
  Planner(const GroupFile& group, const BuildOptions& options)
      : src_(group, options),
        lengthScale_(options.lengthScale),
        consonantLevel_(options.consonantLevel),
        clusterPairs_(options.clusterPairs) {}

  Voice run() {
    planGlottalStop();
    for (const VowelSymbol& v : kVowels) planVowel(v);
    for (const ConsonantSymbol& c : kConsonants) planConsonant(c);
    planOthers();
    finish();
    return std::move(voice_);
  }

 private:
  void put(char symbol, int slot, uint8_t cls, bool fixed, PeriodList periods) {
    Segment& s = voice_.segments[segmentNumber(symbol, slot)];
    if (periods.empty()) throw std::runtime_error(std::string("no periods for symbol ") + symbol + " slot " + std::to_string(slot));
    s.parts.push_back(Part{cls, fixed, std::move(periods)});
  }
  void refer(char symbol, int slot, char toSymbol, int toSlot) {
    voice_.segments[segmentNumber(symbol, slot)].reference = segmentNumber(toSymbol, toSlot);
  }
  std::string need(const std::string& name) {
    if (!src_.has(name)) throw std::runtime_error("source voice lacks diphone " + name);
    return name;
  }

  // Whole transition from vowel phone `from` into context vowel k: the V-V
  // diphone where the source has it, a glottal hiatus otherwise.
  void planVowelToVowel(char symbol, const std::string& from, int slot, int k) {
    const std::string vv = dip(from, contextVowel(k));
    if (src_.has(vv)) put(symbol, slot, kVowelToVowel, false, src_.whole(vv));
    else put(symbol, slot, kIntoVowel, false, src_.whole(need(dip("_", contextVowel(k)))));
  }

  void planGlottalStop() {
    put('@', 0, kFadeSound, true, silence(2, 100));
    for (int k = 1; k <= 6; ++k) {
      if (k == 6) {
        refer('@', 26, '@', 22);
        refer('@', 46, '@', 42);
        continue;
      }
      const std::string end = need(dip(contextVowel(k), "#"));
      put('@', 20 + k, kVowelEnd, false, join(src_.left(end), src_.range(end, src_.get(end).middle, src_.get(end).middle + 1)));
      put('@', 40 + k, kIntoVowel, false, src_.whole(need(dip("_", contextVowel(k)))));
    }
  }

  void planVowel(const VowelSymbol& v) {
    if (v.sameAs) {
      refer(v.symbol, 0, v.sameAs, 0);
      for (int k = 1; k <= 6; ++k) refer(v.symbol, 40 + k, v.sameAs, 40 + k);
      return;
    }
    put(v.symbol, 0, v.bodyClass, false, src_.range(need(dip(v.phone, "#")), 0, v.bodyPeriods));
    for (int k = 1; k <= 6; ++k) {
      if (v.transitionsOf) refer(v.symbol, 40 + k, v.transitionsOf, 40 + k);
      else if (k == 6) refer(v.symbol, 46, v.symbol, 42);
      else planVowelToVowel(v.symbol, v.phone, 40 + k, k);
    }
  }

  void planConsonant(const ConsonantSymbol& c) {
    const std::string p = c.phone;
    const std::string after = src_.has(dip(p, "#")) ? dip(p, "#") : need(dip(p, "e"));
    PeriodList own = join(src_.right(need(dip("#", p))), src_.left(after));
    std::vector<double> contextLevels;
    for (int k = 1; k <= 5; ++k) {
      const std::string before = need(dip(contextVowel(k), p));  // vowel, then consonant
      const std::string into = need(dip(p, contextVowel(k)));    // consonant, then vowel
      PeriodList between = join(src_.right(before), src_.left(into));
      contextLevels.push_back(activeLevel(between));
      put(c.symbol, k, c.lengthClass, c.fixed, std::move(between));
      put(c.symbol, 20 + k, kOnset, false, src_.left(before));
      put(c.symbol, 40 + k, kIntoVowel, false, src_.right(into));
    }
    // Not for p t ť k: their own sound is mostly closure, and a burst
    // brought up to its level before a vowel stood out as a jump.
    if (consonantLevel_ && c.lengthClass != kPlosive) {
      std::sort(contextLevels.begin(), contextLevels.end());
      const double level = activeLevel(own);
      const double gain = level > 0 ? std::clamp(contextLevels[contextLevels.size() / 2] / level, 1.0, 4.0) : 1.0;
      for (auto& period : own)
        for (double& x : period) x *= gain;
    }
    put(c.symbol, 0, c.lengthClass, c.fixed, std::move(own));
    refer(c.symbol, 6, c.symbol, 2);
    refer(c.symbol, 26, c.symbol, 22);
    refer(c.symbol, 46, c.symbol, 42);
    planClusterSlot(c, 11, "l");
    planClusterSlot(c, 12, "t");
  }

  // The consonant between two `partner` consonants, where the source has
  // both pairs; else its own sound.
  void planClusterSlot(const ConsonantSymbol& c, int slot, const std::string& partner) {
    const std::string in = dip(partner, c.phone), out = dip(c.phone, partner);
    if (clusterPairs_ && src_.has(in) && src_.has(out))
      put(c.symbol, slot, c.lengthClass, c.fixed, join(src_.right(in), src_.left(out)));
    else
      refer(c.symbol, slot, c.symbol, 0);
  }

  void planOthers() {
    // dž: its own sound, and its release into each vowel.
    put('b', 0, kVoicedLong, false, join(src_.right(need("#-dz~")), src_.left(need("dz~-e"))));
    for (int k = 1; k <= 5; ++k) put('b', 40 + k, kIntoVowel, false, src_.right(need(dip("dz~", contextVowel(k)))));
    refer('b', 46, 'b', 42);
    // w: sounds as v.
    put('W', 0, kLiquid, false, join(src_.right(need("#-v")), src_.left(need("v-e"))));
    for (int k = 1; k <= 6; ++k) refer('W', 40 + k, 'V', 40 + k);
    // bare ě: j gliding into e.
    put('e', 0, kLiquid, false, src_.right(need("#-j")));
    put('e', 0, kIntoVowel, false, src_.whole(need("j-e")));
    for (int k = 1; k <= 6; ++k) refer('e', 40 + k, 'E', 40 + k);
    // Pauses and the silence before a pause command keep their length.
    put('^', 0, kSentencePause, true, silence(1, 200));
    put('\\', 0, kClausePause, true, silence(1, 200));
    put('`', 0, kSilence, true, silence(1, 100));
  }

  void finish() {
    voice_.lengthTable = defaultLengthTable(lengthScale_);
    for (const Segment& s : voice_.segments)
      for (const Part& part : s.parts)
        for (const auto& period : part.periods) {
          ++voice_.periodsUsed;
          voice_.longestPeriod = std::max(voice_.longestPeriod, period.size());
        }
  }

  Source src_;
  double lengthScale_;
  bool consonantLevel_;
  bool clusterPairs_;
  Voice voice_;
};

}  // namespace

std::array<uint8_t, 51> defaultLengthTable(double lengthScale) {
  std::array<uint8_t, 51> t{};
  t[kFadeSound] = 2;
  t[kClausePause] = 17;
  t[kSentencePause] = 42;
  t[kSilence] = 4;
  t[kLiquid] = 23;
  t[kNasal] = 30;
  t[kVoiced] = 26;
  t[kVoicedLong] = 29;
  t[kFricative] = 35;
  t[kVoicelessR] = 23;
  t[kOnset] = 8;
  t[kBlend] = 5;
  t[kIntoVowel] = 12;
  t[kVowelToVowel] = 14;
  t[kVowelEnd] = 10;
  const uint8_t bodies[] = {31, 50, 32, 44, 25, 46, 29, 48, 29, 51, 16};
  for (int i = 0; i < 11; ++i) t[kBodyFirst + i] = bodies[i];
  t[kPlosive] = 29;
  t[kAffricate] = 38;
  if (lengthScale != 1.0) {
    for (int i = kLiquid; i <= kAffricate; ++i) {
      if (i == kBlend) continue;
      t[i] = static_cast<uint8_t>(std::clamp(std::floor(t[i] * lengthScale + 0.5), 1.0, 150.0));
    }
  }
  return t;
}

Voice planVoice(const GroupFile& group, const BuildOptions& options) {
  Voice voice = Planner(group, options).run();
  std::vector<double> magnitudes;
  for (const Segment& s : voice.segments)
    for (const Part& part : s.parts)
      for (const auto& period : part.periods)
        for (double x : period) magnitudes.push_back(std::fabs(x));
  if (magnitudes.empty()) throw std::runtime_error("the plan produced no samples");
  const size_t k = static_cast<size_t>(0.9999 * (magnitudes.size() - 1));
  std::nth_element(magnitudes.begin(), magnitudes.begin() + k, magnitudes.end());
  voice.percentile = magnitudes[k];
  return voice;
}

}  // namespace voicebuild
