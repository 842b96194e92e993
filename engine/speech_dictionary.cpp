// The engine's pronunciation dictionary: loaded at creation, reloaded when
// the registry's dictionary id changes, and through IDict. The operations
// hold the stream's lock, so conversion never sees a half-built dictionary.
#include "engine/speech.h"
#include "pron/dictionary_loading.h"

namespace sonter2 {

void CSpeech::loadDictionaries() { LoadEngineDictionaries(stream_, dictionaryId_); }

void CSpeech::checkDictionaryId() { CheckDictionaryId(stream_, dictionaryId_); }

HRESULT CSpeech::LoadDictionary(PCSTR pszPath) {
  LoadUserDictionary(stream_, pszPath);
  return S_OK;
}

HRESULT CSpeech::ResetDictionary() {
  ResetToDefaultDictionary(stream_);
  return S_OK;
}

}  // namespace sonter2
