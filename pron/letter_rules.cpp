// The letter rules walk a word from its end to its start, so that each symbol
// is decided knowing its right neighbour in final form: voicing spreads
// leftwards through a cluster, as it does in speech.
#include "pron/letter_rules.h"

#include <algorithm>

#include "text/character_class.h"

namespace sonter2 {

namespace {

// The boundary symbol when there is no following word: a value in no class.
constexpr int kNoSymbol = -1;

// The rule classes as tables: they are tested for every symbol of every word.
constexpr ByteSet kVoicedObstruentSet{kVoicedObstruents};
constexpr ByteSet kDevoicingSet{kDevoicingContext};
constexpr ByteSet kVoicingTargetSet{kVoicingTargets};
constexpr ByteSet kVoicingSet{kVoicingContext};
constexpr ByteSet kHardDTNSet{kHardDTN};
constexpr ByteSet kILetterSet{kILetters};
constexpr ByteSet kRDevoicingSet{kRDevoicingContext};

// The letter mapping as one table: accented letters by kAccentedLetters,
// other ASCII letters to capitals, everything else unchanged.
constexpr std::array<char, 256> MakeLetterMap() {
  std::array<char, 256> map{};
  for (int b = 0; b < 256; ++b) map[b] = static_cast<char>(b >= 'a' && b <= 'z' ? b - 'a' + 'A' : b);
  for (size_t k = kAccentedLetters.size(); k-- > 0;) map[static_cast<uint8_t>(kAccentedLetters[k])] = kAccentedPhonemes[k];
  return map;
}
constexpr std::array<char, 256> kLetterMap = MakeLetterMap();

// Prepositions packed into integers, first byte highest, so that integer
// order is the byte order of kPrepositions and bisection works on them.
constexpr size_t kLongestPreposition = 5;  // "přede", "přese"
constexpr uint64_t Pack(std::string_view word) {
  uint64_t packed = 0;
  for (size_t i = 0; i < kLongestPreposition; ++i) {
    packed = (packed << 8) | (i < word.size() ? static_cast<uint8_t>(word[i]) : 0);
  }
  return packed;
}
constexpr std::array<uint64_t, kPrepositions.size()> MakePackedPrepositions() {
  std::array<uint64_t, kPrepositions.size()> packed{};
  for (size_t i = 0; i < kPrepositions.size(); ++i) packed[i] = Pack(kPrepositions[i]);
  return packed;
}
constexpr auto kPackedPrepositions = MakePackedPrepositions();

char Partner(std::string_view from, std::string_view to, char c) { return to[from.find(c)]; }

void InsertSymbol(std::string& word, size_t i, char symbol) {
  word.insert(word.begin() + static_cast<std::ptrdiff_t>(i), symbol);
}

// Voicing assimilation, palatalisation and ř after a voiceless consonant for
// the symbol at i, with R the symbol right of it and X the boundary symbol.
void Assimilate(std::string& word, size_t i, int right, int boundary) {
  const bool last = i + 1 == word.size();
  char& s = word[i];
  if (kHardDTNSet.contains(s) && kILetterSet.contains(right)) s = Partner(kHardDTN, kSoftDTN, s);
  const int context = last ? boundary : right;
  if (kVoicedObstruentSet.contains(s) && kDevoicingSet.contains(context)) {
    s = Partner(kVoicedObstruents, kVoicelessPartners, s);
  }
  if (kVoicingTargetSet.contains(s) && kVoicingSet.contains(context)) s = Partner(kVoicingTargets, kVoicedPartners, s);
  if (!last && right == 'r' && kRDevoicingSet.contains(s)) word[i + 1] = 'q';
}

// The digraph, ě, q, x and i/y cases; false when none applies and the symbol
// goes on to assimilation.
bool ApplyLetterCase(std::string& word, size_t i, int right) {
  const char s = word[i];
  if (s == 'M' && right == 'e') {  // mě reads mně
    word[i + 1] = 'E';
    InsertSymbol(word, i + 1, 'n');
  } else if ((s == 'B' || s == 'F' || s == 'P' || s == 'V') && right == 'e') {  // bě reads bje
    word[i + 1] = 'E';
    InsertSymbol(word, i + 1, 'J');
  } else if (s == 'D' && right == 'e') {
    word[i] = 'd';
    word[i + 1] = 'E';
  } else if (s == 'D' && right == 'z') {  // dž
    word.erase(i, 1);
    word[i] = 'b';
  } else if ((s == 'N' || s == 'T') && right == 'e') {
    word[i] = s == 'N' ? 'n' : 't';
    word[i + 1] = 'E';
  } else if (s == 'C' && (right == 'H' || right == 'h')) {  // ch
    word.erase(i, 1);
    word[i] = 'h';
  } else if (s == 'Q') {
    word[i] = 'V';
    InsertSymbol(word, i, 'K');
  } else if (s == 'X') {
    word[i] = 'S';
    InsertSymbol(word, i, 'K');
  } else if (s == 'I' || s == 'Y') {
    // A glide between i and a following i; i before any vowel is hard, so
    // d, t, n before it stay hard (rádio).
    if (right == 'I' || right == 'Y' || right == 'i' || right == 'y') InsertSymbol(word, i + 1, 'J');
    if (kVowelSet.contains(right)) word[i] = 'Y';
  } else {
    return false;
  }
  return true;
}

}  // namespace

void MapLettersToPhonemes(std::string& word) {
  for (char& c : word) c = kLetterMap[static_cast<uint8_t>(c)];
}

bool IsPrepositionText(std::string_view word) {
  if (word.empty() || word.size() > kLongestPreposition) return false;
  char lower[kLongestPreposition];
  for (size_t i = 0; i < word.size(); ++i) {
    lower[i] = ToLower(word[i]);
    if (lower[i] == '\0') return false;  // a NUL would pack like the padding
  }
  return std::binary_search(kPackedPrepositions.begin(), kPackedPrepositions.end(),
                            Pack(std::string_view(lower, word.size())));
}

bool IsPreposition(std::string word) { return IsPrepositionText(word); }

void ApplyLetterRules(std::string& word, std::string following) {
  // Only a preposition lets the next word's first sound through; after any
  // other word the boundary is a blank, as before a pause. A next word that
  // begins with the glottal stop, a digit or punctuation gives a blank too.
  const bool opensToNext = !following.empty() && IsPrepositionText(word);
  if (word.empty() || !IsAsciiLetter(word[0])) return;
  int boundary = kNoSymbol;
  if (!following.empty()) boundary = opensToNext && IsLetter(following[0]) ? static_cast<uint8_t>(following[0]) : ' ';

  for (size_t i = word.size(); i-- > 0;) {
    const int right = i + 1 < word.size() ? static_cast<uint8_t>(word[i + 1]) : kNoSymbol;
    if (!ApplyLetterCase(word, i, right)) Assimilate(word, i, right, boundary);
  }
}

int CountSyllables(std::string_view word) {
  if (!word.empty() && word[0] == '@') word.remove_prefix(1);
  if (word.empty() || !IsAsciiLetter(word[0])) return -1;
  int runs = 0;
  bool inRun = false;
  for (char c : word) {
    const bool vowel = kVowelSet.contains(c);
    if (vowel && !inRun) ++runs;
    inRun = vowel;
  }
  if (runs > 0) --runs;
  return std::min(runs, 3);
}

}  // namespace sonter2
