// The engine's dictionary operations: what engine creation, every text
// submission and the IDict methods load, and the exclusion that keeps a
// reload away from conversion.
//
// Each operation that rewrites the dictionary holds the stream's lock (so the
// converter of that engine never applies a half-built dictionary) and the
// writer side of the process-wide character-name table (so no engine reads a
// half-rewritten table) for its whole run. The converter takes the same two
// locks in the same order: stream lock, then the table.
#pragma once

#include <cstdint>
#include <string>

#include "pron/pronunciation_dictionary.h"

namespace sonter2 {

class PhoneticStream;

// "default.dct" beside the engine's library file.
std::string DefaultDictionaryPath();

// LoadFile on the shipped dictionary.
void LoadDefaultDictionary(CPronunciationDictionary& dictionary, const std::string& defaultPath);

// Loads the file named by the registry value "DictionaryFile" and stores
// "DictionaryId" in `dictionaryId` (unchanged when the value is missing).
void ReadDictionarySettings(CPronunciationDictionary& dictionary, uint32_t& dictionaryId);

// Engine creation: Reset, the default file, the registry's file, Build.
void LoadEngineDictionaries(PhoneticStream& stream, uint32_t& dictionaryId,
                            const std::string& defaultPath = DefaultDictionaryPath());

// Before each text is queued: reloads as at creation when the registry's
// "DictionaryId" can be read and differs from `dictionaryId`.
void CheckDictionaryId(PhoneticStream& stream, uint32_t& dictionaryId,
                       const std::string& defaultPath = DefaultDictionaryPath());

// IDict::LoadDictionary: the default file and then `path` (nothing when it
// is null or cannot be opened). IDict reports success whatever happens.
void LoadUserDictionary(PhoneticStream& stream, const char* path,
                        const std::string& defaultPath = DefaultDictionaryPath());

// IDict::ResetDictionary: the default file alone.
void ResetToDefaultDictionary(PhoneticStream& stream, const std::string& defaultPath = DefaultDictionaryPath());

}  // namespace sonter2
