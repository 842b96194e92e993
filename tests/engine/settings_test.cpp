// Voice settings: ranges, the special values, the generic attributes and
// the registry's defaults and volume flags.
#include <gtest/gtest.h>

#include "tests/engine/engine_fixture.h"

namespace sonter2::test {
namespace {

class SettingsTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    attach();
  }
  void TearDown() override {
    detach();
    EngineTest::TearDown();
  }
  void attach() {
    engine->QueryInterface(IID_ITTSAttributesA, reinterpret_cast<void**>(&tts));
    engine->QueryInterface(IID_IAttributesW, reinterpret_cast<void**>(&attrs));
  }
  void detach() {
    if (tts) tts->Release();
    if (attrs) attrs->Release();
    tts = nullptr;
    attrs = nullptr;
  }
  void recreate(TestAudio::Options options = {}) {
    detach();
    createEngine(options);
    attach();
  }
  ITTSAttributesA* tts = nullptr;
  IAttributesW* attrs = nullptr;
};

TEST_F(SettingsTest, PitchRangeAndSpecialValues) {
  struct Case {
    WORD in;
    HRESULT result;
    WORD pitch;
  };
  const Case cases[] = {{0, S_OK, 220},      {0xFFFF, S_OK, 340}, {219, E_UNEXPECTED, 340}, {220, S_OK, 220},
                        {341, E_UNEXPECTED, 220}, {340, S_OK, 340}, {300, S_OK, 300}};
  for (const Case& c : cases) {
    EXPECT_EQ(tts->PitchSet(c.in), c.result) << c.in;
    WORD p = 0;
    EXPECT_EQ(tts->PitchGet(&p), S_OK);
    EXPECT_EQ(p, c.pitch) << c.in;
  }
  EXPECT_EQ(tts->PitchGet(nullptr), E_INVALIDARG);
}

TEST_F(SettingsTest, SpeedRangeAndSpecialValues) {
  struct Case {
    DWORD in;
    HRESULT result;
    DWORD speed;
  };
  const Case cases[] = {{0, S_OK, 25},       {0xFFFFFFFF, S_OK, 308}, {24, E_UNEXPECTED, 308},
                        {309, E_UNEXPECTED, 308}, {25, S_OK, 25},     {308, S_OK, 308}};
  for (const Case& c : cases) {
    EXPECT_EQ(tts->SpeedSet(c.in), c.result) << c.in;
    DWORD s = 0;
    EXPECT_EQ(tts->SpeedGet(&s), S_OK);
    EXPECT_EQ(s, c.speed) << c.in;
  }
  EXPECT_EQ(tts->SpeedGet(nullptr), E_INVALIDARG);
  EXPECT_EQ(tts->RealTimeGet(nullptr), E_NOTIMPL);
  EXPECT_EQ(tts->RealTimeSet(1), E_NOTIMPL);
}

TEST_F(SettingsTest, GenericAttributes) {
  DWORD v = 0x5555;
  EXPECT_EQ(attrs->DWORDSet(1, 0x10000), S_OK);  // the low 16 bits, 0: the minimum
  EXPECT_EQ(attrs->DWORDGet(1, &v), S_OK);
  EXPECT_EQ(v, 220u);
  EXPECT_EQ(attrs->DWORDSet(2, 200), S_OK);
  EXPECT_EQ(attrs->DWORDGet(2, &v), S_OK);
  EXPECT_EQ(v, 200u);
  v = 0x5555;
  EXPECT_EQ(attrs->DWORDGet(0x1009, &v), S_OK);
  EXPECT_EQ(v, 0x5555u);
  EXPECT_EQ(attrs->DWORDGet(0x1006, &v), S_OK);
  EXPECT_EQ(v, 0u);
  EXPECT_EQ(attrs->DWORDGet(0, &v), E_NOTIMPL);
  EXPECT_EQ(attrs->DWORDGet(1, nullptr), E_INVALIDARG);
  EXPECT_EQ(attrs->DWORDGet(0x1004, &v), E_INVALIDARG);
  EXPECT_EQ(attrs->DWORDGet(0x101B, &v), E_INVALIDARG);
  EXPECT_EQ(attrs->DWORDSet(4, 1), E_INVALIDARG);
  for (DWORD a : {0x1006u, 0x1007u, 0x100Au, 0x100Du, 0x1011u, 0x1013u, 0x1017u, 0x101Au}) {
    EXPECT_EQ(attrs->DWORDSet(a, 1), E_ACCESSDENIED) << std::hex << a;
  }
  for (DWORD a : {0x1005u, 0x1009u, 0x100Cu, 0x1012u, 0x1019u}) EXPECT_EQ(attrs->DWORDSet(a, 1), S_OK) << std::hex << a;
  EXPECT_EQ(attrs->DWORDSet(0x1018, 7), S_OK);
  EXPECT_EQ(attrs->DWORDGet(0x1018, &v), S_OK);
  EXPECT_EQ(v, 7u);
  EXPECT_EQ(attrs->DWORDGet(0x101A, &v), S_OK);
  EXPECT_EQ(v, 0x80008000u);
  recreate();
  EXPECT_EQ(attrs->DWORDGet(0x1018, &v), S_OK);
  EXPECT_EQ(v, 0u);  // a new engine starts again at 0
  EXPECT_EQ(attrs->StringSet(1, u"x"), E_NOTIMPL);
  EXPECT_EQ(attrs->MemorySet(1, nullptr, 0), E_NOTIMPL);
}

TEST_F(SettingsTest, RegistryDefaults) {
  struct Case {
    std::vector<std::string> lines;
    DWORD speed;
    WORD pitch;
  };
  const Case cases[] = {
      {{}, 170, 270},
      {{"\"speed\"=dword:000000c8", "\"pitch\"=dword:0000012c"}, 200, 300},
      {{"\"speed\"=dword:00000190", "\"pitch\"=dword:000000c8"}, 170, 270},  // 400 and 200 are out of range
      {{"\"speed\"=hex:64"}, 100, 270},                                      // shorter values fill the low bytes
      {{"\"speed\"=hex:64,00,00,00,00"}, 170, 270},                          // longer ones cannot be read
      {{"\"pitch\"=dword:0001012c"}, 170, 300},                              // the low 16 bits
  };
  for (const Case& c : cases) {
    registry.write(c.lines);
    recreate();
    DWORD s = 0;
    WORD p = 0;
    tts->SpeedGet(&s);
    tts->PitchGet(&p);
    EXPECT_EQ(s, c.speed);
    EXPECT_EQ(p, c.pitch);
  }
}

TEST_F(SettingsTest, AMalformedRegistryFileLeavesTheDefaults) {
  std::ofstream(registry.path()) << "[HKEY_LOCAL_MACHINE\\Software\\Kestrow\\Vesk]\n\"speed\"=dword:000000c8\n";
  recreate();
  DWORD s = 0;
  tts->SpeedGet(&s);
  EXPECT_EQ(s, 170u);
}

TEST_F(SettingsTest, ResetTagRereadsTheRegistryButAppliesAtTheNextUtterance) {
  registry.write({"\"speed\"=dword:00000064"});
  recreate();
  tts->SpeedSet(250);
  registry.write({"\"speed\"=dword:00000078"});
  ITTSCentralA* central = centralA;
  EXPECT_EQ(central->Inject("\\rst\\"), S_OK);
  DWORD s = 0;
  tts->SpeedGet(&s);
  EXPECT_EQ(s, 120u);
}

TEST_F(SettingsTest, VolumeFlagsFromTheRegistry) {
  registry.write({"\"mono\"=dword:00000001"});
  recreate();
  EXPECT_EQ(tts->VolumeSet(0x00001234), S_OK);
  EXPECT_EQ(audio->level(), 0x12341234u);
  EXPECT_EQ(tts->VolumeSet(0xFFFF0010), S_OK);
  EXPECT_EQ(audio->level(), 0x00100010u);

  registry.write({"\"ignore volume\"=dword:00000001"});
  recreate();
  TestNotifySink sink;
  DWORD key;
  centralA->Register(&sink, IID_ITTSNotifySinkW, &key);
  EXPECT_EQ(tts->VolumeSet(0x00001234), S_OK);
  EXPECT_EQ(audio->level(), 0x80008000u);
  EXPECT_TRUE(sink.events().empty());
  DWORD v = 0;
  EXPECT_EQ(tts->VolumeGet(&v), S_OK);
  EXPECT_EQ(v, 0x80008000u);

  registry.write({});
  recreate();
  EXPECT_EQ(tts->VolumeSet(0x00001234), S_OK);
  EXPECT_EQ(audio->level(), 0x00001234u);  // neither flag: as given
}

}  // namespace
}  // namespace sonter2::test
