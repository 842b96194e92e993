// Code page 1250 string constants written as readable UTF-8 in the source:
// "čárka"_cp is the five bytes E8 E1 72 6B 61. The conversion runs at compile
// time, so a character the code page lacks is a compile error, not a '?'.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sonter2 {

namespace cp1250_detail {

// Unicode code points of the bytes 128 to 255; 0 marks the five unused bytes.
inline constexpr std::array<char32_t, 128> kHighHalf = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, 0,      0x2030, 0x0160, 0x2039, 0x015A,
    0x0164, 0x017D, 0x0179, 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0,      0x2122,
    0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6,
    0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142,
    0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154,
    0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD,
    0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA,
    0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4,
    0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

consteval char ToByte(char32_t c) {
  if (c < 0x80) return static_cast<char>(c);
  for (size_t i = 0; i < kHighHalf.size(); ++i) {
    if (kHighHalf[i] == c) return static_cast<char>(0x80 + i);
  }
  throw "character not in code page 1250";  // not a constant expression: compile error
}

template <size_t N>
struct Literal {
  char bytes[N]{};
  size_t size = 0;
  consteval Literal(const char (&utf8)[N]) {
    for (size_t i = 0; i + 1 < N;) {
      const auto lead = static_cast<uint8_t>(utf8[i]);
      char32_t c = lead;
      size_t length = 1;
      if (lead >= 0xF0) {
        c = lead & 0x07;
        length = 4;
      } else if (lead >= 0xE0) {
        c = lead & 0x0F;
        length = 3;
      } else if (lead >= 0xC0) {
        c = lead & 0x1F;
        length = 2;
      }
      for (size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
      bytes[size++] = ToByte(c);
      i += length;
    }
  }
};

}  // namespace cp1250_detail

// "text"_cp: the code page 1250 bytes of a UTF-8 literal, as a string_view
// into static storage.
template <cp1250_detail::Literal L>
constexpr std::string_view operator""_cp() {
  return {L.bytes, L.size};
}

}  // namespace sonter2
