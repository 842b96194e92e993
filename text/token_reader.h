// The token reader: turns one token of a clause into plain words. Numbers
// become number words, lone punctuation stays a punctuation token, other
// symbols are read by their names, and words go through the pronunciation
// dictionary; letter-by-letter reading names every byte.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/character_names.h"
#include "text/cp1250_literal.h"
#include "text/word_list.h"

namespace sonter2 {

class CPronunciationDictionary;

// One-byte tokens that stay punctuation: the converter turns them into
// pauses and phrase marks. The last byte is the no-break space.
inline constexpr std::string_view kKeptPunctuation = ".?!:,;-–—…\u00A0"_cp;
// Quotation marks are silent in normal reading.
inline constexpr std::string_view kQuotationMarks = "\"'`‚„‹‘’“”›«»"_cp;
static_assert(kKeptPunctuation.size() == 11 && kQuotationMarks.size() == 13);

// The spaced dash token, a hyphen with white space on both sides.
inline constexpr std::string_view kSpacedDash = " - ";

// Normal reading of one token of the converter.
void ExpandToken(std::string_view token, WordList& words, const CPronunciationDictionary& dictionary,
                 const CharacterNameTable& names);
// Letter-by-letter reading: the name of every byte of the token.
void SpellToken(std::string_view token, WordList& words, const CharacterNameTable& names);
// Normal reading of a one-byte token that is neither a letter nor a number.
void ReadCharacter(uint8_t c, WordList& words, const CharacterNameTable& names);
// The spoken name of one byte; byte 1 (a character the text path could not
// convert) is "neznámý znak".
void ReadCharacterName(uint8_t c, WordList& words, const CharacterNameTable& names);

}  // namespace sonter2
