// An engine bound to the scriptable test audio object, with its registry
// pointed at a file of the test's own and its stream fed scripted clauses.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/speech.h"
#include "synth/voice_database.h"
#include "tests/engine/stream_script.h"
#include "tests/support/empty_voice.h"
#include "tests/support/test_audio.h"

namespace sonter2::test {

// Points the registry at a file written by the test (or at nothing).
class ScopedRegistry {
 public:
  ScopedRegistry() {
    char name[] = "/tmp/sonter2-registry-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    path_ = name;
    std::remove(path_.c_str());
    setenv("SONTER2_REGISTRY", path_.c_str(), 1);
  }
  ~ScopedRegistry() {
    std::remove(path_.c_str());
    unsetenv("SONTER2_REGISTRY");
  }
  // Writes the engine's key with the given value lines ("\"speed\"=dword:000000aa").
  void write(const std::vector<std::string>& lines) {
    std::ofstream out(path_);
    out << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Kestrow\\Vesk]\n";
    for (const auto& line : lines) out << line << "\n";
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { createEngine(TestAudio::Options{}); }
  void TearDown() override { destroyEngine(); }

  void createEngine(TestAudio::Options options) {
    destroyEngine();
    audio = std::make_unique<TestAudio>(options);
    voice = emptyVoice();
    ASSERT_NE(voice, nullptr);
    engine = new CSpeech(&voice->voice());
    engine->AddRef();
    ASSERT_EQ(engine->bindAudio(static_cast<IAudio*>(audio.get())), S_OK);
    engine->QueryInterface(IID_ITTSCentralA, reinterpret_cast<void**>(&centralA));
    engine->QueryInterface(IID_ITTSCentralW, reinterpret_cast<void**>(&centralW));
    // Texts are scripted: the stream reads the clauses given for its text.
    engine->stream().setClauseSource([this](PhoneticStream& s) {
      auto it = scripts.find(s.sourceText);
      if (it == scripts.end() || s.sourceCursor >= s.sourceText.size()) return;
      if (s.startFlag) clauseIndex[s.sourceText] = 0;
      s.startFlag = false;
      size_t& next = clauseIndex[s.sourceText];
      if (next < it->second.size()) s.appendSymbols(it->second[next++]);
      s.sourceCursor = next >= it->second.size() ? s.sourceText.size() : s.sourceCursor + 1;
    });
    audio->clearCalls();
  }

  void destroyEngine() {
    if (engine == nullptr) return;
    centralA->Release();
    centralW->Release();
    engine->Release();
    engine = nullptr;
  }

  // A text whose conversion yields the given clauses, one per conversion.
  std::string text(const std::string& name, std::vector<std::string> clauses) {
    std::string t = name;
    if (t.size() < clauses.size()) t.append(clauses.size() - t.size(), '.');
    scripts[t] = std::move(clauses);
    return t;
  }

  HRESULT speakA(const std::string& t, ITTSBufNotifySink* sink, DWORD flags = 0) {
    return centralA->TextData(CHARSET_TEXT, flags, SDATA{const_cast<char*>(t.c_str()), static_cast<DWORD>(t.size() + 1)},
                              sink, IID_ITTSBufNotifySink);
  }
  HRESULT speakW(const std::u16string& t, ITTSBufNotifySink* sink, DWORD flags = 0) {
    return centralW->TextData(CHARSET_TEXT, flags,
                              SDATA{const_cast<char16_t*>(t.c_str()), static_cast<DWORD>(2 * (t.size() + 1))}, sink,
                              IID_ITTSBufNotifySink);
  }

  std::unique_ptr<TestAudio> audio;
  std::unique_ptr<DecodedVoice> voice;
  ScopedRegistry registry;
  CSpeech* engine = nullptr;
  ITTSCentralA_fix* centralA = nullptr;
  ITTSCentralW_fix* centralW = nullptr;
  std::map<std::string, std::vector<std::string>> scripts;
  std::map<std::string, size_t> clauseIndex;
};

}  // namespace sonter2::test
