// The 44-byte RIFF header of a 22050 Hz mono 16-bit PCM WAV file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sonter2::host {

inline constexpr size_t kWavHeaderSize = 44;
// The data size written when it is not known: a stream into a pipe.
// Readers take the largest size as "until the end".
inline constexpr uint32_t kWavUnknownSize = 0xFFFFFFFF;

// The header for `dataBytes` of samples; sizes that do not fit 32 bits
// are clamped, and kWavUnknownSize gives the largest sizes.
std::array<uint8_t, kWavHeaderSize> MakeWavHeader(uint64_t dataBytes);

// Byte offsets of the two size fields, for fixing them up in place.
inline constexpr long kWavRiffSizeOffset = 4;
inline constexpr long kWavDataSizeOffset = 40;

}  // namespace sonter2::host
