// Writes voice files for tests: a readable description of segments (parts of
// pitch periods, references, raw bytes) becomes the decoded sample data and
// the file as the engine reads it (header, then the data scrambled with the
// key stream of the header's generator state).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sonter2::test {

using Period = std::vector<uint8_t>;  // the samples; the length byte is added

// A period of `length` samples of one value.
Period flatPeriod(size_t length, uint8_t value);

class SegmentWriter {
 public:
  // An ordinary part of class 1..49 with its periods.
  SegmentWriter& part(uint8_t cls, const std::vector<Period>& periods);
  // A fixed part: class byte cls + 50.
  SegmentWriter& fixedPart(uint8_t cls, const std::vector<Period>& periods);
  // A part header of class 0 (byte 0 or 50): no period data follows.
  SegmentWriter& emptyPart(uint8_t classByte = 0);
  // Plays segment `target` here; override 0 keeps the class of the part
  // header reached, otherwise it replaces it.
  SegmentWriter& reference(uint16_t target, uint8_t classOverride = 0);
  // Bytes as they stand, for damaged data.
  SegmentWriter& raw(const std::vector<uint8_t>& bytes);

  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

class VoiceFileWriter {
 public:
  VoiceFileWriter();

  std::array<uint8_t, 51> lenTable{};
  std::array<uint8_t, 17> noiseGen{};
  // Bytes before the first delimiter (belong to no segment).
  std::vector<uint8_t> prefix;
  // Segments numbered 0 to the largest one described; missing ones are empty.
  std::map<uint32_t, SegmentWriter> segments;
  // Ends the data with a delimiter after the last segment.
  bool closingDelimiter = true;

  SegmentWriter& segment(uint32_t n) { return segments[n]; }

  // The sample data as the engine holds it after descrambling.
  std::vector<uint8_t> decodedData() const;
  // The whole file: header and scrambled data.
  std::vector<uint8_t> fileBytes() const;
  void writeTo(const std::string& path) const;
};

// Scrambles decoded sample data with the key stream started from `noiseGen`.
std::vector<uint8_t> scrambleSamples(const std::vector<uint8_t>& decoded, std::array<uint8_t, 17> noiseGen);

// A voice of realistic size and shape: every segment of the 63 symbols the
// converter can write holds one to three parts of about 100-sample periods,
// some consonant slots refer to slot 0. Deterministic for a seed.
VoiceFileWriter realisticVoice(uint32_t seed);

// A unique path in the system's temporary directory.
std::string temporaryPath(const std::string& stem);

}  // namespace sonter2::test
