// Number reading: whole numbers by groups with agreement, decimals, leading
// zeros, long digit strings.
#include "pron/number_reading.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/text/text_test_util.h"

namespace sonter2 {
namespace {

using testing::Cp;
using testing::JoinWords;

std::string Read(std::string_view token) {
  WordList words;
  ReadNumber(words, token);
  return JoinWords(words);
}

struct NumberCase {
  std::string_view token;
  std::string_view words;
};

constexpr NumberCase kWholeNumbers[] = {
    {"0", "nula"},
    {"00", "nula nula"},
    {"007", "nula nula sedm"},
    {"1", "jedna"},
    {"10", "deset"},
    {"12", "dvanáct"},
    {"19", "devatenáct"},
    {"21", "dvacet jedna"},
    {"40", "čtyřicet"},
    {"99", "devadesát devět"},
    {"100", "sto"},
    {"101", "sto jedna"},
    {"115", "sto patnáct"},
    {"200", "dvěstě"},
    {"999", "devětset devadesát devět"},
    {"1000", "tisíc"},
    {"1001", "tisíc jedna"},
    {"2000", "dva tisíce"},
    {"4000", "čtyři tisíce"},
    {"5000", "pět tisíc"},
    {"21000", "dvacet jedna tisíc"},
    {"101000", "sto jedna tisíc"},
    {"1000000", "milión"},
    {"2000000", "dva milióny"},
    {"5000000", "pět miliónů"},
    {"22000000", "dvacet dva miliónů"},
    {"1234567", "milión dvěstě třicet čtyři tisíc pětset šedesát sedm"},
    {"1000000000", "miliarda"},
    {"2000000000", "dvě miliardy"},
    {"22000000000", "dvacet dva miliard"},
    {"102000000000", "sto dvě miliard"},
    {"5000000000", "pět miliard"},
    {"1000000000000", "bilión"},
    {"3000000000000", "tři bilióny"},
    {"1000000000000000", "trilión"},
    {"1000000000000000000", "kvadrilión"},
    {"7000000000000000000", "sedm kvadriliónů"},
    // An all-zero group says nothing, not even its group word.
    {"1000001", "milión jedna"},
    {"2000002000", "dvě miliardy dva tisíce"},
    // Leading zeros are each read; the rest is read as a number.
    {"0021000", "nula nula dvacet jedna tisíc"},
};

constexpr NumberCase kDecimals[] = {
    {"0,5", "žádná celá pět"},
    {"00,5", "nula nula celá pět"},
    {",5", "žádná celá pět"},
    {"1,5", "jedna celá pět"},
    {"2,5", "dva celé pět"},
    {"3,14", "tři celé čtrnáct"},
    {"4,0", "čtyři celé nula"},
    {"5,0", "pět celých nula"},
    {"0,05", "žádná celá nula pět"},
    {"1000,5", "tisíc celých pět"},
    {"21,5", "dvacet jedna celých pět"},
    {"0,00", "žádná celá nula nula"},
    {"5,", "pět"},
    {"-5", "mínus pět"},
    {"-0,5", "mínus žádná celá pět"},
    {"-,5", "mínus žádná celá pět"},
};

TEST(NumberReading, WholeNumbers) {
  for (const auto& c : kWholeNumbers) EXPECT_EQ(Read(c.token), c.words) << c.token;
}

TEST(NumberReading, DecimalsAndMinus) {
  for (const auto& c : kDecimals) EXPECT_EQ(Read(c.token), c.words) << c.token;
}

TEST(NumberReading, TwentyOneDigitsAreReadWholeAndTwentyTwoDigitByDigit) {
  const std::string nines(21, '9');
  std::string expected;
  for (const char* group : {"kvadriliónů", "triliónů", "biliónů", "miliard", "miliónů", "tisíc", ""}) {
    expected += std::string(expected.empty() ? "" : " ") + "devětset devadesát devět";
    if (*group != '\0') expected += std::string(" ") + group;
  }
  EXPECT_EQ(Read(nines), expected);

  std::string digitByDigit = "jedna";
  for (int i = 0; i < 21; ++i) digitByDigit += " nula";
  EXPECT_EQ(Read("1" + std::string(21, '0')), digitByDigit);
  // Leading zeros do not count towards the length limit.
  EXPECT_EQ(Read("00" + nines), "nula nula " + expected);
}

TEST(NumberReading, VeryLongDigitStringsAreReadWithoutLoss) {
  const std::string digits(5000, '7');
  WordList words;
  ReadNumber(words, digits);
  ASSERT_EQ(words.size(), digits.size());
  EXPECT_EQ(words.front(), Cp("sedm"));
}

TEST(NumberReading, DigitsReturnTheAgreementValue) {
  WordList words;
  EXPECT_EQ(ReadDigits(words, "007", false), 7);
  EXPECT_EQ(ReadDigits(words, "999", false), 999);
  EXPECT_EQ(ReadDigits(words, "0", true), 0);
  EXPECT_EQ(ReadDigits(words, "1000", false), -1);
  EXPECT_EQ(JoinWords(words), "nula nula sedm devětset devadesát devět žádná tisíc");
}

TEST(NumberReading, NumberTokens) {
  EXPECT_TRUE(IsNumberToken("5"));
  EXPECT_TRUE(IsNumberToken("5abc"));
  EXPECT_TRUE(IsNumberToken(".5"));
  EXPECT_TRUE(IsNumberToken(",5"));
  EXPECT_TRUE(IsNumberToken("-5"));
  EXPECT_TRUE(IsNumberToken("--"));
  EXPECT_FALSE(IsNumberToken("."));
  EXPECT_FALSE(IsNumberToken(","));
  EXPECT_FALSE(IsNumberToken("-"));
  EXPECT_FALSE(IsNumberToken(""));
  EXPECT_FALSE(IsNumberToken("a5"));
}

// Outside the callers' contract, but it must not read past the tables.
TEST(NumberReading, StrayBytesDoNotBreakReading) {
  for (std::string_view token : {"-", "--", "1x2", "-.", "1,2,3", "9\xFF"}) {
    WordList words;
    ReadNumber(words, token);
    for (const auto& word : words) EXPECT_FALSE(word.empty()) << token;
  }
}

}  // namespace
}  // namespace sonter2
