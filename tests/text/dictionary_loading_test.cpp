// The engine's dictionary sources: the default file, the registry's file and
// id, and the IDict reloads.
#include "pron/dictionary_loading.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "synth/phonetic_stream.h"
#include "tests/text/text_test_util.h"
#include "text/character_names.h"

namespace sonter2 {
namespace {

using testing::Cp;
using testing::Utf8;

class DictionaryLoadingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::PrivateTempDir();
    defaultPath_ = dir_ + "loading_default.dct";
    userPath_ = dir_ + "loading_user.dct";
    registryPath_ = dir_ + "loading_registry.reg";
    Write(defaultPath_, "praha prága\nbrno brnem\n");
    Write(userPath_, "brno bérno\n& a\n");
    setenv("SONTER2_REGISTRY", registryPath_.c_str(), 1);
  }
  void TearDown() override {
    stream_.dictionary().Reset();
    unsetenv("SONTER2_REGISTRY");
    for (const auto& path : {defaultPath_, userPath_, registryPath_}) std::remove(path.c_str());
  }

  static void Write(const std::string& path, const std::string& utf8) {
    std::ofstream out(path, std::ios::binary);
    out << Cp(utf8);
  }
  void WriteRegistry(uint32_t id, bool withFile = true) {
    char idText[16];
    std::snprintf(idText, sizeof idText, "%08x", id);
    std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Kestrow\\Vesk]\n";
    if (withFile) text += "\"DictionaryFile\"=\"" + userPath_ + "\"\n";
    text += std::string("\"DictionaryId\"=dword:") + idText + "\n";
    std::ofstream(registryPath_, std::ios::binary) << text;
  }
  std::string Apply(std::string_view utf8) {
    std::string word = Cp(utf8);
    stream_.dictionary().Apply(word);
    return Utf8(word);
  }
  std::string NameOf(char c) {
    CharacterNamesReader names;
    return Utf8(names.table().slots(static_cast<uint8_t>(c))[0]);
  }

  std::string dir_, defaultPath_, userPath_, registryPath_;
  PhoneticStream stream_;
  uint32_t dictionaryId_ = 0;
};

TEST_F(DictionaryLoadingTest, CreationLoadsDefaultThenRegistryFile) {
  WriteRegistry(7);
  LoadEngineDictionaries(stream_, dictionaryId_, defaultPath_);
  EXPECT_EQ(dictionaryId_, 7u);
  EXPECT_EQ(Apply("Praha"), "prága");
  EXPECT_EQ(Apply("Brno"), "bérno");  // the registry's file overrides the default
  EXPECT_EQ(NameOf('&'), "a");
}

TEST_F(DictionaryLoadingTest, MissingSourcesAreSilent) {
  LoadEngineDictionaries(stream_, dictionaryId_, dir_ + "missing.dct");  // no registry file either
  EXPECT_EQ(dictionaryId_, 0u);
  EXPECT_EQ(Apply("Praha"), "praha");
  EXPECT_EQ(stream_.dictionary().lookupBuffer(), std::vector<uint8_t>{0});
}

TEST_F(DictionaryLoadingTest, ChangedIdReloadsBothFilesAndTheSameIdDoesNot) {
  WriteRegistry(1, false);
  LoadEngineDictionaries(stream_, dictionaryId_, defaultPath_);
  EXPECT_EQ(Apply("Brno"), "brnem");

  WriteRegistry(1, true);  // a new file but the same id: no reload
  CheckDictionaryId(stream_, dictionaryId_, defaultPath_);
  EXPECT_EQ(Apply("Brno"), "brnem");

  WriteRegistry(2, true);
  CheckDictionaryId(stream_, dictionaryId_, defaultPath_);
  EXPECT_EQ(dictionaryId_, 2u);
  EXPECT_EQ(Apply("Brno"), "bérno");
  EXPECT_EQ(Apply("Praha"), "prága");

  std::remove(registryPath_.c_str());  // an unreadable id never reloads
  CheckDictionaryId(stream_, dictionaryId_, defaultPath_);
  EXPECT_EQ(Apply("Brno"), "bérno");
}

TEST_F(DictionaryLoadingTest, UserDictionaryAndReset) {
  WriteRegistry(3);
  LoadEngineDictionaries(stream_, dictionaryId_, defaultPath_);

  LoadUserDictionary(stream_, (dir_ + "missing.dct").c_str(), defaultPath_);
  EXPECT_EQ(Apply("Brno"), "brnem");  // only the default file's entries
  EXPECT_EQ(NameOf('&'), "end");
  EXPECT_EQ(dictionaryId_, 3u);

  LoadUserDictionary(stream_, userPath_.c_str(), defaultPath_);
  EXPECT_EQ(Apply("Brno"), "bérno");
  EXPECT_EQ(NameOf('&'), "a");

  LoadUserDictionary(stream_, nullptr, defaultPath_);
  EXPECT_EQ(Apply("Brno"), "brnem");

  LoadUserDictionary(stream_, userPath_.c_str(), defaultPath_);
  ResetToDefaultDictionary(stream_, defaultPath_);
  EXPECT_EQ(Apply("Brno"), "brnem");
  EXPECT_EQ(Apply("Praha"), "prága");
  EXPECT_EQ(NameOf('&'), "end");
}

}  // namespace
}  // namespace sonter2
