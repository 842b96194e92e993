// The pronunciation dictionary: the file format as users write it, the
// lookup buffer, the longest-match replacement and character names.
#include "pron/pronunciation_dictionary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "tests/text/text_test_util.h"
#include "text/character_class.h"
#include "text/character_names.h"
#include "text/token_reader.h"
#include "tests/text/reference_dictionary.h"

namespace sonter2 {
namespace {

using testing::Cp;
using testing::JoinWords;
using testing::Utf8;

class DictionaryTest : public ::testing::Test {
 protected:
  void SetUp() override { dictionary_.Reset(); }
  // The character names are process-wide: leave them as built in.
  void TearDown() override { dictionary_.Reset(); }

  void Load(std::string_view utf8Lines) {
    dictionary_.LoadText(Cp(utf8Lines));
    dictionary_.Build();
  }
  std::string Apply(std::string_view utf8Word) {
    std::string word = Cp(utf8Word);
    dictionary_.Apply(word);
    return Utf8(word);
  }
  std::string Expand(std::string_view utf8Token) {
    WordList words;
    CharacterNamesReader names;
    ExpandToken(Cp(utf8Token), words, dictionary_, names.table());
    return JoinWords(words);
  }

  CPronunciationDictionary dictionary_;
};

TEST_F(DictionaryTest, WholeWordsPrefixesSuffixesAndInfixes) {
  Load("Praha Prága\npod* pot\n*ový ovej\n*ch* k\n");
  struct Case {
    std::string_view word;
    std::string_view result;
  };
  constexpr Case kCases[] = {
      {"Praha", "prága"},   {"PRAHA", "prága"},  {"Prahou", "prahou"}, {"podzim", "potzim"},
      {"pod", "pot"},       {"opodál", "opodál"}, {"nový", "novej"},    {"ovýs", "ovýs"},
      {"ticho", "tiko"},    {"chochol", "kokol"},
      // A prefix, infix and suffix entry all apply in one pass; replaced text
      // is not matched again.
      {"podchový", "potkovej"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Apply(c.word), c.result) << c.word;
}

TEST_F(DictionaryTest, LongestKeyWins) {
  Load("pod* a\npodz* b\n");
  EXPECT_EQ(Apply("podzim"), "bim");
  EXPECT_EQ(Apply("podle"), "ale");
}

TEST_F(DictionaryTest, ApplyLowercasesAndReportsChange) {
  Load("ab cd\n");
  std::string word = Cp("ŽLUŤOUČKÝ");
  EXPECT_FALSE(dictionary_.Apply(word));
  EXPECT_EQ(word, Cp("žluťoučký"));
  word = "AB";
  EXPECT_TRUE(dictionary_.Apply(word));
  EXPECT_EQ(word, "cd");
}

TEST_F(DictionaryTest, ValuesAreCleanedAndSplitIntoWords) {
  Load("ČSN čé es en\nabc x-1y\nOSN O.S.N.\ndvě  dva  krát\n");
  EXPECT_EQ(Expand("ČSN"), "čé es en");
  EXPECT_EQ(Expand("abc"), "xy");
  EXPECT_EQ(Expand("OSN"), "osn");
  // Two blanks in a row give an empty word.
  EXPECT_EQ(Expand("dvě"), "dva ∅ krát");
}

TEST_F(DictionaryTest, FileFormatAsUsersWriteIt) {
  Load(
      "\n"
      "   \t  \n"
      "bezhodnoty\n"
      "bezhodnoty2   \t \n"
      "\tjedna\tjedno\t\r\n"  // tabs around key and value, CR LF line end
      "dva dvě\r\n"
      "dva dvojka\n"           // a later line overrides
      "a*b c\n"                // a star inside the key: skipped
      "** nic\n"               // an empty key has no effect
      "tři\x01x z\n"           // control byte in the key: skipped
      "osm osum");             // no line end at the end of the file
  EXPECT_EQ(Apply("jedna"), "jedno");
  EXPECT_EQ(Apply("dva"), "dvojka");
  EXPECT_EQ(Apply("osm"), "osum");
  EXPECT_EQ(Apply("ahoj"), "ahoj");
  EXPECT_EQ(dictionary_.entries().size(), 3u);
}

TEST_F(DictionaryTest, OverlongKeysAreRefused) {
  // The limit is 32 bytes with the boundary blanks.
  const std::string whole30(30, 'k');   // " k..k " 32 bytes: kept
  const std::string whole31(31, 'r');   // 33 bytes: refused
  const std::string infix32(32, 'i');   // "*i..i*" 32 bytes: kept
  const std::string prefix32(32, 'p');  // " p..p" 33 bytes: refused
  Load(whole30 + " ano\n" + whole31 + " ne\n*" + infix32 + "* ano\n" + prefix32 + "* ne\n");
  EXPECT_EQ(Apply(whole30), "ano");
  EXPECT_EQ(Apply(whole31), whole31);
  EXPECT_EQ(Apply("x" + infix32 + "x"), "xanox");
  EXPECT_EQ(Apply(prefix32 + "p"), prefix32 + "p");
  EXPECT_EQ(dictionary_.entries().size(), 2u);
}

TEST_F(DictionaryTest, OverlongLineCostsOnlyItself) {
  const std::string longValue(300, 'x');
  Load("jedna raz\ndva dva\ntri " + longValue + "\nctyri styri\n");
  EXPECT_EQ(Apply("jedna"), "raz");
  EXPECT_EQ(Apply("tri"), "tri");
  EXPECT_EQ(Apply("ctyri"), "styri");

  // The limit: 255 bytes are read, 256 are not; the line end does not count.
  dictionary_.Reset();
  const std::string fits = "kk " + std::string(252, 'a');
  const std::string tooLong = "ll " + std::string(253, 'a');
  Load(fits + "\r\n" + tooLong + "\n");
  EXPECT_EQ(Apply("kk"), std::string(252, 'a'));
  EXPECT_EQ(Apply("ll"), "ll");
}

TEST_F(DictionaryTest, LookupBufferFormat) {
  Load("podz* b\npod* a\n*ch* k\n");
  // Sorted: " pod", " podz", "ch"; each record is the shared count, the rest
  // of the key, "*", the value; one 0 at the end.
  const std::string expected = std::string("\x00 pod*a\x04z*b\x00" "ch*k\x00", 17);
  const auto& buffer = dictionary_.lookupBuffer();
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), expected);

  dictionary_.Reset();
  EXPECT_TRUE(dictionary_.lookupBuffer().empty());
  std::string word = "pod";
  dictionary_.Apply(word);  // between Reset and Build: no match, no crash
  EXPECT_EQ(word, "pod");
  dictionary_.Build();
  EXPECT_EQ(dictionary_.lookupBuffer(), std::vector<uint8_t>{0});
}

TEST_F(DictionaryTest, OneCharacterKeysRenameCharacters) {
  Load("& a\nA velike aa\n% sto procent nebo tak dale\n~\n");
  EXPECT_EQ(Expand("&"), "a");
  CharacterNamesReader names;
  EXPECT_EQ(names.table().slots('&')[1], "");
  EXPECT_EQ(Utf8(names.table().slots('A')[0]), "velike");
  EXPECT_EQ(Utf8(names.table().slots('a')[0]), "á");  // "A" and "a" are different characters
  EXPECT_EQ(names.table().slots('%')[3], "tak");     // words after the fourth are dropped
  EXPECT_EQ(names.table().slots('~')[0], Cp("vlnovka"));
}

TEST_F(DictionaryTest, NameEmptiedByDigitsMakesTheCharacterSilent) {
  Load("+ 123\n");
  EXPECT_EQ(Expand("+"), "");
}

TEST_F(DictionaryTest, ResetRestoresBuiltInNames) {
  Load("& a\n");
  dictionary_.Reset();
  CharacterNamesReader names;
  EXPECT_EQ(names.table().slots('&')[0], "end");
}

TEST_F(DictionaryTest, LoadFile) {
  EXPECT_FALSE(dictionary_.LoadFile("/nonexistent/dictionary.dct"));
  const std::string path = testing::PrivateTempDir() + "dictionary_test.dct";
  {
    std::ofstream out(path, std::ios::binary);
    out << Cp("Praha Prága\r\n");
  }
  EXPECT_TRUE(dictionary_.LoadFile(path));
  dictionary_.Build();
  EXPECT_EQ(Apply("Praha"), "prága");
  std::remove(path.c_str());
}


TEST_F(DictionaryTest, WalkFindsTheLongestKeyLikeAPlainSearch) {
  std::mt19937 random(7);
  const std::string alphabet = "abc";
  auto randomString = [&](size_t maxLength) {
    std::string s(1 + random() % maxLength, 'a');
    for (char& c : s) c = alphabet[random() % alphabet.size()];
    return s;
  };
  for (int round = 0; round < 200; ++round) {
    dictionary_.Reset();
    std::string lines;
    const int count = 1 + static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) {
      std::string key = randomString(5);
      switch (random() % 4) {
        case 0: key = "*" + key; break;
        case 1: key += "*"; break;
        case 2: key = "*" + key + "*"; break;
        default: break;
      }
      lines += key + " " + (random() % 5 == 0 ? std::string("1") : randomString(3)) + "\n";
    }
    dictionary_.LoadText(lines);
    dictionary_.Build();
    for (int w = 0; w < 30; ++w) {
      const std::string word = randomString(8);
      std::string applied = word;
      dictionary_.Apply(applied);
      ASSERT_EQ(applied, ReferenceApply(dictionary_.entries(), word)) << lines << "word: " << word;
    }
  }
}

}  // namespace
}  // namespace sonter2
