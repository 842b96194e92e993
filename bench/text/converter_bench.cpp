// Converter throughput: words per second over a generated Czech text of at
// least 20,000 words with a generated dictionary of at least 1,000 entries,
// and the time to convert the first clause of texts of different lengths
// (it must not grow with the text: speech starts after one clause).
#include <benchmark/benchmark.h>

#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "synth/phonetic_stream.h"

namespace sonter2 {
namespace {

// Everyday Czech words (UTF-8), mixed with numbers and punctuation below.
const char* const kVocabulary[] = {
    "a",        "v",         "se",       "na",      "je",       "že",        "to",       "s",        "z",
    "do",       "o",         "k",        "který",   "jsem",     "ale",       "po",       "jako",     "pro",
    "byl",      "tak",       "jeho",     "ještě",   "jen",      "když",      "už",       "také",     "od",
    "člověk",   "město",     "den",      "rok",     "práce",    "dům",       "země",     "řeka",     "škola",
    "přítel",   "vláda",     "zpráva",   "světlo",  "dívka",    "děti",      "ulice",    "hodina",   "otázka",
    "odpověď",  "nádraží",   "příběh",   "stůl",    "okno",     "večer",     "ráno",     "zítra",    "včera",
    "dobrý",    "velký",     "malý",     "nový",    "starý",    "krásný",    "důležitý", "český",    "rychlý",
    "říkat",    "vědět",     "chtít",    "mluvit",  "psát",     "číst",      "jít",      "přijít",   "dělat",
    "vidět",    "myslet",    "potřebovat", "začít", "zůstat",   "vrátit",    "pracovat", "bydlet",   "hledat",
    "podzim",   "jaro",      "léto",     "zima",    "počasí",   "sníh",      "déšť",     "vítr",     "slunce",
    "Praha",    "Brno",      "Ostrava",  "Plzeň",   "Olomouc",  "Vltava",    "Morava",   "Čechy",    "Evropa",
    "například", "samozřejmě", "bohužel", "opravdu", "najednou", "nakonec",  "většinou", "docela",  "skoro",
    "tzv",      "atd",       "ČSN",      "email",   "software", "design",    "web",      "Google",   "notebook",
};

std::string Cp(const std::string& utf8) { return platform::Utf8ToCp1250(utf8, platform::kUnconvertible); }

// A text of `words` words: sentences of 4 to 14 words, some with a comma, a
// number or a question mark.
std::string MakeText(size_t words) {
  std::mt19937 random(2026);
  const size_t vocabulary = std::size(kVocabulary);
  std::string text;
  size_t count = 0;
  while (count < words) {
    const int length = 4 + static_cast<int>(random() % 11);
    for (int i = 0; i < length && count < words; ++i, ++count) {
      if (i > 0) text += ' ';
      if (random() % 25 == 0) {
        text += std::to_string(random() % 100000);
      } else {
        std::string word = kVocabulary[random() % vocabulary];
        if (i == 0 && word[0] >= 'a' && word[0] <= 'z') word[0] = static_cast<char>(word[0] - 'a' + 'A');
        text += word;
      }
      if (i + 1 < length && random() % 7 == 0) text += ',';
    }
    text += random() % 6 == 0 ? "? " : ". ";
  }
  return Cp(text);
}

// 1,200 entries: whole words, word beginnings, endings and parts, as a
// user's dictionary holds them, plus the vocabulary's own abbreviations.
std::string MakeDictionary() {
  std::mt19937 random(1250);
  const std::string letters = "abcdefghijklmnoprstuvyzáčďéěíňóřšťúůýž";
  std::u32string alphabet;
  platform::DecodeUtf8(letters, alphabet, nullptr);
  auto randomWord = [&](int minLength, int maxLength) {
    std::u32string w;
    const int length = minLength + static_cast<int>(random() % (maxLength - minLength + 1));
    for (int i = 0; i < length; ++i) w += alphabet[random() % alphabet.size()];
    return platform::Utf32ToUtf8(w);
  };
  std::string lines = "tzv takzvaný\natd a tak dále\nčsn čé es en\nemail ímejl\nsoftware softvér\n"
                      "design* dizajn\nweb* veb\ngoogle gůgl\nnotebook* noutbuk\n*ový ovej\npod* pot\n";
  for (int i = 0; i < 1200; ++i) {
    std::string key = randomWord(2, 9);
    switch (i % 4) {
      case 1: key += "*"; break;
      case 2: key = "*" + key; break;
      case 3: key = "*" + key + "*"; break;
      default: break;
    }
    lines += key + " " + randomWord(2, 8) + (i % 5 == 0 ? " " + randomWord(2, 6) : "") + "\n";
  }
  return Cp(lines);
}

void LoadDictionary(PhoneticStream& stream) {
  auto& dictionary = stream.dictionary();
  dictionary.Reset();
  dictionary.LoadText(MakeDictionary());
  dictionary.Build();
}

constexpr size_t kWords = 20000;

void BM_ConvertText(benchmark::State& state) {
  const std::string text = MakeText(kWords);
  PhoneticStream stream;
  LoadDictionary(stream);
  if (stream.dictionary().entries().size() < 1000) state.SkipWithError("dictionary too small");
  for (auto _ : state) {
    std::lock_guard<std::recursive_mutex> guard(stream.lock());
    stream.begin(text, false);
    stream.startFlag = true;
    while (stream.sourceCursor < stream.sourceText.size()) stream.ConvertNextClause();
    benchmark::DoNotOptimize(stream.phoneticBytes().size());
  }
  state.counters["words/s"] = benchmark::Counter(static_cast<double>(kWords), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["entries"] = static_cast<double>(stream.dictionary().entries().size());
  stream.dictionary().Reset();
}
BENCHMARK(BM_ConvertText)->Unit(benchmark::kMillisecond);

// The first clause alone, for texts of 1,000 to 200,000 words. The text is
// installed once; each iteration converts its first clause again (the
// stream keeps growing by one clause, which costs nothing per iteration).
void BM_FirstClause(benchmark::State& state) {
  PhoneticStream stream;
  LoadDictionary(stream);
  std::lock_guard<std::recursive_mutex> guard(stream.lock());
  stream.begin(MakeText(static_cast<size_t>(state.range(0))), false);
  for (auto _ : state) {
    stream.sourceCursor = 0;
    stream.startFlag = true;
    stream.ConvertNextClause();
  }
  state.counters["text bytes"] = static_cast<double>(stream.sourceText.size());
  stream.dictionary().Reset();
}
BENCHMARK(BM_FirstClause)->Arg(1000)->Arg(20000)->Arg(200000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace sonter2
