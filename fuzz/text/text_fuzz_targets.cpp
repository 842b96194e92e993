// Fuzz entry points of text analysis. Beyond not crashing, each checks what
// synthesis relies on: every call consumes text, only symbols with sound
// units reach the stream, elements are whole, and the dictionary's walk
// agrees with a plain search.
#include "fuzz/text/text_fuzz_targets.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "pron/pronunciation_dictionary.h"
#include "synth/phonetic_stream.h"
#include "text/character_class.h"
#include "text/phonetic_format.h"
#include "tests/text/reference_dictionary.h"

namespace sonter2::fuzz {
namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

void CheckStream(const std::string& bytes) {
  for (size_t pos = 0; pos < bytes.size();) {
    const auto b = static_cast<uint8_t>(bytes[pos]);
    if (!isSeparator(b)) Check(b >= 64 && b < 128, "a symbol without sound units");
    const DecodedElement e = decodeElement(bytes, pos);
    Check(pos + e.length <= bytes.size(), "an element cut short");
    pos += e.length;
  }
}


}  // namespace

void FuzzConverter(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const uint8_t mode = data[0];
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  PhoneticStream stream;
  stream.dictionary().Reset();
  if (mode & 8) stream.dictionary().LoadText(". 0\n, 0\n- 0\n? 0\nab a  b\n*c* \n");
  stream.dictionary().Build();
  {
    std::lock_guard<std::recursive_mutex> guard(stream.lock());
    stream.spellMode = (mode & 2) != 0;
    stream.speakerTag = (mode & 4) ? 1 : 0;
    stream.begin(text, (mode & 1) != 0);
    stream.startFlag = true;
    while (stream.sourceCursor < stream.sourceText.size()) {
      const size_t before = stream.sourceCursor;
      stream.ConvertNextClause();
      Check(stream.sourceCursor > before, "a call consumed nothing");
    }
    CheckStream(stream.phoneticBytes());
  }
  // The same text through the reader, as the pump consumes it.
  stream.begin(text, (mode & 1) != 0);
  stream.restart();
  size_t steps = 0;
  while (stream.nextPhoneme()) Check(++steps <= 64 * (text.size() + 1), "the reader does not end");
  stream.dictionary().Reset();
}

void FuzzDictionary(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    char name[] = "/tmp/sonter2-fuzz-dct-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    return std::string(name);
  }();
  const std::string_view contents(reinterpret_cast<const char*>(data), size);
  CPronunciationDictionary dictionary;
  dictionary.Reset();
  // A quarter of the inputs go through a real file (slow: a write and an
  // open each); the others through the same line reader in memory.
  if (size % 4 == 0) {
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
      if (size > 0) std::fwrite(data, 1, size, f);
      std::fclose(f);
    }
    Check(dictionary.LoadFile(path), "the file did not open");
    CPronunciationDictionary inMemory;
    inMemory.LoadText(contents);
    Check(inMemory.entries() == dictionary.entries(), "file and memory read differently");
  } else {
    dictionary.LoadText(contents);
  }
  dictionary.Build();
  const auto& buffer = dictionary.lookupBuffer();
  Check(!buffer.empty() && buffer.back() == 0, "the lookup buffer does not end in 0");

  // Words: the runs of letters in the input, and a few fixed ones.
  std::vector<std::string> words = {"a", "ab", "podzim", "praha"};
  std::string current;
  for (size_t i = 0; i <= size && words.size() < 64; ++i) {
    const char c = i < size ? static_cast<char>(data[i]) : ' ';
    if (IsLetter(c) && current.size() < 40) {
      current += c;
    } else if (!current.empty()) {
      words.push_back(current);
      current.clear();
    }
  }
  for (const auto& word : words) {
    std::string applied = word;
    dictionary.Apply(applied);
    Check(applied == ReferenceApply(dictionary.entries(), word), "the walk missed the longest key");
  }
  dictionary.Reset();
}

}  // namespace sonter2::fuzz
