// Letter rules: mapping, digraphs, ě, i/y, palatalisation, voicing across
// clusters and prepositions, syllable count.
#include "pron/letter_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/text/text_test_util.h"
#include "text/character_class.h"

namespace sonter2 {
namespace {

using testing::Cp;

// Transcribes one word as the converter does for a word longer than one byte
// with `following` after it (the next word's final form).
std::string Transcribe(std::string_view utf8, std::string_view following = "") {
  std::string word = Cp(utf8);
  MapLettersToPhonemes(word);
  std::string next(following);
  ApplyLetterRules(word, word.size() == 1 ? next : next + " ");
  return word;
}

struct RuleCase {
  std::string_view word;
  std::string_view symbols;
};

constexpr RuleCase kWords[] = {
    // Final devoicing, digraphs, ř.
    {"led", "LET"},
    {"tvář", "TVaq"},
    {"hoch", "HOh"},
    {"chléb", "hLwP"},
    {"tři", "TqI"},
    {"při", "PqI"},
    {"kde", "GDE"},
    {"dcera", "TCERA"},
    // ě after labials and d, t, n.
    {"děti", "dEtI"},
    {"tělo", "tELO"},
    {"město", "MnESTO"},
    {"pěna", "PJENA"},
    {"běh", "BJEh"},
    {"věc", "VJEC"},
    {"něco", "nECO"},
    {"šest", "sEST"},
    // dž, x, q.
    {"džungle", "bUNGLE"},
    {"xylofon", "KSYLOFON"},
    {"quasi", "KVUASI"},
    // Palatalisation before i, not before i followed by a vowel.
    {"nic", "nIC"},
    {"ticho", "tIhO"},
    {"nádraží", "NaDRAzi"},
    {"rádio", "RaDYO"},
    {"studii", "STUDYJI"},
    {"dívka", "diFKA"},
    // Voicing spreads leftwards through a cluster, also across prefixes.
    {"vztah", "FSTAh"},
    {"sbírka", "ZBiRKA"},
    {"podpis", "POTPIS"},
    {"obchod", "OPhOT"},
    {"kdy", "GDY"},
    // z, ž, v and ř do not voice what stands before them.
    {"svět", "SVJET"},
    {"tvrdý", "TVRDy"},
    // Foreign letters reduce to the nearest symbol; w keeps its own.
    {"Göthe", "GEDHE"},  // t takes the voice of h
    {"Wagner", "WAGNER"},
    {"ľad", "LAT"},
    {"Straße", "STRASE"},
};

TEST(LetterRules, Words) {
  for (const auto& c : kWords) EXPECT_EQ(Transcribe(c.word), c.symbols) << c.word;
}

// Pairs as the converter transcribes them: the second word first, then the
// first with the second's final form (glottal stop included) after it.
struct PairCase {
  std::string_view first;
  std::string_view second;  // final form of the next word
  std::string_view symbols;
};

constexpr PairCase kPairs[] = {
    {"s", "BRATREM", "Z"},
    {"od", "TEBE", "OT"},
    {"bez", "PEnES", "BES"},
    {"ke", "KOSTELU", "KE"},
    {"k", "DOMU", "G"},
    {"z", "TOHO", "S"},
    {"v", "@OKnE", "F"},
    {"nad", "MOqEM", "NAD"},
    {"pod", "ZEMI", "POD"},
    // The ř prepositions are devoiced like ordinary words once mapped.
    {"před", "DOMEM", "PqET"},
    {"přes", "MOST", "PqES"},
    // An ordinary word never takes the next word's voice.
    {"les", "DOMU", "LES"},
    {"had", "BYL", "HAT"},
};

TEST(LetterRules, AcrossWords) {
  for (const auto& c : kPairs) EXPECT_EQ(Transcribe(c.first, c.second), c.symbols) << c.first << " " << c.second;
}

TEST(LetterRules, OneByteWordAtTheEndKeepsItsVoice) {
  std::string word = "V";
  ApplyLetterRules(word, "");
  EXPECT_EQ(word, "V");
  word = "Z";
  ApplyLetterRules(word, "");
  EXPECT_EQ(word, "Z");
}

TEST(LetterRules, NonLettersPassUnchanged) {
  for (std::string_view text : {"5", ".", "@OKO", "\\pau=5\\", "", "\xB3\xF3" /* łó */}) {
    std::string word(text);
    ApplyLetterRules(word, " ");
    EXPECT_EQ(word, text);
  }
}

TEST(LetterRules, MappingLeavesOtherCodePageBytesAlone) {
  std::string word = Cp("łžŁ1a");
  MapLettersToPhonemes(word);
  EXPECT_EQ(word, Cp("ł") + "z" + Cp("Ł") + "1A");
}

TEST(LetterRules, Prepositions) {
  EXPECT_TRUE(std::is_sorted(kPrepositions.begin(), kPrepositions.end()));
  for (auto preposition : kPrepositions) EXPECT_TRUE(IsPreposition(std::string(preposition)));
  EXPECT_TRUE(IsPreposition(Cp("PŘED")));
  EXPECT_TRUE(IsPreposition("Ve"));
  EXPECT_FALSE(IsPreposition("PRED"));  // mapped form of před
  EXPECT_FALSE(IsPreposition("ab"));
  EXPECT_FALSE(IsPreposition(""));
  EXPECT_FALSE(IsPreposition("v "));
}

TEST(LetterRules, SyllableCount) {
  struct Case {
    std::string_view word;
    int count;
  };
  constexpr Case kCases[] = {
      {"LET", 0},   {"MnESTO", 1}, {"@OKnE", 1}, {"KSYLOFON", 2}, {"NEJNEBEZPEQNJESI", 3},
      {"PSST", 0},  {"@", -1},     {"", -1},     {"^", -1},        {"@@A", -1},
      {"MAAMA", 1},  // a vowel run is one
  };
  for (const auto& c : kCases) EXPECT_EQ(CountSyllables(c.word), c.count) << c.word;
}

TEST(LetterRules, ClassTablesAreConsistent) {
  // Every letter of the shared class maps to an ASCII phoneme letter.
  for (int b = 128; b < 256; ++b) {
    std::string word(1, static_cast<char>(b));
    MapLettersToPhonemes(word);
    if (IsLetter(static_cast<uint8_t>(b))) {
      EXPECT_TRUE(IsAsciiLetter(word[0])) << b;
    } else {
      EXPECT_EQ(word[0], static_cast<char>(b)) << b;
    }
  }
}

}  // namespace
}  // namespace sonter2
