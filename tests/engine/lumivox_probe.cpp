// Run under the executable name LUMIVOX.EXE by the host test: prints
// whether the engine saw that host, and what text reaches the analysis.
#include <cstdio>

#include "engine/speech.h"
#include "tests/support/empty_voice.h"
#include "tests/support/test_audio.h"

int main() {
  using namespace sonter2;
  auto voice = test::emptyVoice();
  test::TestAudio audio;
  auto* engine = new CSpeech(&voice->voice());
  engine->AddRef();
  if (engine->bindAudio(static_cast<IAudio*>(&audio)) != S_OK) return 2;
  std::printf("host %d\n", engine->lumivoxHost() ? 1 : 0);
  ITTSCentralA* central = nullptr;
  engine->QueryInterface(IID_ITTSCentralA, reinterpret_cast<void**>(&central));
  for (const char* text : {"\\mrk=1100\\Dobr\xfd den. Ahoj.", "\\MRK=1100\\a.b.", "\\mrk=1101\\a.b.", "a.\\mrk=1100\\b."}) {
    central->TextData(CHARSET_TEXT, 0, SDATA{const_cast<char*>(text), 0}, nullptr, IID_ITTSBufNotifySink);
    std::printf("%s\n", engine->stream().sourceText.c_str());
  }
  central->Release();
  engine->Release();
  return 0;
}
