// Token reading. Separators inside a number are read by name when the token
// is not a plain decimal number ("3.14" is "tři tečka čtrnáct", "1,2,3" is
// "jedna čárka dva čárka tři"); a single comma is a decimal comma.
#include "text/token_reader.h"

#include <algorithm>
#include <string>

#include "pron/number_reading.h"
#include "pron/pronunciation_dictionary.h"
#include "text/character_class.h"

namespace sonter2 {

namespace {

constexpr std::string_view kNoName = "znak";

void ReadNumberToken(std::string_view token, WordList& words) {
  const auto stops = std::count(token.begin(), token.end(), '.');
  const auto commas = std::count(token.begin(), token.end(), ',');
  if (stops == 0 && commas <= 1) {
    ReadNumber(words, token);
    return;
  }
  size_t j = 0;
  while (true) {
    const size_t separator = token.find_first_of(".,", j);
    const size_t end = separator == std::string_view::npos ? token.size() : separator;
    if (end > j) ReadNumber(words, token.substr(j, end - j));
    if (separator == std::string_view::npos) return;
    words.emplace_back(token[separator] == '.' ? "tečka"_cp : "čárka"_cp);
    if (separator + 1 == token.size()) return;
    j = separator + 1;
  }
}

// Cuts the dictionary's result into words at every blank; two blanks in a
// row give an empty word.
void SplitAtBlanks(std::string_view text, WordList& words) {
  size_t blank;
  while ((blank = text.find(' ')) != std::string_view::npos) {
    words.emplace_back(text.substr(0, blank));
    text.remove_prefix(blank + 1);
  }
  words.emplace_back(text);
}

}  // namespace

void ExpandToken(std::string_view token, WordList& words, const CPronunciationDictionary& dictionary,
                 const CharacterNameTable& names) {
  if (IsNumberToken(token)) {
    ReadNumberToken(token, words);
  } else if (token.size() == 1 && !IsLetter(token[0])) {
    ReadCharacter(static_cast<uint8_t>(token[0]), words, names);
  } else if (token != kSpacedDash) {
    std::string word(token);
    dictionary.Apply(word);
    SplitAtBlanks(word, words);
  } else {
    words.emplace_back(token);  // the converter makes it a clause pause
  }
}

void SpellToken(std::string_view token, WordList& words, const CharacterNameTable& names) {
  for (char c : token) ReadCharacterName(static_cast<uint8_t>(c), words, names);
}

void ReadCharacter(uint8_t c, WordList& words, const CharacterNameTable& names) {
  const char byte = static_cast<char>(c);
  if (c < 32) return;
  if (InSet(kKeptPunctuation, byte)) {
    words.emplace_back(1, byte);
  } else if (!InSet(kQuotationMarks, byte) && names.slots(c)[0] != kNoName) {
    ReadCharacterName(c, words, names);
  }
  // A character without a name of its own is silent.
}

void ReadCharacterName(uint8_t c, WordList& words, const CharacterNameTable& names) {
  if (c == 1) {
    words.emplace_back("neznámý"_cp);
    words.emplace_back("znak");
    return;
  }
  for (const std::string& slot : names.slots(c)) {
    if (slot.empty()) break;
    if (IsDigit(slot[0])) {
      ReadDigits(words, slot, false);
    } else {
      words.push_back(slot);
    }
  }
}

}  // namespace sonter2
