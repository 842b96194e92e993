// What an application does, from outside the library: register it, find it
// through the classes file, load it, list the modes, select each one with an
// audio object, speak, and let it go. Only the public headers are used.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sonter2/client.h"
#include "sonter2/identifiers.h"
#include "tests/support/test_audio.h"

namespace sonter2 {
namespace {

namespace fs = std::filesystem;
using test::TestAudio;
using test::TestBufSink;
using Calls = std::vector<std::string>;

// A voice file whose every segment is empty, scrambled as the format wants:
// enough for the engine to bind and run its protocol.
void writeEmptyVoice(const fs::path& path) {
  std::vector<uint8_t> file(68, 10);
  std::array<uint8_t, 17> state{};
  for (int i = 0; i < 17; ++i) file[51 + i] = state[i] = static_cast<uint8_t>(17 * i + 3);
  // One step of the key stream (index 0 -> 1), then the word 0xFFFF stored.
  uint8_t b = state[0];
  state[1] = static_cast<uint8_t>(state[1] + b);
  const uint16_t stored = static_cast<uint16_t>((0xFFFF ^ 0x4C27) + state[1]);
  file.push_back(static_cast<uint8_t>(stored & 0xFF));
  file.push_back(static_cast<uint8_t>(stored >> 8));
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
}

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("sonter2-client-" + std::to_string(getpid()));
    fs::create_directories(dir / "lib");
    fs::copy_file(fs::path(SONTER2_BINARY_DIR) / "lib" / "libsonter2.so", dir / "lib" / "libsonter2.so",
                  fs::copy_options::overwrite_existing);
    writeEmptyVoice(dir / "lib" / "tamsel.rec");
    classes = (dir / "classes.reg").string();
    setenv("SONTER2_CLASSES", classes.c_str(), 1);
    setenv("SONTER2_REGISTRY", (dir / "no-registry.reg").c_str(), 1);
    setenv("SONTER2_REGION", ("sonter2-client-" + std::to_string(getpid())).c_str(), 1);
    std::string error;
    ASSERT_TRUE(server.load((dir / "lib" / "libsonter2.so").string(), error)) << error;
    auto reg = reinterpret_cast<HRESULT (*)()>(server.symbol("DllRegisterServer"));
    ASSERT_NE(reg, nullptr);
    ASSERT_EQ(reg(), S_OK);
  }
  void TearDown() override {
    server.close();
    fs::remove_all(dir);
  }

  ITTSEnumW* modes() {
    ITTSEnumW* e = nullptr;
    EXPECT_EQ(server.createInstance(CLSID_CSpeechEnum, IID_ITTSEnumW, reinterpret_cast<void**>(&e)), S_OK);
    return e;
  }

  fs::path dir;
  std::string classes;
  client::Server server;
};

TEST_F(ClientTest, AnApplicationFindsSelectsAndDrivesTheEngine) {
  client::Server app;  // a second client, finding the library as an application would
  std::string error;
  ASSERT_TRUE(app.open(CLSID_CSpeechEnum, error)) << error;
  EXPECT_EQ(app.path(), (dir / "lib" / "libsonter2.so").string());
  ITTSEnumW* e = nullptr;
  ASSERT_EQ(app.createInstance(CLSID_CSpeechEnum, IID_ITTSEnumW, reinterpret_cast<void**>(&e)), S_OK);
  TTSMODEINFOW mode;
  std::vector<std::u16string> speakers;
  while (e->Next(1, &mode, nullptr) == S_OK) {
    speakers.emplace_back(mode.szSpeaker);
    TestAudio audio;
    ITTSCentralW* central = nullptr;
    ASSERT_EQ(e->Select(mode.gModeID, &central, static_cast<IAudio*>(&audio)), S_OK);
    TTSMODEINFOW got;
    ASSERT_EQ(central->ModeGet(&got), S_OK);
    EXPECT_EQ(std::u16string(got.szSpeaker), std::u16string(mode.szSpeaker));
    TestBufSink sink;
    std::u16string text = u"\\mrk=5\\Dobrý den, jak se máte?";
    ASSERT_EQ(central->TextData(CHARSET_TEXT, TTSDATAFLAG_TAGGED,
                                SDATA{text.data(), static_cast<DWORD>(2 * (text.size() + 1))}, &sink,
                                IID_ITTSBufNotifySink),
              S_OK);
    audio.drain();
    // Word offsets are bytes of the caller's UTF-16 text.
    EXPECT_EQ(sink.events(), (Calls{"started", "done 0", "bookmark 5", "word 14", "word 26", "word 36", "word 44",
                                    "word 50"}));
    EXPECT_EQ(app.canUnloadNow(), S_FALSE);
    central->Release();
    EXPECT_EQ(sink.refCount(), 0u);
    EXPECT_EQ(audio.refCount(), 0u);
  }
  EXPECT_EQ(speakers, (std::vector<std::u16string>{u"Tamsel", u"Dorvik"}));
  e->Release();
  EXPECT_EQ(app.canUnloadNow(), S_OK);
}

TEST_F(ClientTest, NextCloneAndSkip) {
  ITTSEnumW* e = modes();
  std::array<TTSMODEINFOW, 5> recs;
  ULONG n = 9;
  EXPECT_EQ(e->Next(1, recs.data(), nullptr), S_OK);
  EXPECT_EQ(std::u16string(recs[0].szModeName), u"Vesk Tamsel");
  EXPECT_EQ(recs[0].gEngineID, CLSID_Speech);
  EXPECT_EQ(recs[0].gModeID, MODEID_VeskTamsel);
  EXPECT_EQ(recs[0].language.LanguageID, 0x0005);
  EXPECT_EQ(recs[0].dwFeatures, 0x0001019Fu);
  EXPECT_EQ(recs[0].dwInterfaces, 0x1Eu);
  EXPECT_EQ(recs[0].wGender, 2);
  EXPECT_EQ(recs[0].wAge, 30);
  EXPECT_EQ(e->Next(5, recs.data(), &n), S_OK);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(std::u16string(recs[0].szSpeaker), u"Dorvik");
  ITTSEnumW* clone = nullptr;
  ASSERT_EQ(e->Clone(&clone), S_OK);
  recs.fill(TTSMODEINFOW{});
  recs[3].wAge = 77;
  EXPECT_EQ(e->Next(5, recs.data(), &n), S_FALSE);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(recs[3].wAge, 0);  // all five records zeroed
  EXPECT_EQ(e->Next(2, recs.data(), nullptr), E_INVALIDARG);
  EXPECT_EQ(e->Next(1, nullptr, &n), E_INVALIDARG);
  EXPECT_EQ(e->Clone(nullptr), E_POINTER);
  // The clone starts at the beginning, not where its original stood.
  EXPECT_EQ(clone->Next(1, recs.data(), nullptr), S_OK);
  EXPECT_EQ(std::u16string(recs[0].szSpeaker), u"Tamsel");
  EXPECT_EQ(clone->Skip(1), S_OK);
  EXPECT_EQ(clone->Next(1, recs.data(), nullptr), S_OK);  // Skip does not move
  EXPECT_EQ(std::u16string(recs[0].szSpeaker), u"Dorvik");
  EXPECT_EQ(clone->Reset(), S_OK);
  EXPECT_EQ(clone->Next(1, recs.data(), nullptr), S_OK);
  EXPECT_EQ(std::u16string(recs[0].szSpeaker), u"Tamsel");
  clone->Release();
  e->Release();
}

TEST_F(ClientTest, TheAnsiEnumeratorEndsAndSelects) {
  ITTSEnumA* e = nullptr;
  ASSERT_EQ(server.createInstance(CLSID_CSpeechEnum, IID_ITTSEnumA, reinterpret_cast<void**>(&e)), S_OK);
  TTSMODEINFOA mode;
  std::vector<std::string> names;
  for (int guard = 0; guard < 10 && e->Next(1, &mode, nullptr) == S_OK; ++guard) names.emplace_back(mode.szModeName);
  EXPECT_EQ(names, (std::vector<std::string>{"Vesk Tamsel", "Vesk Dorvik"}));
  ITTSEnumA* clone = nullptr;
  ASSERT_EQ(e->Clone(&clone), S_OK);
  ASSERT_NE(clone, nullptr);
  TestAudio audio;
  ITTSCentralA* central = nullptr;
  ASSERT_EQ(clone->Select(MODEID_VeskDorvik, &central, static_cast<IAudio*>(&audio)), S_OK);
  ASSERT_NE(central, nullptr);
  TTSMODEINFOA info;
  ASSERT_EQ(central->ModeGet(&info), S_OK);
  EXPECT_STREQ(info.szSpeaker, "Dorvik");
  EXPECT_STREQ(info.language.szDialect, "Standard");
  central->Release();
  clone->Release();
  e->Release();
  EXPECT_EQ(audio.refCount(), 0u);
}

TEST_F(ClientTest, AFailedSelectLeavesNoEngineAndNoReference) {
  ITTSEnumW* e = modes();
  ITTSCentralW* central = reinterpret_cast<ITTSCentralW*>(1);
  EXPECT_EQ(e->Select(MODEID_VeskTamsel, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(e->Select(CLSID_Speech, &central, nullptr), TTSERR_MODENOTFOUND);
  EXPECT_EQ(central, nullptr);
  struct Case {
    TestAudio::Options options;
    bool passNull;
    HRESULT expected;
  };
  const Case cases[] = {
      {TestAudio::Options{}, true, E_NOINTERFACE},
      {TestAudio::Options{.noAudioDest = true}, false, E_NOINTERFACE},
      {TestAudio::Options{.refuseFormat = true}, false, TTSERR_WAVEFORMATREFUSED},
  };
  for (const Case& c : cases) {
    TestAudio audio(c.options);
    central = nullptr;
    EXPECT_EQ(e->Select(MODEID_VeskTamsel, &central, c.passNull ? nullptr : static_cast<IAudio*>(&audio)), c.expected);
    EXPECT_EQ(central, nullptr);
    EXPECT_EQ(audio.refCount(), 0u);
    EXPECT_FALSE(audio.hasSink());
  }
  e->Release();
  EXPECT_EQ(server.canUnloadNow(), S_OK);  // no engine was left behind
}

TEST_F(ClientTest, IdentityAndInterfaces) {
  ITTSEnumW* e = modes();
  TestAudio audio;
  ITTSCentralW* central = nullptr;
  ASSERT_EQ(e->Select(MODEID_VeskTamsel, &central, static_cast<IAudio*>(&audio)), S_OK);
  void* unknown = nullptr;
  void* attrA = nullptr;
  void* centralA = nullptr;
  void* dict = nullptr;
  void* sink = nullptr;
  void* sink2 = nullptr;
  void* none = reinterpret_cast<void*>(1);
  ASSERT_EQ(central->QueryInterface(IID_IUnknown, &unknown), S_OK);
  ASSERT_EQ(central->QueryInterface(IID_IAttributesA, &attrA), S_OK);
  EXPECT_EQ(unknown, attrA);
  ASSERT_EQ(central->QueryInterface(IID_ITTSCentralA, &centralA), S_OK);
  EXPECT_NE(centralA, static_cast<void*>(central));
  ASSERT_EQ(central->QueryInterface(IID_IDict, &dict), S_OK);
  ASSERT_EQ(central->QueryInterface(IID_IAudioDestNotifySink, &sink), S_OK);
  ASSERT_EQ(central->QueryInterface(IID_IAudioDestNotifySink, &sink2), S_OK);
  EXPECT_EQ(sink, sink2);  // one sink per engine
  // The sink hands other requests on to the engine.
  void* fromSink = nullptr;
  ASSERT_EQ(static_cast<IUnknown*>(sink)->QueryInterface(IID_ITTSCentralW, &fromSink), S_OK);
  EXPECT_EQ(fromSink, static_cast<void*>(central));
  EXPECT_EQ(central->QueryInterface(IID_ITTSEnumW, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(central->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(static_cast<IDict*>(dict)->LoadDictionary("/does/not/exist.dct"), S_OK);
  EXPECT_EQ(static_cast<IDict*>(dict)->ResetDictionary(), S_OK);
  for (void* p : {unknown, attrA, centralA, dict, sink, sink2, fromSink}) static_cast<IUnknown*>(p)->Release();
  ITTSDialogsA* dialogs = nullptr;
  ASSERT_EQ(central->QueryInterface(IID_ITTSDialogsA, reinterpret_cast<void**>(&dialogs)), S_OK);
  EXPECT_EQ(dialogs->AboutDlg(nullptr, nullptr), S_OK);
  EXPECT_EQ(dialogs->AboutDlg(reinterpret_cast<HWND>(~uintptr_t{0}), nullptr), E_INVALIDARG);
  EXPECT_EQ(dialogs->LexiconDlg(nullptr, nullptr), S_OK);
  dialogs->Release();
  central->Release();
  e->Release();
  EXPECT_EQ(server.canUnloadNow(), S_OK);
}

TEST_F(ClientTest, TheAboutTextGoesToTheTrace) {
  std::string trace = (dir / "trace.txt").string();
  setenv("SONTER2_TRACE", trace.c_str(), 1);
  ITTSEnumW* e = modes();
  TestAudio audio;
  ITTSCentralW* central = nullptr;
  ASSERT_EQ(e->Select(MODEID_VeskTamsel, &central, static_cast<IAudio*>(&audio)), S_OK);
  ITTSDialogsW* dialogs = nullptr;
  ASSERT_EQ(central->QueryInterface(IID_ITTSDialogsW, reinterpret_cast<void**>(&dialogs)), S_OK);
  HWND parent = reinterpret_cast<HWND>(0x1234);
  EXPECT_EQ(dialogs->AboutDlg(parent, nullptr), S_OK);
  EXPECT_EQ(dialogs->AboutDlg(parent, u"O hlase"), S_OK);
  central->AudioReset();
  dialogs->Release();
  central->Release();
  e->Release();
  unsetenv("SONTER2_TRACE");
  std::ifstream in(trace);
  std::string all((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(all, "About engine\nVesk\nVerze 1.00.49\nO hlase\nVesk\nVerze 1.00.49\nFlush called\nFlush returned\n");
}

TEST_F(ClientTest, TheFactoryServesOnlyTheEnumeratorAndAggregates) {
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(server.getClassObject(CLSID_Speech, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(server.createInstance(CLSID_Speech, IID_IUnknown, &p), CLASS_E_CLASSNOTAVAILABLE);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(server.getClassObject(CLSID_CSpeechEnum, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);

  // An outer object that owns the enumerator's inner unknown.
  struct Outer : IUnknown {
    IUnknown* inner = nullptr;
    std::atomic<ULONG> refs{1};
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
      if (riid == IID_IUnknown) {
        *ppv = this;
        AddRef();
        return S_OK;
      }
      return inner->QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  } outer;
  EXPECT_EQ(factory->CreateInstance(&outer, IID_ITTSEnumW, &p), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_ITTSEnumW, nullptr), E_POINTER);
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
  ITTSEnumW* e = nullptr;
  ASSERT_EQ(outer.QueryInterface(IID_ITTSEnumW, reinterpret_cast<void**>(&e)), S_OK);
  EXPECT_EQ(outer.refs.load(), 2u);  // the enumerator counts on its outer object
  void* identity = nullptr;
  ASSERT_EQ(e->QueryInterface(IID_IUnknown, &identity), S_OK);
  EXPECT_EQ(identity, static_cast<void*>(&outer));
  static_cast<IUnknown*>(identity)->Release();
  e->Release();
  EXPECT_EQ(server.canUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->LockServer(1), S_OK);
  outer.inner->Release();  // the enumerator goes
  EXPECT_EQ(server.canUnloadNow(), S_FALSE);  // the lock holds the library
  EXPECT_EQ(factory->LockServer(0), S_OK);
  EXPECT_EQ(server.canUnloadNow(), S_OK);
  factory->Release();
}

TEST_F(ClientTest, RegistrationRoundTrip) {
  std::ifstream in(classes);
  std::string all((std::istreambuf_iterator<char>(in)), {});
  const std::string lib = (dir / "lib" / "libsonter2.so").string();
  const std::string engineKey = "[HKEY_CLASSES_ROOT\\CLSID\\" + formatGuid(CLSID_Speech) + "\\InprocServer32]";
  EXPECT_NE(all.find(engineKey + "\n@=\"" + lib + "\"\n\"ThreadingModel\"=\"Apartment\""), std::string::npos) << all;
  for (const char* k : {"[HKEY_CLASSES_ROOT\\Sonter2.Speech.1]", "[HKEY_CLASSES_ROOT\\Sonter2.SpeechEnum]",
                        "@=\"Sonter2.SpeechEnum.1\"", "\"Name\"=\"SONTER2Lib\"", "@=\"sonter2 1.0 Type Library\"",
                        "@=\"ISpeech Interface\"", "@=\"SpeechEnum Class\""}) {
    EXPECT_NE(all.find(k), std::string::npos) << k;
  }
  // Registering again rewrites, it does not duplicate.
  auto reg = reinterpret_cast<HRESULT (*)()>(server.symbol("DllRegisterServer"));
  auto unreg = reinterpret_cast<HRESULT (*)()>(server.symbol("DllUnregisterServer"));
  ASSERT_EQ(reg(), S_OK);
  std::ifstream again(classes);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}), all);
  ASSERT_EQ(unreg(), S_OK);
  std::ifstream after(classes);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\CLSID]\n");
  client::Server other;
  std::string error;
  EXPECT_FALSE(other.open(CLSID_CSpeechEnum, error));
  EXPECT_NE(error.find("not registered"), std::string::npos);
}

TEST_F(ClientTest, WithoutAVoiceFileSelectGivesNoEngine) {
  fs::create_directories(dir / "novoice");
  fs::copy_file(dir / "lib" / "libsonter2.so", dir / "novoice" / "libsonter2.so");
  setenv("SONTER2_REGION", ("sonter2-novoice-" + std::to_string(getpid())).c_str(), 1);
  client::Server bare;
  std::string error;
  ASSERT_TRUE(bare.load((dir / "novoice" / "libsonter2.so").string(), error)) << error;
  ITTSEnumW* e = nullptr;
  ASSERT_EQ(bare.createInstance(CLSID_CSpeechEnum, IID_ITTSEnumW, reinterpret_cast<void**>(&e)), S_OK);
  TestAudio audio;
  ITTSCentralW* central = reinterpret_cast<ITTSCentralW*>(1);
  EXPECT_EQ(e->Select(MODEID_VeskTamsel, &central, static_cast<IAudio*>(&audio)), S_FALSE);
  EXPECT_EQ(central, nullptr);
  EXPECT_EQ(audio.refCount(), 0u);
  e->Release();
  EXPECT_EQ(bare.canUnloadNow(), S_OK);
}

}  // namespace
}  // namespace sonter2
