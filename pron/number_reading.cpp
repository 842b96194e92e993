// Number reading. Numbers are read by three-digit groups from the left; each
// group's word agrees with the whole value of its group (1: singular, 2-4:
// plural, otherwise genitive plural).
#include "pron/number_reading.h"

#include <array>

#include "text/cp1250_literal.h"

namespace sonter2 {

namespace {

using Words = std::array<std::string_view, 10>;

// Indexed by one decimal digit; "" is never spoken.
constexpr Words kHundreds = {""_cp,        "sto"_cp,     "dvěstě"_cp,  "třista"_cp,  "čtyřista"_cp,
                             "pětset"_cp,  "šestset"_cp, "sedmset"_cp, "osmset"_cp,  "devětset"_cp};
constexpr Words kUnits = {""_cp,    "jedna"_cp, "dva"_cp,  "tři"_cp, "čtyři"_cp,
                          "pět"_cp, "šest"_cp,  "sedm"_cp, "osm"_cp, "devět"_cp};
constexpr Words kDigitNames = {"nula"_cp, "jedna"_cp, "dva"_cp,  "tři"_cp, "čtyři"_cp,
                               "pět"_cp,  "šest"_cp,  "sedm"_cp, "osm"_cp, "devět"_cp};
constexpr Words kTens = {""_cp,        "",           "dvacet"_cp,    "třicet"_cp,    "čtyřicet"_cp,
                         "padesát"_cp, "šedesát"_cp, "sedmdesát"_cp, "osmdesát"_cp, "devadesát"_cp};
// 1 followed by the digit.
constexpr Words kTeens = {"deset"_cp,     "jedenáct"_cp, "dvanáct"_cp,   "třináct"_cp,   "čtrnáct"_cp,
                          "patnáct"_cp,   "šestnáct"_cp, "sedmnáct"_cp,  "osmnáct"_cp,   "devatenáct"_cp};

// Indexed by group number, the units group being 1. The scale runs on without
// the -iarda steps after the billions: 10^15 is "trilión".
constexpr std::array<std::string_view, 8> kGroupWords = {
    "", "", "tisíc"_cp, "milión"_cp, "miliard"_cp, "bilión"_cp, "trilión"_cp, "kvadrilión"_cp};
constexpr int kMaxGroups = 7;

constexpr std::string_view kZero = "nula"_cp;
constexpr std::string_view kNoWhole = "žádná"_cp;  // a lone 0 before a decimal part
constexpr std::string_view kFeminineTwo = "dvě"_cp;
constexpr std::string_view kMinus = "mínus"_cp;

// Digits outside 0-9 are outside the callers' contract; read them as 0 rather
// than index past the tables.
int DigitValue(char c) { return c >= '0' && c <= '9' ? c - '0' : 0; }

std::string GroupWord(int group, int value) {
  std::string word(kGroupWords[group]);
  if (word.empty()) return word;
  if (value == 1) {
    if (group == 4) word += 'a';  // miliarda
  } else if (value <= 4) {
    word += group == 2 ? 'e' : 'y';  // tisíce, milióny, miliardy
  } else if (group == 3 || group >= 5) {
    word += "ů"_cp;  // miliónů, biliónů; tisíc and miliard stay bare
  }
  return word;
}

}  // namespace

void AppendWord(WordList& words, std::string_view word) {
  if (!word.empty()) words.emplace_back(word);
}

bool IsNumberToken(std::string_view token) {
  if (token.empty()) return false;
  const char first = token[0];
  if (first >= '0' && first <= '9') return true;
  return token.size() > 1 && (first == '.' || first == ',' || first == '-');
}

int ReadDigitGroup(WordList& words, int group, std::string_view digits) {
  const int h = digits.size() > 0 ? DigitValue(digits[0]) : 0;
  const int t = digits.size() > 1 ? DigitValue(digits[1]) : 0;
  const int u = digits.size() > 2 ? DigitValue(digits[2]) : 0;
  const int value = h * 100 + t * 10 + u;
  AppendWord(words, kHundreds[h]);
  if (t >= 2) {
    AppendWord(words, kTens[t]);
    AppendWord(words, kUnits[u]);
  } else if (t == 1) {
    AppendWord(words, kTeens[u]);
  } else if (group != 1 && value == 1) {
    // One thousand, one million ... are spoken by the group word alone.
  } else if (group == 4 && u == 2) {
    AppendWord(words, kFeminineTwo);  // "miliarda" is feminine: dvě miliardy
  } else {
    AppendWord(words, kUnits[u]);
  }
  return value;
}

int ReadDigits(WordList& words, std::string_view digits, bool hasFraction) {
  if (digits.empty()) return 0;
  size_t zeros = 0;
  while (zeros < digits.size() && digits[zeros] == '0') ++zeros;
  std::string_view zeroWord = hasFraction ? kNoWhole : kZero;
  if (zeros == digits.size()) {
    // Keep the last zero to be read as the number; only a lone "0" before a
    // decimal part is "žádná".
    if (zeros > 1) zeroWord = kZero;
    --zeros;
  }
  for (size_t i = 0; i < zeros; ++i) AppendWord(words, kZero);
  digits.remove_prefix(zeros);

  const size_t groups = (digits.size() + 2) / 3;
  if (groups > kMaxGroups) {
    for (char c : digits) AppendWord(words, kDigitNames[DigitValue(c)]);
    return -1;
  }
  std::string padded(groups * 3 - digits.size(), '0');
  padded += digits;

  int value = 0;
  for (size_t g = groups; g >= 1; --g) {
    std::string_view group = std::string_view(padded).substr((groups - g) * 3, 3);
    value = ReadDigitGroup(words, static_cast<int>(g), group);
    if (value != 0) {
      AppendWord(words, GroupWord(static_cast<int>(g), value));
    } else if (groups == 1) {
      AppendWord(words, zeroWord);
    }
  }
  return groups == 1 ? value : -1;
}

void ReadNumber(WordList& words, std::string_view token) {
  if (!token.empty() && token[0] == '-') {
    AppendWord(words, kMinus);
    token.remove_prefix(1);
  }
  const size_t separator = token.find_first_of(".,");
  std::string_view whole = token.substr(0, separator);
  if (separator == 0) whole = "0";  // ",5" reads as "0,5"
  std::string_view fraction;
  if (separator != std::string_view::npos) fraction = token.substr(separator + 1);

  const int value = ReadDigits(words, whole, !fraction.empty());
  if (fraction.empty()) return;
  if (value == 0 || value == 1) {
    AppendWord(words, "celá"_cp);
  } else if (value >= 2 && value <= 4) {
    AppendWord(words, "celé"_cp);
  } else {
    AppendWord(words, "celých"_cp);
  }
  ReadDigits(words, fraction, false);
}

}  // namespace sonter2
