// Czech number reading: digit strings to the words spoken for them, with the
// group words in the right grammatical number, a decimal comma, a leading
// minus and digit-by-digit reading of strings too long to read whole.
#pragma once

#include <string>
#include <string_view>

#include "text/word_list.h"

namespace sonter2 {

// True for a token of two or more bytes that begins with ".", "," or "-", and
// for any token whose first byte is a digit.
bool IsNumberToken(std::string_view token);

// Appends the reading of a token of digits with at most one separator (full
// stop or comma), optionally after one "-" and with a separator in front.
void ReadNumber(WordList& words, std::string_view token);

// Appends the reading of a digit string and returns its agreement value: the
// number (0-999) when it has at most three digits after its leading zeros,
// otherwise -1. `hasFraction` reads a lone zero as "žádná".
int ReadDigits(WordList& words, std::string_view digits, bool hasFraction);

// Reads the first three digits of `digits` as group `group` (1 = units,
// 2 = thousands, ...) and returns their value.
int ReadDigitGroup(WordList& words, int group, std::string_view digits);

// Appends `word` unless it is empty.
void AppendWord(WordList& words, std::string_view word);

}  // namespace sonter2
