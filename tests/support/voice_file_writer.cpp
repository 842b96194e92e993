// The voice file format written from the other side: delimiters between
// segments, records inside them, and the scrambling that the loader undoes.
#include "tests/support/voice_file_writer.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace sonter2::test {

namespace {

void appendPeriods(std::vector<uint8_t>& out, const std::vector<Period>& periods) {
  if (periods.size() > 254) throw std::invalid_argument("at most 254 periods in a part");
  out.push_back(static_cast<uint8_t>(periods.size()));
  for (const Period& p : periods) {
    if (p.size() > 254) throw std::invalid_argument("at most 254 samples in a period");
    out.push_back(static_cast<uint8_t>(p.size()));
    out.insert(out.end(), p.begin(), p.end());
  }
}

}  // namespace

Period flatPeriod(size_t length, uint8_t value) { return Period(length, value); }

SegmentWriter& SegmentWriter::part(uint8_t cls, const std::vector<Period>& periods) {
  bytes_.push_back(cls);
  appendPeriods(bytes_, periods);
  return *this;
}

SegmentWriter& SegmentWriter::fixedPart(uint8_t cls, const std::vector<Period>& periods) {
  bytes_.push_back(static_cast<uint8_t>(cls + 50));
  appendPeriods(bytes_, periods);
  return *this;
}

SegmentWriter& SegmentWriter::emptyPart(uint8_t classByte) {
  bytes_.push_back(classByte);
  return *this;
}

SegmentWriter& SegmentWriter::reference(uint16_t target, uint8_t classOverride) {
  bytes_.push_back(static_cast<uint8_t>(100 + classOverride));
  bytes_.push_back(static_cast<uint8_t>(target & 0xFF));
  bytes_.push_back(static_cast<uint8_t>(target >> 8));
  return *this;
}

SegmentWriter& SegmentWriter::raw(const std::vector<uint8_t>& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

VoiceFileWriter::VoiceFileWriter() {
  // Distinct, non-zero generator bytes so that the key stream is not trivial.
  for (size_t i = 0; i < noiseGen.size(); ++i) noiseGen[i] = static_cast<uint8_t>(17 * i + 5);
}

std::vector<uint8_t> VoiceFileWriter::decodedData() const {
  std::vector<uint8_t> data = prefix;
  if (segments.empty()) return data;
  const uint32_t last = segments.rbegin()->first;
  for (uint32_t n = 0; n <= last; ++n) {
    data.push_back(0xFF);
    auto it = segments.find(n);
    if (it != segments.end()) data.insert(data.end(), it->second.bytes().begin(), it->second.bytes().end());
  }
  if (closingDelimiter) data.push_back(0xFF);
  return data;
}

std::vector<uint8_t> scrambleSamples(const std::vector<uint8_t>& decoded, std::array<uint8_t, 17> state) {
  std::vector<uint8_t> out = decoded;
  uint32_t index = 0;
  for (size_t j = 0; j + 1 < out.size(); j += 2) {
    const uint8_t b = state[index];
    index = (index + 1) % 16;
    state[index] = static_cast<uint8_t>(state[index] + b);
    const uint16_t word = static_cast<uint16_t>(out[j] | (out[j + 1] << 8)) ^ 0x4C27;
    const uint16_t stored = static_cast<uint16_t>(word + state[index]);
    out[j] = static_cast<uint8_t>(stored & 0xFF);
    out[j + 1] = static_cast<uint8_t>(stored >> 8);
  }
  return out;
}

std::vector<uint8_t> VoiceFileWriter::fileBytes() const {
  std::vector<uint8_t> file(lenTable.begin(), lenTable.end());
  file.insert(file.end(), noiseGen.begin(), noiseGen.end());
  const std::vector<uint8_t> scrambled = scrambleSamples(decodedData(), noiseGen);
  file.insert(file.end(), scrambled.begin(), scrambled.end());
  return file;
}

void VoiceFileWriter::writeTo(const std::string& path) const {
  const std::vector<uint8_t> bytes = fileBytes();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot write " + path);
  const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  if (written != bytes.size()) throw std::runtime_error("short write to " + path);
}

VoiceFileWriter realisticVoice(uint32_t seed) {
  VoiceFileWriter voice;
  std::mt19937 random(seed);
  auto below = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
  // Lengths in the range a real voice uses: short transitions, longer bodies.
  for (size_t i = 0; i <= 40; ++i) voice.lenTable[i] = static_cast<uint8_t>(i < 11 ? 4 + i : 3 + below(18));
  voice.lenTable[21] = 3;
  for (size_t i = 0; i < voice.noiseGen.size(); ++i) voice.noiseGen[i] = static_cast<uint8_t>(random());
  for (uint32_t symbol = 64; symbol < 127; ++symbol) {
    for (uint32_t slot = 0; slot < 60; ++slot) {
      SegmentWriter& segment = voice.segment((symbol - 64) * 60 + slot);
      if (slot >= 11 && slot <= 12 && symbol != 64) {
        segment.reference(static_cast<uint16_t>((symbol - 64) * 60), 0);
        continue;
      }
      const uint32_t parts = 1 + below(3);
      for (uint32_t k = 0; k < parts; ++k) {
        std::vector<Period> periods(2 + below(6));
        const size_t length = 80 + below(60);
        for (Period& p : periods) {
          p.resize(length);
          for (size_t i = 0; i < length; ++i) p[i] = static_cast<uint8_t>(64 + below(128));
        }
        const auto cls = static_cast<uint8_t>(11 + below(30));
        if (below(4) == 0) {
          segment.fixedPart(cls, periods);
        } else {
          segment.part(cls, periods);
        }
      }
    }
  }
  return voice;
}

std::string temporaryPath(const std::string& stem) {
  static std::atomic<uint32_t> counter{0};
  return (std::filesystem::temp_directory_path() /
          (stem + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++)))
      .string();
}

}  // namespace sonter2::test
