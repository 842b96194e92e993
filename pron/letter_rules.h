// Czech letter-to-phoneme rules: the letter mapping, the rule engine (digraphs,
// palatalisation, ě, i/y and voicing assimilation, also across a preposition
// into the next word), the preposition test and the syllable count.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "text/character_class.h"
#include "text/cp1250_literal.h"

namespace sonter2 {

// Paired by position: each accented or foreign letter and its phoneme symbol.
inline constexpr std::string_view kAccentedLetters = "áÁéÉěĚíÍóÓúÚůŮýÝšŠčČřŘžŽďĎťŤňŇľĽĺĹäÄöÖüÜŕŔôÔß"_cp;
inline constexpr std::string_view kAccentedPhonemes = "aawweeiioouuuuyyssccrrzzddttnnLLLLEEEEYYRROOS";
static_assert(kAccentedLetters.size() == kAccentedPhonemes.size());
static_assert(kAccentedLetters.size() == 45);

// Symbol classes of the rules; paired classes map by position.
inline constexpr std::string_view kVowelSymbols = "AEIOUYaewioujy#$%[";
inline constexpr std::string_view kVoicedObstruents = "BDdGHrVZz";
inline constexpr std::string_view kVoicelessPartners = "PTtKhqFSs";
inline constexpr std::string_view kDevoicingContext = "FhKPqSsTtCcQSsX @";
inline constexpr std::string_view kVoicingTargets = "KSTst";
inline constexpr std::string_view kVoicingContext = "BDdGH";
inline constexpr std::string_view kVoicedPartners = "GZDzd";
inline constexpr std::string_view kHardDTN = "DTN";
inline constexpr std::string_view kILetters = "Ii";
inline constexpr std::string_view kSoftDTN = "dtn";
inline constexpr std::string_view kRDevoicingContext = "FhKPqSsTt";
inline constexpr ByteSet kVowelSet{kVowelSymbols};
static_assert(kVoicedObstruents.size() == kVoicelessPartners.size());
static_assert(kVoicingTargets.size() == kVoicedPartners.size());
static_assert(kHardDTN.size() == kSoftDTN.size());

// Sorted by unsigned byte value: IsPreposition searches it by bisection.
inline constexpr std::array<std::string_view, 28> kPrepositions = {
    "bez"_cp, "beze"_cp,  "do"_cp,   "k"_cp,     "ke"_cp,  "ku"_cp, "na"_cp, "nad"_cp, "nade"_cp, "o"_cp,
    "od"_cp,  "ode"_cp,   "po"_cp,   "pod"_cp,   "pode"_cp, "pro"_cp, "před"_cp, "přede"_cp, "přes"_cp, "přese"_cp,
    "při"_cp, "s"_cp,     "u"_cp,    "v"_cp,     "ve"_cp,  "z"_cp,  "za"_cp, "ze"_cp,
};

// Rewrites each letter of `word` as its phoneme letter, in place.
void MapLettersToPhonemes(std::string& word);

// Applies the Czech rules to a mapped word in place. `following` is the next
// word's final form (plus a blank for words longer than one byte); empty for
// a one-byte word at the very end.
void ApplyLetterRules(std::string& word, std::string following);

// True when the word, lowercased, is one of kPrepositions.
bool IsPreposition(std::string word);
// The same test without copying the word.
bool IsPrepositionText(std::string_view word);

// The syllable class of a transcribed word: vowel runs minus one, at most 3;
// -1 when the word (after an optional "@") does not begin with an ASCII letter.
int CountSyllables(std::string_view word);

}  // namespace sonter2
