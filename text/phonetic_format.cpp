// Encoding and decoding of the phonetic stream's elements.
#include "text/phonetic_format.h"

namespace sonter2 {

void encodeElement(std::string& out, uint32_t code, uint32_t value) {
  const auto c = static_cast<uint8_t>(code & 0xFF);
  if ((c >= 128 && c <= 150) || c == TextPosition) {
    out.push_back(static_cast<char>(c));
    for (size_t i = 0; i < argumentBytes(c); ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  } else if (c == SyllableCount) {
    out.push_back(static_cast<char>((160 + value) & 0xFF));
  } else {
    out.push_back(static_cast<char>(c));
  }
}

DecodedElement decodeElement(const std::string& data, size_t pos) {
  DecodedElement e;
  const auto b = static_cast<uint8_t>(data[pos]);
  if (b >= 160 && b <= 162) {
    e.code = SyllableCount;
    e.argument = b - 160u;
    return e;
  }
  e.code = b;
  const size_t n = argumentBytes(b);
  for (size_t i = 0; i < n && pos + 1 + i < data.size(); ++i) {
    e.argument |= static_cast<uint32_t>(static_cast<uint8_t>(data[pos + 1 + i])) << (8 * i);
  }
  e.length = 1 + n;
  return e;
}

}  // namespace sonter2
