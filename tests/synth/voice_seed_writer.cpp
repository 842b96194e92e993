// Writes the seed corpus of the voice fuzzer into a directory: small voices
// made with the test voice writer (every record kind, references, fixed and
// class-0 parts, a damaged one).
//
// Usage: voice_seed_writer DIRECTORY
#include <cstdio>
#include <string>

#include "tests/support/voice_file_writer.h"

using sonter2::test::flatPeriod;
using sonter2::test::VoiceFileWriter;

namespace {

VoiceFileWriter smallVoice() {
  VoiceFileWriter w;
  for (size_t i = 0; i < w.lenTable.size(); ++i) w.lenTable[i] = static_cast<uint8_t>(1 + i % 7);
  w.segment(0).part(1, {flatPeriod(14, 100), flatPeriod(16, 120)});
  for (uint32_t symbol = 64; symbol < 128; ++symbol) {
    const uint32_t base = (symbol - 64) * 60;
    w.segment(base).part(3, {flatPeriod(12, 140), flatPeriod(14, 150), flatPeriod(10, 90)});
    w.segment(base + 1).reference(static_cast<uint16_t>(base), 2);
    w.segment(base + 11).fixedPart(4, {flatPeriod(8, 160)}).emptyPart(0);
    w.segment(base + 21).part(5, {flatPeriod(18, 110)});
    w.segment(base + 41).part(25, {flatPeriod(20, 130), flatPeriod(16, 126)});
  }
  return w;
}

bool write(const std::string& path, const VoiceFileWriter& w) {
  try {
    w.writeTo(path);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  VoiceFileWriter damaged = smallVoice();
  damaged.segment(3000).reference(3000).raw({45, 1, 3});
  damaged.closingDelimiter = false;
  VoiceFileWriter tiny;
  tiny.segment(0).part(1, {flatPeriod(10, 128)});
  bool ok = write(dir + "/small.rec", smallVoice()) && write(dir + "/damaged.rec", damaged) &&
            write(dir + "/tiny.rec", tiny);
  return ok ? 0 : 1;
}
