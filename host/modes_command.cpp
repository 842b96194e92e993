// sonter2 modes: the voice modes the engine's enumerator lists, one a line:
// mode name, speaker, language, gender. Needs the library, not the voice.
#include <cstdio>
#include <string>

#include "host/commands.h"
#include "host/engine_library.h"
#include "sonter2/client.h"
#include "sonter2/identifiers.h"
#include "platform/codepage.h"

namespace sonter2::host {
namespace {

std::string LanguageName(const LANGUAGEW& language) {
  // The primary language is the low 10 bits of the identifier.
  const char* name = (language.LanguageID & 0x3FF) == 0x05 ? "Czech" : "language";
  char text[32];
  std::snprintf(text, sizeof text, "%s (0x%04X", name, language.LanguageID);
  std::string out = text;
  const std::string dialect = platform::Utf16ToUtf8(language.szDialect);
  if (!dialect.empty()) out += ", " + dialect;
  return out + ")";
}

const char* GenderName(WORD gender) {
  switch (gender) {
    case 1:
      return "female";
    case 2:
      return "male";
    default:
      return "neutral";
  }
}

}  // namespace

int RunModes(Arguments args) {
  if (!args.empty()) {
    if (args[0] == "--help" || args[0] == "-h") {
      std::printf("usage: sonter2 modes\nLists the engine's voice modes: name, speaker, language, gender.\n");
      return 0;
    }
    std::fprintf(stderr, "sonter2 modes: unknown argument %.*s\n", static_cast<int>(args[0].size()), args[0].data());
    return kExitUsage;
  }
  client::Server server;
  std::string error;
  if (!OpenEngineLibrary(server, error)) {
    std::fprintf(stderr, "sonter2 modes: %s\n", error.c_str());
    return kExitFailure;
  }
  ITTSEnumW* modes = nullptr;
  if (FAILED(server.createInstance(CLSID_CSpeechEnum, IID_ITTSEnumW, reinterpret_cast<void**>(&modes)))) {
    std::fprintf(stderr, "sonter2 modes: the engine library gives no mode enumerator\n");
    return kExitFailure;
  }
  TTSMODEINFOW info{};
  ULONG fetched = 0;
  while (modes->Next(1, &info, &fetched) == S_OK && fetched == 1) {
    std::printf("%s\tspeaker %s\t%s\t%s\n", platform::Utf16ToUtf8(info.szModeName).c_str(), platform::Utf16ToUtf8(info.szSpeaker).c_str(),
                LanguageName(info.language).c_str(), GenderName(info.wGender));
  }
  modes->Release();
  return 0;
}

}  // namespace sonter2::host
