// Code page 1250 (Windows Central European), the engine's one text encoding,
// and conversions between it, UTF-16 and UTF-8.
#include "platform/codepage.h"

#include <array>

namespace sonter2::platform {

namespace {

// Unicode for the bytes 0x80 to 0xFF. The five bytes the code page leaves
// undefined (0x81, 0x83, 0x88, 0x90, 0x98) map to the C1 control of the same
// value, so that every byte survives a round trip.
constexpr std::array<char16_t, 128> kHighHalf = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9};

struct ReverseTable {
  std::array<uint8_t, 0x2200> bytes{};  // 0 = not representable
  constexpr ReverseTable() {
    for (int b = 0; b < 128; ++b) bytes[b] = static_cast<uint8_t>(b);
    for (int b = 0; b < 128; ++b) bytes[kHighHalf[b]] = static_cast<uint8_t>(b + 128);
  }
};
constexpr ReverseTable kReverse;

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

char16_t Cp1250ToUnicode(uint8_t byte) { return byte < 128 ? byte : kHighHalf[byte - 128]; }

int UnicodeToCp1250(char32_t c) {
  if (c == 0) return 0;
  if (c >= kReverse.bytes.size()) return -1;
  uint8_t b = kReverse.bytes[c];
  return b == 0 ? -1 : b;
}

std::string Utf16ToCp1250(std::u16string_view text, char replacement) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    // A surrogate pair is one character, and no character outside the basic
    // plane is in the code page.
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
      out.push_back(replacement);
      continue;
    }
    int b = UnicodeToCp1250(u);
    out.push_back(b < 0 ? replacement : static_cast<char>(b));
  }
  return out;
}

std::u16string Cp1250ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) out.push_back(Cp1250ToUnicode(static_cast<uint8_t>(c)));
  return out;
}

std::string Utf16ToAnsi(std::u16string_view text) { return Utf16ToCp1250(text, '?'); }

std::u16string AnsiToUtf16(std::string_view text) { return Cp1250ToUtf16(text); }

bool DecodeUtf8(std::string_view text, std::u32string& out, size_t* badOffset) {
  out.clear();
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    auto b0 = static_cast<uint8_t>(text[i]);
    char32_t c;
    size_t len;
    if (b0 < 0x80) {
      c = b0;
      len = 1;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
      c = b0 & 0x1F;
      len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      c = b0 & 0x0F;
      len = 3;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      c = b0 & 0x07;
      len = 4;
    } else {
      if (badOffset) *badOffset = i;
      return false;
    }
    if (i + len > text.size()) {
      if (badOffset) *badOffset = i;
      return false;
    }
    for (size_t k = 1; k < len; ++k) {
      auto b = static_cast<uint8_t>(text[i + k]);
      if ((b & 0xC0) != 0x80) {
        if (badOffset) *badOffset = i;
        return false;
      }
      c = (c << 6) | (b & 0x3F);
    }
    bool overlong = (len == 3 && c < 0x800) || (len == 4 && c < 0x10000);
    if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      if (badOffset) *badOffset = i;
      return false;
    }
    out.push_back(c);
    i += len;
  }
  return true;
}

std::u16string Utf32ToUtf16(std::u32string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char32_t c : text) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string Utf32ToUtf8(std::u32string_view text) {
  std::string out;
  for (char32_t c : text) appendUtf8(out, c);
  return out;
}

std::string Cp1250ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) appendUtf8(out, Cp1250ToUnicode(static_cast<uint8_t>(c)));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    appendUtf8(out, c);
  }
  return out;
}

std::string Utf8ToCp1250(std::string_view text, char replacement) {
  std::u32string chars;
  size_t bad = 0;
  std::string out;
  if (!DecodeUtf8(text, chars, &bad)) return out;
  out.reserve(chars.size());
  for (char32_t c : chars) {
    int b = UnicodeToCp1250(c);
    out.push_back(b < 0 ? replacement : static_cast<char>(b));
  }
  return out;
}

}  // namespace sonter2::platform
