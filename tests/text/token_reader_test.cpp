// Token reading: numbers with separators, punctuation kept, symbols by name,
// quotation marks silent, letter-by-letter reading, the built-in names.
#include "text/token_reader.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "pron/pronunciation_dictionary.h"
#include "tests/text/text_test_util.h"
#include "text/character_class.h"

namespace sonter2 {
namespace {

using testing::Cp;
using testing::JoinWords;

class TokenReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { dictionary_.Build(); }

  std::string Expand(std::string_view utf8) {
    WordList words;
    ExpandToken(Cp(utf8), words, dictionary_, names_);
    return JoinWords(words);
  }
  std::string Spell(std::string_view cp1250) {
    WordList words;
    SpellToken(cp1250, words, names_);
    return JoinWords(words);
  }

  CPronunciationDictionary dictionary_;
  CharacterNameTable names_;  // built-in names
};

struct ReadCase {
  std::string_view token;
  std::string_view words;
};

TEST_F(TokenReaderTest, NumbersWithSeparators) {
  constexpr ReadCase kCases[] = {
      {"3.14", "tři tečka čtrnáct"},
      {"3,14", "tři celé čtrnáct"},
      {"1,2,3", "jedna čárka dva čárka tři"},
      {"5.", "pět tečka"},
      {".5", "tečka pět"},
      {"5,", "pět"},
      {"1.000.000", "jedna tečka nula nula nula tečka nula nula nula"},
      {"1..2", "jedna tečka tečka dva"},
      {",,5", "čárka čárka pět"},
      {"12.5,3", "dvanáct tečka pět čárka tři"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Expand(c.token), c.words) << c.token;
}

TEST_F(TokenReaderTest, SingleCharacters) {
  constexpr ReadCase kCases[] = {
      {"%", "procent"},
      {"&", "end"},
      {"@", "zavináč"},
      {"[", "hranatá závorka"},
      {"\\", "obrácené lomítko"},
      {"€", "euro"},
      {"×", "krát"},
      // Kept as punctuation tokens for the converter.
      {".", "."},
      {"?", "?"},
      {"-", "-"},
      {"–", "–"},
      {"…", "…"},
      {"\u00A0", "\u00A0"},
      // Silent: quotation marks, characters without a name of their own,
      // control bytes and the unconvertible-character byte.
      {"\"", ""},
      {"„", ""},
      {"»", ""},
      {"Ł", ""},
      {"\x7F", ""},
      {"\x01", ""},
      {"\t", ""},
  };
  for (const auto& c : kCases) EXPECT_EQ(Expand(c.token), c.words) << c.token;
}

TEST_F(TokenReaderTest, WordsAndTheSpacedDash) {
  EXPECT_EQ(Expand("Ahoj"), "ahoj");  // a word: lowercased by the dictionary
  EXPECT_EQ(Expand("b"), "b");        // a lone letter is a word, not its name
  EXPECT_EQ(Expand(" - "), " - ");
}

TEST_F(TokenReaderTest, Spelling) {
  EXPECT_EQ(Spell(Cp("Ahoj")), "velké á há ó jé");
  EXPECT_EQ(Spell(Cp("Ůú")), "velké ů s kroužkem ú s čárkou");
  EXPECT_EQ(Spell("\""), "uvozovky");
  EXPECT_EQ(Spell("5."), "pět tečka");
  EXPECT_EQ(Spell("\xA3"), "znak sto šedesát tři");
  EXPECT_EQ(Spell("\x7F"), "znak sto dvacet sedm");
  EXPECT_EQ(Spell("\x01"), "neznámý znak");
  EXPECT_EQ(Spell("\x02\x1F"), "");
  EXPECT_EQ(Spell(" - "), "mezera pomlčka mezera");
}

TEST(CharacterNames, BuiltInTable) {
  CharacterNameTable table;
  auto name = [&](std::string_view utf8) {
    WordList words;
    ReadCharacterName(static_cast<uint8_t>(Cp(utf8)[0]), words, table);
    return JoinWords(words);
  };
  EXPECT_EQ(name("A"), "velké á");
  EXPECT_EQ(name("Ů"), "velké ů s kroužkem");
  EXPECT_EQ(name("Ľ"), "velké měké el");
  EXPECT_EQ(name("ß"), "ostré es");
  EXPECT_EQ(name("’"), "uvozovka horní pravá");
  EXPECT_EQ(name("\u00A0"), "pevná mezera");
  EXPECT_EQ(name(" "), "mezera");

  // Every letter has a name of its own; exactly 61 bytes are "znak" and
  // their value.
  std::set<int> unnamed;
  for (int b = 32; b < 256; ++b) {
    const auto& slots = table.slots(static_cast<uint8_t>(b));
    ASSERT_FALSE(slots[0].empty()) << b;
    if (slots[0] == "znak") {
      EXPECT_EQ(slots[1], std::to_string(b));
      EXPECT_FALSE(IsLetter(static_cast<uint8_t>(b))) << b;
      unnamed.insert(b);
    }
  }
  EXPECT_EQ(unnamed.size(), 61u);
  for (int b : {127, 129, 131, 163, 186, 222, 254, 255}) EXPECT_EQ(unnamed.count(b), 1u) << b;
  for (int b = 0; b < 32; ++b) EXPECT_TRUE(table.slots(static_cast<uint8_t>(b))[0].empty());
}

}  // namespace
}  // namespace sonter2
