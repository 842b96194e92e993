// Reader for a Festival diphone "group" file: one ASCII index followed by,
// for every diphone, an LPC coefficient track (pitchmark times and predictor
// coefficients) and an 8-bit mu-law residual in a Sun audio header.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace voicebuild {

// One diphone as stored: the residual and, per pitchmark, the predictor.
struct Diphone {
  std::string name;
  int rate = 0;                              // residual sample rate
  int middleFrame = 0;                       // frames 0..middleFrame belong to the left phone
  std::vector<double> times;                 // pitchmark times in seconds from residual start
  std::vector<std::vector<double>> coefs;    // per frame a1..aP
  std::vector<double> residual;              // linear, 16-bit scale
};

class GroupFile {
 public:
  // Reads the whole file; throws std::runtime_error when it is missing or
  // its index is malformed.
  explicit GroupFile(const std::string& path);

  bool has(std::string_view name) const { return index_.count(std::string(name)) != 0; }
  // Throws std::runtime_error for an unknown name or a malformed entry.
  Diphone load(std::string_view name) const;
  std::vector<std::string> names() const;
  int rate() const { return rate_; }

 private:
  struct Entry {
    uint64_t track = 0, wave = 0;
    int middle = 0;
  };
  std::string data_;
  uint64_t base_ = 0;
  std::map<std::string, Entry> index_;
  int rate_ = 0;
};

// G.711 mu-law byte to linear (16-bit scale).
int muLawToLinear(uint8_t byte);

}  // namespace voicebuild
