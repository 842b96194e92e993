// Code page 1250 (Windows Central European) is the one encoding inside the
// engine. These conversions are pure functions of the code page's table; on
// this platform the "system ANSI code page" is 1250 as well.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sonter2::platform {

// Byte 0x01 stands for a character the code page cannot hold on the text path.
inline constexpr char kUnconvertible = 0x01;

char16_t Cp1250ToUnicode(uint8_t byte);
// The code-page byte for a character, or -1 when the code page has none.
// No best fit: 'ł' maps, 'à' does not.
int UnicodeToCp1250(char32_t c);

// UTF-16 to code page 1250 without best fit; every character the code page
// cannot hold (a surrogate pair counts as one) becomes `replacement`.
std::string Utf16ToCp1250(std::u16string_view text, char replacement);
std::u16string Cp1250ToUtf16(std::string_view text);

// The system ANSI code page with default rules: unconvertible characters
// become '?'.
std::string Utf16ToAnsi(std::u16string_view text);
std::u16string AnsiToUtf16(std::string_view text);

// Strict UTF-8 decoding. On failure returns false and sets *badOffset to the
// byte offset of the first invalid sequence.
bool DecodeUtf8(std::string_view text, std::u32string& out, size_t* badOffset);
std::u16string Utf32ToUtf16(std::u32string_view text);
std::string Utf32ToUtf8(std::u32string_view text);
std::string Cp1250ToUtf8(std::string_view text);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// Valid UTF-8 to code page 1250 (unconvertible characters become
// `replacement`); an empty string when the input is not valid UTF-8.
std::string Utf8ToCp1250(std::string_view text, char replacement);

}  // namespace sonter2::platform
