#include "tools/voicebuild/check.h"

#include <unistd.h>

#include <set>

#include "synth/synthesizer.h"
#include "synth/voice_database.h"

#include "tools/voicebuild/voice_file.h"
#include "tools/voicebuild/voice_plan.h"

namespace voicebuild {
namespace {

constexpr int kIndexEntries = 3840;

// The renderer's own class table decides which slots it addresses.
int classOf(char symbol) { return sonter2::symbolClass(static_cast<uint8_t>(symbol)); }

struct Walk {
  const LoadedVoice& voice;
  std::vector<std::string>& problems;
  int periods = 0;        // periods with at least one sample
  bool audible = false;   // some sample differs from 128

  void segment(int number, int depth, const std::string& where) {
    if (depth > 8) {
      problems.push_back(where + ": references nest deeper than 8");
      return;
    }
    if (number < 0 || number >= kIndexEntries) {
      problems.push_back(where + ": reference to segment " + std::to_string(number) + " outside the index");
      return;
    }
    size_t p = voice.index[number];
    if (p == 0 && number != 0) {
      problems.push_back(where + ": segment " + std::to_string(number) + " has no delimiter");
      return;
    }
    const auto& d = voice.data;
    int override = 0;
    while (true) {
      if (p >= d.size()) {
        problems.push_back(where + ": runs past the data");
        return;
      }
      const uint8_t f = d[p];
      if (f == kDelimiter) return;
      if (f >= 100) {
        if (p + 2 >= d.size()) {
          problems.push_back(where + ": reference cut short");
          return;
        }
        override = f - 100;
        if (override > 90 || (override > 40 && override < 50)) problems.push_back(where + ": bad class override");
        segment(d[p + 1] | (d[p + 2] << 8), depth + 1, where + "->" + std::to_string(d[p + 1] | (d[p + 2] << 8)));
        p += 3;
        continue;
      }
      const int k = override ? override : f;
      override = 0;
      const int cls = k >= 50 ? k - 50 : k;
      if (cls < 1 || cls > 40) {
        problems.push_back(where + ": part class " + std::to_string(cls));
        return;
      }
      if (voice.lengthTable[cls] == 0) problems.push_back(where + ": part class " + std::to_string(cls) + " has length 0");
      if (p + 1 >= d.size()) {
        problems.push_back(where + ": part header cut short");
        return;
      }
      const int n = d[p + 1];
      if (n == 0) problems.push_back(where + ": part without periods");
      p += 2;
      for (int j = 0; j < n; ++j) {
        if (p >= d.size() || d[p] == kDelimiter) {
          problems.push_back(where + ": period " + std::to_string(j) + " missing (stray delimiter?)");
          return;
        }
        const size_t len = d[p];
        if (p + 1 + len > d.size()) {
          problems.push_back(where + ": period runs past the data");
          return;
        }
        for (size_t i = 0; i < len; ++i) {
          const uint8_t s = d[p + 1 + i];
          if (s == kDelimiter) {
            problems.push_back(where + ": delimiter inside a period");
            return;
          }
          if (s != 128) audible = true;
        }
        if (len > 0) ++periods;
        p += 1 + len;
      }
    }
  }
};

}  // namespace

bool loadWithEngine(const std::string& path, LoadedVoice& out) {
  // The engine's own database attachment, on a region name of this check's
  // own so that it never meets the engine's machine-wide region.
  static int serial = 0;
  const std::string region = "sonter2-voicebuild-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
  sonter2::VoiceDatabase database;
  database.attachDatabase(path, region);
  const sonter2::VoiceData* voice = database.voice();
  if (voice == nullptr) return false;
  std::copy(voice->lenTable.begin(), voice->lenTable.end(), out.lengthTable.begin());
  std::copy(voice->noiseGen.begin(), voice->noiseGen.end(), out.generatorState.begin());
  out.data.assign(voice->samples, voice->samples + voice->samplesSize);
  out.index.assign(kIndexEntries, 0);
  for (int n = 0; n < kIndexEntries; ++n) out.index[n] = voice->segmentStart(n);
  return true;
}

std::vector<Addressable> addressableSegments() {
  std::vector<Addressable> out;
  auto add = [&](char symbol, int slot, bool required) { out.push_back({segmentNumber(symbol, slot), required}); };
  for (const char* s = kWrittenSymbols; *s; ++s) {
    const char symbol = *s;
    const int c = classOf(symbol);
    add(symbol, 0, true);
    if (c == 0) {
      // A vowel after this symbol starts with its transition slot.
      const bool speaks = symbol == '@' || symbol == 'b' || symbol == 'W' || symbol == 'e';
      for (int k = 1; k <= 6; ++k) add(symbol, 40 + k, speaks);
    } else if (c <= 6) {
      for (int k = 1; k <= 6; ++k) add(symbol, 40 + k, true);  // into a following vowel
    } else {
      for (int k = 1; k <= 6; ++k) {
        add(symbol, k, true);
        add(symbol, 20 + k, true);
        add(symbol, 40 + k, true);
      }
      add(symbol, 11, true);
      add(symbol, 12, true);
      add(symbol, 40, false);
      add(symbol, 51, false);
      add(symbol, 52, false);
    }
  }
  for (int k = 1; k <= 6; ++k) add('@', 20 + k, true);  // vowel end before a class-0 symbol
  return out;
}

int distinctDraws(const std::array<uint8_t, 17>& start, int draws) {
  std::array<uint8_t, 17> state = start;
  int index = 1;
  std::set<int> seen;
  for (int i = 0; i < draws; ++i) {
    const uint8_t b = state[index];
    if (--index == 0) index = 16;
    state[index] = static_cast<uint8_t>(state[index] + b);
    seen.insert(state[index] & 63);
  }
  return static_cast<int>(seen.size());
}

std::vector<std::string> checkVoice(const LoadedVoice& voice) {
  std::vector<std::string> problems;
  size_t delimiters = 0;
  for (uint8_t b : voice.data) delimiters += b == kDelimiter;
  if (delimiters > static_cast<size_t>(kIndexEntries))
    problems.push_back("more delimiters than index entries: " + std::to_string(delimiters));
  if (voice.data.empty() || voice.data[0] != kDelimiter) problems.push_back("data does not start with a delimiter");
  if (voice.lengthTable[21] == 0) problems.push_back("blend-in length (entry 21) is 0");
  for (const Addressable& a : addressableSegments()) {
    const std::string where = "segment " + std::to_string(a.segment) + " ('" +
                              static_cast<char>(64 + a.segment / kSlotsPerSymbol) + "' slot " +
                              std::to_string(a.segment % kSlotsPerSymbol) + ")";
    if (voice.index[a.segment] == 0 || voice.index[a.segment] > voice.data.size()) {
      problems.push_back(where + ": outside the data");
      continue;
    }
    Walk walk{voice, problems};
    walk.segment(a.segment, 0, where);
    if (a.required && walk.periods == 0) problems.push_back(where + ": empty");
    const bool silentByDesign = a.segment == 0 || a.segment == segmentNumber('^', 0) ||
                                a.segment == segmentNumber('\\', 0) || a.segment == segmentNumber('`', 0);
    if (a.required && walk.periods > 0 && !silentByDesign && !walk.audible) problems.push_back(where + ": silent");
  }
  const int distinct = distinctDraws(voice.generatorState, 4096);
  if (distinct < 48) problems.push_back("generator state gives only " + std::to_string(distinct) + " distinct draws");
  return problems;
}

}  // namespace voicebuild
