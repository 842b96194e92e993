#include "tests/support/empty_voice.h"

#include <algorithm>
#include <array>
#include <vector>

namespace sonter2::test {

std::unique_ptr<DecodedVoice> emptyVoice() {
  std::vector<uint8_t> file(kVoiceHeaderSize, 10);
  for (size_t i = 0; i < kNoiseGenSize; ++i) file[kLenTableSize + i] = static_cast<uint8_t>(17 * i + 3);
  std::array<uint8_t, kNoiseGenSize> state;
  std::copy_n(file.begin() + kLenTableSize, kNoiseGenSize, state.begin());
  uint32_t index = 0;
  const uint16_t decoded = 0xFFFF;  // two delimiters: segment 0 and every other is empty
  const uint16_t stored = static_cast<uint16_t>((decoded ^ kScrambleMask) + nextKeyByte(state, index));
  file.push_back(static_cast<uint8_t>(stored & 0xFF));
  file.push_back(static_cast<uint8_t>(stored >> 8));
  return DecodedVoice::fromFileBytes(file);
}

}  // namespace sonter2::test
