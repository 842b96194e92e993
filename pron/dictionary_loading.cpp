// The engine's dictionary sources: the shipped file beside the library and
// the registry's "DictionaryFile", reloaded when "DictionaryId" changes.
#include "pron/dictionary_loading.h"

#include <mutex>

#include "platform/registry.h"
#include "platform/system.h"
#include "synth/phonetic_stream.h"
#include "text/character_names.h"

namespace sonter2 {

namespace {

constexpr std::string_view kSettingsKey = "Software\\Kestrow\\Vesk";
constexpr size_t kMaxPathBytes = 260;

// Runs one reload with conversion shut out: no converter of this engine
// applies the dictionary, and no engine reads the character names, until the
// reload has rebuilt both.
template <typename Reload>
void Exclusive(PhoneticStream& stream, Reload&& reload) {
  std::lock_guard<std::recursive_mutex> streamGuard(stream.lock());
  CharacterNamesWriter names;
  reload(stream.dictionary());
}

}  // namespace

std::string DefaultDictionaryPath() { return platform::fileBesideLibrary("default.dct"); }

void LoadDefaultDictionary(CPronunciationDictionary& dictionary, const std::string& defaultPath) {
  dictionary.LoadFile(defaultPath);
}

void ReadDictionarySettings(CPronunciationDictionary& dictionary, uint32_t& dictionaryId) {
  auto key = platform::RegistryKey::openLocalMachine(kSettingsKey);
  if (!key) return;
  if (auto file = key->readString("DictionaryFile", kMaxPathBytes)) dictionary.LoadFile(*file);
  if (auto id = key->readDword("DictionaryId", dictionaryId)) dictionaryId = *id;
}

void LoadEngineDictionaries(PhoneticStream& stream, uint32_t& dictionaryId, const std::string& defaultPath) {
  Exclusive(stream, [&](CPronunciationDictionary& dictionary) {
    dictionary.Reset();
    LoadDefaultDictionary(dictionary, defaultPath);
    ReadDictionarySettings(dictionary, dictionaryId);
    dictionary.Build();
  });
}

void CheckDictionaryId(PhoneticStream& stream, uint32_t& dictionaryId, const std::string& defaultPath) {
  auto key = platform::RegistryKey::openLocalMachine(kSettingsKey);
  if (!key) return;
  auto id = key->readDword("DictionaryId", dictionaryId);
  if (!id || *id == dictionaryId) return;
  LoadEngineDictionaries(stream, dictionaryId, defaultPath);
}

void LoadUserDictionary(PhoneticStream& stream, const char* path, const std::string& defaultPath) {
  Exclusive(stream, [&](CPronunciationDictionary& dictionary) {
    dictionary.Reset();
    LoadDefaultDictionary(dictionary, defaultPath);
    if (path != nullptr) dictionary.LoadFile(path);
    dictionary.Build();
  });
}

void ResetToDefaultDictionary(PhoneticStream& stream, const std::string& defaultPath) {
  Exclusive(stream, [&](CPronunciationDictionary& dictionary) {
    dictionary.Reset();
    LoadDefaultDictionary(dictionary, defaultPath);
    dictionary.Build();
  });
}

}  // namespace sonter2
