// The character classes every stage of text analysis agrees on: which bytes
// of code page 1250 are letters, how they lowercase, digits and white space.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/cp1250_literal.h"

namespace sonter2 {

// The code-page letters besides A-Z and a-z.
inline constexpr std::string_view kCodePageLetters = "ŠŤŽšťžĽľŔÁÄĹČÉĚÍĎŇÓÔÖŘŮÚÜÝßŕáäĺčéěíďňóôöřůúüý"_cp;
// Capitals that lowercase, paired by position with their small letters.
inline constexpr std::string_view kCodePageCapitals = "ŠŤŽĽŔÁÄĹČÉĚÍĎŇÓÔÖŘŮÚÜÝ"_cp;
inline constexpr std::string_view kCodePageSmall = "šťžľŕáäĺčéěíďňóôöřůúüý"_cp;
static_assert(kCodePageCapitals.size() == kCodePageSmall.size());

namespace character_class_detail {

struct Tables {
  std::array<bool, 256> letter{};
  std::array<uint8_t, 256> lower{};
};

consteval Tables MakeTables() {
  Tables t;
  for (int b = 0; b < 256; ++b) {
    t.lower[b] = static_cast<uint8_t>(b);
    t.letter[b] = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
  }
  for (int b = 'A'; b <= 'Z'; ++b) t.lower[b] = static_cast<uint8_t>(b - 'A' + 'a');
  for (char c : kCodePageLetters) t.letter[static_cast<uint8_t>(c)] = true;
  for (size_t i = 0; i < kCodePageCapitals.size(); ++i) {
    t.lower[static_cast<uint8_t>(kCodePageCapitals[i])] = static_cast<uint8_t>(kCodePageSmall[i]);
  }
  return t;
}

inline constexpr Tables kTables = MakeTables();

}  // namespace character_class_detail

constexpr bool IsLetter(uint8_t b) { return character_class_detail::kTables.letter[b]; }
constexpr bool IsLetter(char c) { return IsLetter(static_cast<uint8_t>(c)); }
constexpr bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// Blank, tab, line feed, vertical tab, form feed, carriage return; no byte of
// 128 or more is white space.
constexpr bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
constexpr char ToLower(char c) {
  return static_cast<char>(character_class_detail::kTables.lower[static_cast<uint8_t>(c)]);
}

inline void LowercaseInPlace(std::string& text) {
  for (char& c : text) c = ToLower(c);
}

// True when `set` holds the byte `c`. The classes of the rules are short
// strings, so a plain scan beats a library search.
constexpr bool InSet(std::string_view set, char c) {
  for (char member : set) {
    if (member == c) return true;
  }
  return false;
}
constexpr bool InSet(std::string_view set, int c) { return c >= 0 && c < 256 && InSet(set, static_cast<char>(c)); }

// A byte class as a table, for the classes tested on every symbol.
class ByteSet {
 public:
  constexpr explicit ByteSet(std::string_view members) {
    for (char c : members) member_[static_cast<uint8_t>(c)] = true;
  }
  constexpr bool contains(char c) const { return member_[static_cast<uint8_t>(c)]; }
  constexpr bool contains(int c) const { return c >= 0 && c < 256 && member_[c]; }

 private:
  std::array<bool, 256> member_{};
};

}  // namespace sonter2
