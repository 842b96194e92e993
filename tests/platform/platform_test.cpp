// The platform layer: the registry file format and the code page tables.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "platform/codepage.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace sonter2::platform {
namespace {

TEST(RegistryFile, ParsesTheExportFormat) {
  auto file = RegistryFile::parse(
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
      "; a comment\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Kestrow\\Vesk]\r\n"
      "\"speed\"=dword:000000aa\r\n"
      "\"DictionaryFile\"=\"C:\\\\slovn\xC3\xADk \\\"x\\\".dct\"\r\n"
      "\"bytes\"=hex:01,02,\\\r\n  03\r\n"
      "@=\"default\"\r\n"
      "\"gone\"=dword:1\r\n"
      "\"gone\"=-\r\n");
  ASSERT_TRUE(file.has_value());
  const RegKeyData* key = file->findKey("hkey_local_machine\\software\\kestrow\\VESK");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->values.at("SPEED").data, (std::vector<uint8_t>{0xaa, 0, 0, 0}));
  const auto& path = key->values.at("DictionaryFile").data;
  EXPECT_EQ(std::string(path.begin(), path.end()), std::string("C:\\slovn\xC3\xADk \"x\".dct") + '\0');
  EXPECT_EQ(key->values.at("bytes").data, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(key->values.at("").type, RegType::String);
  EXPECT_EQ(key->values.count("gone"), 0u);
}

TEST(RegistryFile, MalformedTextIsRefusedWhole) {
  const char* bad[] = {
      "",
      "[HKEY_LOCAL_MACHINE\\X]\n\"a\"=dword:1\n",                                      // no header
      "Windows Registry Editor Version 5.00\n\"a\"=dword:1\n",                         // value outside a key
      "Windows Registry Editor Version 5.00\n[K]\n\"a\"=dword:123456789\n",            // too many digits
      "Windows Registry Editor Version 5.00\n[K]\n\"a\"=dword:xyz\n",
      "Windows Registry Editor Version 5.00\n[K]\n\"a\"=\"unterminated\n",
      "Windows Registry Editor Version 5.00\n[K]\n\"a\"=hex:1,2\n",
      "Windows Registry Editor Version 5.00\n[K\n",
  };
  for (const char* text : bad) EXPECT_FALSE(RegistryFile::parse(text).has_value()) << text;
}

TEST(RegistryFile, SerializeRoundTrips) {
  RegistryFile file;
  auto& key = file.key("HKEY_CLASSES_ROOT\\CLSID\\{X}\\InprocServer32");
  key.values[""] = RegistryFile::stringValue("/usr/lib/libsonter2.so");
  key.values["ThreadingModel"] = RegistryFile::stringValue("Apartment \"q\" \\");
  key.values["n"] = RegistryFile::dwordValue(0x1234);
  RegValue binary;
  binary.type = RegType::Binary;
  binary.data = {0, 255};
  key.values["b"] = binary;
  auto again = RegistryFile::parse(file.serialize());
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->serialize(), file.serialize());
  EXPECT_TRUE(again->removeKey("hkey_classes_root\\clsid\\{x}\\inprocserver32"));
  EXPECT_TRUE(again->keyPaths().empty());
}

TEST(RegistryKey, ReadsFreshlyAtEachOpenAndLikeTheRegistryQuery) {
  char name[] = "/tmp/sonter2-reg-XXXXXX";
  close(mkstemp(name));
  setenv("SONTER2_REGISTRY", name, 1);
  auto write = [&](const char* value) {
    std::ofstream(name) << "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\Software\\Kestrow\\Vesk]\n"
                        << value << "\n";
  };
  write("\"speed\"=dword:00000064");
  auto key = RegistryKey::openLocalMachine("Software\\Kestrow\\Vesk");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->readDword("speed"), 100u);
  EXPECT_FALSE(key->readDword("pitch"));
  write("\"speed\"=hex:01,02");
  EXPECT_EQ(RegistryKey::openLocalMachine("Software\\Kestrow\\Vesk")->readDword("speed", 0xAABBCCDD), 0xAABB0201u);
  write("\"DictionaryFile\"=\"/x/y.dct\"");
  key = RegistryKey::openLocalMachine("Software\\Kestrow\\Vesk");
  EXPECT_EQ(key->readString("DictionaryFile", 260), "/x/y.dct");
  EXPECT_FALSE(key->readString("DictionaryFile", 8));  // 9 bytes with its NUL: too long for the buffer
  EXPECT_FALSE(RegistryKey::openLocalMachine("Software\\Other"));
  std::remove(name);
  EXPECT_FALSE(RegistryKey::openLocalMachine("Software\\Kestrow\\Vesk"));
  unsetenv("SONTER2_REGISTRY");
}

TEST(CodePage, EveryByteRoundTrips) {
  for (int b = 1; b < 256; ++b) {
    char16_t u = Cp1250ToUnicode(static_cast<uint8_t>(b));
    EXPECT_EQ(UnicodeToCp1250(u), b) << b;
  }
}

TEST(CodePage, CzechLettersAndReplacements) {
  std::u16string text = u"Příliš žluťoučký kůň úpěl ďábelské ódy \u2013 \u201Eano\u201C \u20AC";
  std::string bytes = Utf16ToCp1250(text, kUnconvertible);
  EXPECT_EQ(bytes, "P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2 \xFAp\xECl \xEF\xE1" "belsk\xE9 \xF3" "dy \x96 \x84" "ano\x93 \x80");
  EXPECT_EQ(Cp1250ToUtf16(bytes), text);
  // No best fit: à and the Greek alpha are not in the code page.
  EXPECT_EQ(Utf16ToCp1250(u"\u00E0\u03B1", kUnconvertible), "\x01\x01");
  EXPECT_EQ(Utf16ToAnsi(u"\u00E0x"), "?x");
  // A surrogate pair is one character; a lone surrogate is one too.
  EXPECT_EQ(Utf16ToCp1250(u"a\U0001F600b", kUnconvertible), "a\x01" "b");
  std::u16string lone = u"a";
  lone.push_back(0xD800);
  EXPECT_EQ(Utf16ToCp1250(lone, kUnconvertible), "a\x01");
}

TEST(CodePage, StrictUtf8) {
  std::u32string out;
  size_t bad = 99;
  EXPECT_TRUE(DecodeUtf8("Dobr\xC3\xBD den", out, &bad));
  EXPECT_EQ(out, U"Dobrý den");
  struct Case {
    const char* text;
    size_t offset;
  };
  for (Case c : {Case{"ab\xC3", 2}, Case{"\x80", 0}, Case{"x\xC0\xAF", 1}, Case{"\xED\xA0\x80", 0},
                 Case{"ok\xF4\x90\x80\x80", 2}, Case{"\xE2\x82", 0}}) {
    EXPECT_FALSE(DecodeUtf8(c.text, out, &bad)) << c.text;
    EXPECT_EQ(bad, c.offset) << c.text;
  }
  EXPECT_EQ(Utf8ToCp1250("\xC5\x99\xE2\x82\xAC\xF0\x9F\x98\x80", 0x01), "\xF8\x80\x01");
  EXPECT_EQ(Cp1250ToUtf8("\xF8\x80"), "\xC5\x99\xE2\x82\xAC");
  std::u16string lone = u"\u0159\U0001F600x";
  lone.push_back(0xDC00);
  EXPECT_EQ(Utf16ToUtf8(lone), "\xC5\x99\xF0\x9F\x98\x80x\xEF\xBF\xBD");
}

TEST(System, LibraryPathAndModulesAreKnown) {
  EXPECT_FALSE(libraryPath().empty());
  EXPECT_TRUE(fileBesideLibrary("x.dct").ends_with("/x.dct"));
  auto modules = processModuleNames();
  ASSERT_FALSE(modules.empty());
  EXPECT_TRUE(hostHasModule(modules.front()));
  std::string upper = modules.front();
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_TRUE(hostHasModule(upper));
  EXPECT_FALSE(hostHasModule("lumivox.exe"));
}

TEST(System, TraceGoesToTheNamedFileOnly) {
  char name[] = "/tmp/sonter2-trace-XXXXXX";
  close(mkstemp(name));
  unsetenv("SONTER2_TRACE");
  traceLine("not written");
  setenv("SONTER2_TRACE", name, 1);
  traceLine("Flush called");
  traceLine("Flush returned");
  unsetenv("SONTER2_TRACE");
  std::ifstream in(name);
  std::string all((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(all, "Flush called\nFlush returned\n");
  std::remove(name);
}

}  // namespace
}  // namespace sonter2::platform
