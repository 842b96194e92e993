// Writing the voice file: 8-bit period records, segment delimiters, the
// length table and generator state, and the scrambled sample data.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/voicebuild/voice_plan.h"

namespace voicebuild {

constexpr uint8_t kDelimiter = 0xFF;
constexpr uint16_t kScrambleMask = 0x4C27;

using GeneratorState = std::array<uint8_t, 17>;

// 16-bit sample value x to the 8-bit record value (128 = zero), never 255.
uint8_t quantise(double x, double scale);

// The decoded sample data: FF, segment 0, FF, segment 1, ... FF, last
// segment, FF. A reference whose target number has a 255 byte is written as
// a copy of the target instead. Throws std::runtime_error for a part or
// period that does not fit the format.
std::vector<uint8_t> encodeSegments(const Voice& voice, double scale);

// One key stream step on S[0..15]; `index` runs 0..15.
uint8_t nextKeyByte(GeneratorState& state, int& index);

// The whole file: length table, generator state, scrambled data.
std::vector<uint8_t> assembleFile(const std::array<uint8_t, 51>& lengthTable, const GeneratorState& state,
                                  const std::vector<uint8_t>& data);

std::string sha256Hex(const std::vector<uint8_t>& bytes);

}  // namespace voicebuild
