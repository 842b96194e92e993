// A process that attaches to a voice database as the library would, reports
// what it sees on standard output and detaches when told (a line "detach" on
// standard input, or its end). Tests start several of these to check how
// processes share one database.
//
// Usage: database_probe VOICE_FILE REGION_NAME
// Output: "attached decoded=D voice=V objCount=N size=S sum=H noise=H us=T"
//         (T: microseconds the attach took)
//         "detached objCount=N"
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

#include "synth/voice_database.h"

namespace {

// FNV-1a over the decoded samples and the index, so processes can compare
// what they mapped.
uint64_t checksum(const sonter2::VoiceData& voice) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  };
  mix(voice.samples, voice.samplesSize);
  mix(voice.segmentIndex, sonter2::kSegmentIndexBytes);
  return h;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  sonter2::VoiceDatabase database;
  const auto start = std::chrono::steady_clock::now();
  database.attachDatabase(argv[1], argv[2]);
  const auto us =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
  const sonter2::VoiceData* voice = database.voice();
  const sonter2::SharedVariables shared = database.sharedVariables();
  std::string noise;
  char hex[4];
  if (voice != nullptr) {
    for (uint8_t b : voice->noiseGen) {
      std::snprintf(hex, sizeof hex, "%02x", b);
      noise += hex;
    }
  }
  std::printf("attached decoded=%d voice=%d objCount=%d size=%u sum=%016llx noise=%s us=%lld\n", database.decodedHere() ? 1 : 0,
              voice != nullptr ? 1 : 0, shared.objCount, voice != nullptr ? voice->samplesSize : 0u,
              static_cast<unsigned long long>(voice != nullptr ? checksum(*voice) : 0), noise.c_str(),
              static_cast<long long>(us));
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line) && line != "detach") {
  }
  database.detachDatabase();
  std::printf("detached objCount=%d\n", database.sharedVariables().objCount);
  return 0;
}
