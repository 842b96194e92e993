// The dictionary shipped beside the library: every line must load as an
// entry (a malformed line would silently do nothing), and none may rename a
// character.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "pron/pronunciation_dictionary.h"
#include "tests/text/text_test_util.h"

namespace sonter2 {
namespace {

using testing::Cp;
using testing::Utf8;

TEST(ShippedDictionary, EveryLineIsAnEntry) {
  const std::string path = std::string(SONTER2_SOURCE_DIR) + "/data/default.dct";
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << path;
  const std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t lines = 0;
  for (char c : contents) lines += c == '\n';

  CPronunciationDictionary dictionary;
  dictionary.Reset();
  ASSERT_TRUE(dictionary.LoadFile(path));
  dictionary.Build();
  EXPECT_EQ(dictionary.entries().size(), lines);

  std::string word = Cp("např");
  dictionary.Apply(word);
  EXPECT_EQ(Utf8(word), "například");
  word = Cp("Softwarový");
  dictionary.Apply(word);
  EXPECT_EQ(Utf8(word), "softvérový");
  dictionary.Reset();
}

}  // namespace
}  // namespace sonter2
