// A dictionary reload never overlaps conversion: while one thread reloads an
// engine's dictionary over and over, conversions on that engine and on a
// second engine see either the whole old or the whole new dictionary and
// character names, never an empty lookup buffer or a half-written table.
// Run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "pron/dictionary_loading.h"
#include "synth/phonetic_stream.h"
#include "tests/text/text_test_util.h"

namespace sonter2 {
namespace {

using testing::Cp;

// What restart() converts for the first clause of `text`.
std::string FirstClause(PhoneticStream& stream, const std::string& text) {
  stream.begin(text, false);
  stream.restart();
  return stream.phoneticBytes();
}

TEST(DictionaryReload, NeverOverlapsConversion) {
  const std::string dir = testing::PrivateTempDir();
  const std::string defaultPath = dir + "reload_default.dct";
  const std::string userPath = dir + "reload_user.dct";
  std::ofstream(defaultPath, std::ios::binary) << Cp("praha prága\n");
  // Two character names far apart and a word: a reload seen half done would
  // show a mix of old and new names.
  std::string user = "& a\n";
  for (int i = 0; i < 3000; ++i) user += "slovo" + std::to_string(i) + "* jinak\n";
  user += "% bé\nbrno bérno\n";
  std::ofstream(userPath, std::ios::binary) << Cp(user);

  PhoneticStream reloaded;  // the engine whose dictionary is reloaded
  PhoneticStream other;     // another engine of the process
  ResetToDefaultDictionary(reloaded, defaultPath);
  ResetToDefaultDictionary(other, defaultPath);

  const std::string text = Cp("& % Praha Brno.");
  std::set<std::string> allowed;
  allowed.insert(FirstClause(reloaded, text));
  LoadUserDictionary(reloaded, userPath.c_str(), defaultPath);
  allowed.insert(FirstClause(reloaded, text));
  ASSERT_EQ(allowed.size(), 2u);
  // The other engine keeps its own words but shares the character names.
  std::set<std::string> allowedOther;
  allowedOther.insert(FirstClause(other, text));
  ResetToDefaultDictionary(reloaded, defaultPath);
  allowedOther.insert(FirstClause(other, text));
  ASSERT_EQ(allowedOther.size(), 2u);

  constexpr int kReloads = 100;
  std::atomic<bool> stop{false};
  std::atomic<int> reloads{0};
  std::thread reloader([&] {
    for (int i = 0; i < kReloads; ++i) {
      if (i % 2 == 0) {
        LoadUserDictionary(reloaded, userPath.c_str(), defaultPath);
      } else {
        ResetToDefaultDictionary(reloaded, defaultPath);
      }
      ++reloads;
    }
    stop = true;
  });
  auto converter = [&](PhoneticStream& stream, const std::set<std::string>& expected, int& count) {
    while (!stop) {
      const std::string bytes = FirstClause(stream, text);
      ASSERT_EQ(expected.count(bytes), 1u) << "a conversion saw a half-done reload";
      ++count;
    }
  };
  int converted = 0;
  int convertedOther = 0;
  std::thread second([&] { converter(other, allowedOther, convertedOther); });
  converter(reloaded, allowed, converted);
  reloader.join();
  second.join();
  EXPECT_EQ(reloads.load(), kReloads);
  EXPECT_GT(converted, 0);
  EXPECT_GT(convertedOther, 0);

  ResetToDefaultDictionary(reloaded, defaultPath);
  std::remove(defaultPath.c_str());
  std::remove(userPath.c_str());
}

}  // namespace
}  // namespace sonter2
