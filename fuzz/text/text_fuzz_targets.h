// Fuzz entry points of text analysis, shared by the libFuzzer programs and
// the ordinary test that replays every input that ever crashed them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sonter2::fuzz {

// The whole converter over arbitrary text. The first byte chooses the mode:
// bit 0 tagged text, bit 1 letter-by-letter reading, bit 2 the second
// speaker, bit 3 a dictionary that empties punctuation names.
void FuzzConverter(const uint8_t* data, size_t size);

// Arbitrary bytes as a dictionary file: LoadFile, Build, then Apply on
// words cut from the same bytes, checked against a plain longest-match
// search.
void FuzzDictionary(const uint8_t* data, size_t size);

}  // namespace sonter2::fuzz
