#include "tools/voicebuild/group_file.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace voicebuild {
namespace {

// Reads "key value" header lines from `pos` up to and including the line
// "EST_Header_End"; leaves `pos` behind that line.
std::map<std::string, std::string> readHeader(const std::string& data, uint64_t& pos) {
  std::map<std::string, std::string> header;
  while (pos < data.size()) {
    size_t eol = data.find('\n', pos);
    if (eol == std::string::npos) break;
    std::string line = data.substr(pos, eol - pos);
    pos = eol + 1;
    if (line == "EST_Header_End") return header;
    size_t blank = line.find(' ');
    if (blank != std::string::npos) header[line.substr(0, blank)] = line.substr(blank + 1);
  }
  throw std::runtime_error("header without EST_Header_End");
}

uint32_t bigEndian32(const std::string& data, uint64_t pos) {
  const auto* p = reinterpret_cast<const unsigned char*>(data.data() + pos);
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

float readFloat(const std::string& data, uint64_t pos, bool bigEndian) {
  unsigned char b[4];
  std::memcpy(b, data.data() + pos, 4);
  if (bigEndian) {
    std::swap(b[0], b[3]);
    std::swap(b[1], b[2]);
  }
  float f;
  std::memcpy(&f, b, 4);
  return f;
}

}  // namespace

int muLawToLinear(uint8_t byte) {
  static constexpr int kSegmentBase[8] = {0, 132, 396, 924, 1980, 4092, 8316, 16764};
  const uint8_t u = static_cast<uint8_t>(~byte);
  const int exponent = (u >> 4) & 7;
  const int mantissa = u & 15;
  const int magnitude = kSegmentBase[exponent] + (mantissa << (exponent + 3));
  return (u & 0x80) ? -magnitude : magnitude;
}

GroupFile::GroupFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  data_ = buffer.str();

  uint64_t pos = 0;
  auto header = readHeader(data_, pos);
  if (header["EST_File"] != "index" || header["DataFormat"] != "grouped")
    throw std::runtime_error(path + ": not a grouped diphone index");
  const long entries = std::stol(header["NumEntries"]);
  for (long i = 0; i < entries; ++i) {
    size_t eol = data_.find('\n', pos);
    if (eol == std::string::npos) throw std::runtime_error(path + ": index ends early");
    std::istringstream line(data_.substr(pos, eol - pos));
    pos = eol + 1;
    std::string name;
    Entry e;
    if (!(line >> name >> e.track >> e.wave >> e.middle)) throw std::runtime_error(path + ": bad index line");
    index_.emplace(name, e);  // the first entry of a repeated name wins
  }
  base_ = pos;
  for (const auto& [name, e] : index_) {
    if (base_ + e.wave + 24 > data_.size() || base_ + e.track >= data_.size())
      throw std::runtime_error(path + ": entry " + name + " lies outside the file");
  }
  if (!index_.empty()) rate_ = load(index_.begin()->first).rate;
}

std::vector<std::string> GroupFile::names() const {
  std::vector<std::string> out;
  for (const auto& [name, e] : index_) out.push_back(name);
  return out;
}

Diphone GroupFile::load(std::string_view name) const {
  auto it = index_.find(std::string(name));
  if (it == index_.end()) throw std::runtime_error("no diphone " + std::string(name));
  const Entry& e = it->second;
  Diphone d;
  d.name = it->first;
  d.middleFrame = e.middle;

  uint64_t pos = base_ + e.track;
  auto header = readHeader(data_, pos);
  if (header["EST_File"] != "Track" || header["DataType"] != "binary")
    throw std::runtime_error(d.name + ": track is not binary");
  const bool bigEndian = header["ByteOrder"] == "10";
  const long frames = std::stol(header["NumFrames"]);
  const long channels = std::stol(header["NumChannels"]);
  if (frames < 2 || channels < 2) throw std::runtime_error(d.name + ": track too small");
  const uint64_t frameBytes = 8 + 4 * static_cast<uint64_t>(channels);
  if (pos + frameBytes * frames > data_.size()) throw std::runtime_error(d.name + ": track truncated");
  for (long f = 0; f < frames; ++f) {
    const uint64_t at = pos + frameBytes * f;
    d.times.push_back(readFloat(data_, at, bigEndian));
    std::vector<double> a;
    for (long c = 1; c < channels; ++c) a.push_back(readFloat(data_, at + 8 + 4 * c, bigEndian));
    d.coefs.push_back(std::move(a));
  }

  pos = base_ + e.wave;
  if (data_.compare(pos, 4, ".snd") != 0) throw std::runtime_error(d.name + ": residual is not .snd");
  const uint32_t headerSize = bigEndian32(data_, pos + 4);
  const uint32_t dataSize = bigEndian32(data_, pos + 8);
  const uint32_t encoding = bigEndian32(data_, pos + 12);
  d.rate = static_cast<int>(bigEndian32(data_, pos + 16));
  const uint32_t channelsSnd = bigEndian32(data_, pos + 20);
  if (encoding != 1 || channelsSnd != 1) throw std::runtime_error(d.name + ": residual not mono mu-law");
  if (pos + headerSize + dataSize > data_.size()) throw std::runtime_error(d.name + ": residual truncated");
  d.residual.reserve(dataSize);
  for (uint32_t i = 0; i < dataSize; ++i)
    d.residual.push_back(muLawToLinear(static_cast<uint8_t>(data_[pos + headerSize + i])));
  return d;
}

}  // namespace voicebuild
