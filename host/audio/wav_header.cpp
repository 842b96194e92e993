// The RIFF header of our one output format.
#include "host/audio/wav_header.h"

#include <algorithm>

#include "host/audio/audio_destination.h"

namespace sonter2::host {

namespace {

void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

std::array<uint8_t, kWavHeaderSize> MakeWavHeader(uint64_t dataBytes) {
  std::array<uint8_t, kWavHeaderSize> h{};
  const uint64_t data = std::min<uint64_t>(dataBytes, kWavUnknownSize);
  const uint64_t riff = std::min<uint64_t>(data + 36, kWavUnknownSize);
  uint8_t* p = h.data();
  std::copy_n("RIFF", 4, p);
  put32(p + 4, static_cast<uint32_t>(riff));
  std::copy_n("WAVEfmt ", 8, p + 8);
  put32(p + 16, 16);  // size of the PCM format record
  put16(p + 20, 1);   // PCM
  put16(p + 22, 1);   // one channel
  put32(p + 24, kSampleRate);
  put32(p + 28, kBytesPerSecond);
  put16(p + 32, 2);   // bytes per sample frame
  put16(p + 34, 16);  // bits per sample
  std::copy_n("data", 4, p + 36);
  put32(p + 40, static_cast<uint32_t>(data));
  return h;
}

}  // namespace sonter2::host
