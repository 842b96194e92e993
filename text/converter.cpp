// The text-to-phoneme converter: one clause of the source text per call, in
// four passes over a token list. Pass 1 cuts the clause into tokens, pass 2
// expands them into words (and acts on the tags meant for the converter),
// pass 3 transcribes the words from the last to the first so that each word
// knows its right neighbour, and pass 4 writes symbols, phrase marks and
// commands into the stream.
#include "text/converter.h"

#include <iterator>
#include <string>
#include <string_view>

#include "engine/control_tags.h"
#include "pron/letter_rules.h"
#include "pron/number_reading.h"
#include "synth/phonetic_stream.h"
#include "text/character_class.h"
#include "text/character_names.h"
#include "text/token_reader.h"

namespace sonter2 {

namespace {

using Token = ClauseToken;

constexpr std::string_view kClausePunctuation = ",–—.?!:;-…"_cp;
constexpr std::string_view kSentenceMarks = ".?!:;";
constexpr std::string_view kClauseMarks = ",–—"_cp;
constexpr std::string_view kSchwaAlone = "BDdGHJLMNnPQRrTtWz";
constexpr std::string_view kSchwaAloneLast = "BDdGHJKLMNnPQRrTtVWZz";
constexpr std::string_view kSchwaPrepositions = "KVZ";
constexpr std::string_view kPauseFollowers = ",.?!:;-";
constexpr std::string_view kEllipsis = "…"_cp;
constexpr std::string_view kNoBreakSpace = "\u00A0"_cp;
constexpr std::string_view kMinusWord = "mínus"_cp;
constexpr char kGlottalStop = '@';
constexpr char kSchwa = '[';


char FirstByte(const std::string& text) { return text.empty() ? '\0' : text[0]; }

// What pass 1 learns about the clause besides its tokens.
struct Clause {
  TokenList tokens;
  int singleCount = 0;  // one-byte tokens
  bool allSingle = true;
  char lastSingleLetter = 0;
  bool sawBookmark = false;
};

// Pass 1: reads tokens from `cursor` up to and including the mark that ends
// the clause, or to the end of the text.
class Tokeniser {
 public:
  Tokeniser(std::string_view text, size_t& cursor, bool tagged)
      : text_(text), cursor_(cursor), callStart_(cursor), tagged_(tagged) {}

  Clause run() {
    bool stop = false;
    while (!stop) {
      while (cursor_ < text_.size() && IsWhiteSpace(text_[cursor_])) ++cursor_;
      if (cursor_ >= text_.size()) break;
      Token token;
      token.position = static_cast<int64_t>(cursor_);
      const bool tag = readToken(token.text);
      token.isPreposition = !tag && IsPrepositionText(token.text);
      clause_.tokens.push_back(std::move(token));
      if (!tag) stop = endsClause(clause_.tokens.back());
    }
    return std::move(clause_);
  }

 private:
  bool at(size_t i, bool (*test)(char)) const { return i < text_.size() && test(text_[i]); }

  void countSingle(size_t length) {
    if (length == 1) {
      ++clause_.singleCount;
    } else {
      clause_.allSingle = false;
    }
  }

  // Reads one token into `out`; true when it is a control tag.
  bool readToken(std::string& out) {
    const char c = text_[cursor_];
    const size_t start = cursor_;
    if (IsLetter(c)) {
      while (at(cursor_, [](char b) { return IsLetter(b); })) ++cursor_;
      out = text_.substr(start, cursor_ - start);
      sawWord_ = true;
      countSingle(out.size());
      if (out.size() == 1) clause_.lastSingleLetter = c;
    } else if (IsDigit(c) || ((c == '.' || c == ',') && at(cursor_ + 1, IsDigit))) {
      // Digits with their separators: 3,14 and 1.000.000 and "5." are one token.
      while (at(cursor_, [](char b) { return IsDigit(b) || b == '.' || b == ','; })) ++cursor_;
      out = text_.substr(start, cursor_ - start);
      sawWord_ = true;
      countSingle(out.size());
    } else if (c == '-') {
      ++cursor_;
      if (start != callStart_ && IsWhiteSpace(text_[start - 1]) && at(cursor_, IsWhiteSpace)) {
        out = " - ";
        clause_.allSingle = false;
      } else {
        out = "-";
        ++clause_.singleCount;
      }
    } else if (c == '\\' && tagged_) {
      return readTag(out);
    } else {
      ++cursor_;
      out.assign(1, c);
      ++clause_.singleCount;
    }
    return false;
  }

  bool readTag(std::string& out) {
    ++cursor_;
    if (cursor_ < text_.size() && text_[cursor_] == '\\') {
      ++cursor_;  // an escaped backslash is a character
      out = "\\";
      ++clause_.singleCount;
      return false;
    }
    const size_t close = std::min(text_.find('\\', cursor_), text_.size());
    out = "\\";
    out += text_.substr(cursor_, close - cursor_);
    out += '\\';
    cursor_ = close < text_.size() ? close + 1 : close;
    if (out.size() >= 5) {
      std::string head = out.substr(0, 5);
      for (char& b : head) b = static_cast<char>(b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b);
      clause_.sawBookmark = clause_.sawBookmark || head == "\\mrk=";
    }
    return true;
  }

  bool endsClause(const Token& clauseToken) const {
    const std::string& token = clauseToken.text;
    if (clauseToken.isPreposition) return false;
    // The first one-byte token never ends a clause while nothing longer has
    // been seen (a leading ". " is not a sentence).
    if (clause_.allSingle && clause_.singleCount == 1) return false;
    if (token.size() == 1 && token != "-" && InSet(kClausePunctuation, token[0])) return true;
    if (token == kSpacedDash) {
      size_t i = cursor_;
      while (i < text_.size() && IsWhiteSpace(text_[i])) ++i;
      const bool punctuationFollows = i < text_.size() && InSet(kClausePunctuation, text_[i]);
      return !punctuationFollows && sawWord_;
    }
    return false;
  }

  std::string_view text_;
  size_t& cursor_;
  const size_t callStart_;
  const bool tagged_;
  bool sawWord_ = false;
  Clause clause_;
};

// Appends the clause's bytes to a local buffer that goes to the stream in
// one piece.
class ClauseWriter {
 public:
  void symbols(std::string_view text) { out_.append(text); }
  void element(uint32_t code, uint32_t value) { encodeElement(out_, code, value); }
  const std::string& bytes() const { return out_; }

  // The last word of a phrase: phrase-type mark (unless the preposition
  // before it wrote it), the nucleus mark before its last non-vowel symbol,
  // then FinalEnd.
  void finalWord(const std::string& text, bool afterPreposition, uint8_t phraseMark, uint8_t nucleusMark) {
    if (!afterPreposition) element(phraseMark, 0);
    size_t k = text.size();
    while (k > 0 && kVowelSet.contains(text[k - 1])) --k;
    if (k == 0) {
      symbols(text);
    } else {
      symbols(std::string_view(text).substr(0, k - 1));
      element(nucleusMark, 0);
      symbols(std::string_view(text).substr(k - 1));
    }
    element(FinalEnd, 0);
  }

 private:
  std::string out_;
};

// The phrase-type and nucleus marks of the punctuation mark that closes a
// phrase; false when the byte closes none.
bool PhraseMarks(char punctuation, uint8_t& phraseMark, uint8_t& nucleusMark) {
  if (punctuation == '?') {
    phraseMark = FinalQuestion;
    nucleusMark = FinalNucleus;
  } else if (InSet(kClauseMarks, punctuation)) {
    phraseMark = FinalContinuation;
    nucleusMark = FinalContinuation;
  } else if (InSet(kSentenceMarks, punctuation) || punctuation == kEllipsis[0]) {
    phraseMark = FinalStatement;
    nucleusMark = FinalNucleus;
  } else {
    return false;
  }
  return true;
}

// Pass 2: replaces each token by the words it reads as, and acts on the tags
// meant for the converter itself (rms, vce).
class Expander {
 public:
  Expander(ConverterState& state, Clause& clause) : state_(state), clause_(clause), tokens_(clause.tokens) {
    // A first clause that is one character (tags aside) is read by its
    // name, except a lone letter beside a bookmark, which is read as a word
    // unless the second speaker reads it.
    loneCharacter_ = state.startFlag && clause.allSingle && clause.singleCount == 1;
    spellClause_ = loneCharacter_ && spellsLoneCharacter();
  }

  void run() {
    CharacterNamesReader names;
    for (auto it = tokens_.begin(); it != tokens_.end();) {
      it = IsTagToken(*it) ? takeTag(it) : expand(it, names.table());
    }
  }

 private:
  bool spellsLoneCharacter() const {
    return !(clause_.sawBookmark && IsLetter(clause_.lastSingleLetter) && state_.speakerTag != 1);
  }

  // A tag changes neither the previous text nor the previous word.
  TokenList::iterator takeTag(TokenList::iterator it) {
    uint32_t index = 0;
    uint32_t value = 0;
    const char* cursor = it->text.c_str();
    if (ParseControlTag(cursor, index, value) != S_OK) return std::next(it);  // kept, written as nothing
    if (index == kTagRms) {
      state_.spellMode = value == 1;
      return tokens_.erase(it);
    }
    if (index == kTagVce) {
      state_.speakerTag = static_cast<int32_t>(value);
      if (loneCharacter_) spellClause_ = spellsLoneCharacter();
    }
    return std::next(it);
  }

  TokenList::iterator expand(TokenList::iterator it, const CharacterNameTable& names) {
    Token& token = *it;
    // A hyphen or spaced dash right before a number is its minus sign. Only
    // the word the hyphen itself produced is renamed.
    if (IsNumberToken(token.text) && (previousText_ == "-" || previousText_ == kSpacedDash) &&
        previousWord_ != tokens_.end()) {
      previousWord_->text = kMinusWord;
      previousWord_->position = previousPosition_;
      token.position = -1;
    }

    WordList words;
    if (state_.spellMode || spellClause_) {
      SpellToken(token.text, words, names);
    } else {
      ExpandToken(token.text, words, state_.dictionary, names);
    }
    previousPosition_ = token.position;
    // Symbols and punctuation marks carry no position of their own.
    if (token.text.size() == 1 && !IsLetter(token.text[0]) && !IsDigit(token.text[0])) token.position = -1;
    previousText_ = std::move(token.text);

    const auto next = std::next(it);
    if (words.empty()) {
      tokens_.erase(it);
      previousWord_ = tokens_.end();
      return next;
    }
    token.text = std::move(words[0]);
    for (size_t w = 1; w < words.size(); ++w) tokens_.insert(next, Token{std::move(words[w]), -1, token.isPreposition});
    previousWord_ = std::prev(next);
    return next;
  }

  ConverterState& state_;
  Clause& clause_;
  TokenList& tokens_;
  bool loneCharacter_ = false;
  bool spellClause_ = false;
  std::string previousText_;
  TokenList::iterator previousWord_ = tokens_.end();  // the last word of the previous token
  int64_t previousPosition_ = -1;
};

}  // namespace

TokenList ExpandNextClause(ConverterState& state) {
  if (state.sourceCursor >= state.sourceText.size()) return {};
  Clause clause = Tokeniser(state.sourceText, state.sourceCursor, state.converterFlag).run();
  Expander(state, clause).run();
  return std::move(clause.tokens);
}

namespace {

// A one-symbol word gets a schwa when it is a lone consonant, so that it can
// be sounded, and a one-symbol preposition gets one before a pause.
void AddSchwa(Token& token, const std::string& following) {
  if (token.text.size() != 1) return;
  const char s = token.text[0];
  bool schwa;
  if (following.empty()) {
    schwa = InSet(kSchwaAloneLast, s);
  } else {
    schwa = (InSet(kSchwaAlone, s) && !token.isPreposition) ||
            (InSet(kSchwaPrepositions, s) && InSet(kPauseFollowers, following[0]));
  }
  if (schwa) token.text += kSchwa;
}

// Pass 3: each word becomes its phoneme symbols, from the last word to the
// first, so that each is transcribed knowing its right neighbour.
void TranscribeClause(TokenList& tokens) {
  std::string following;
  for (auto it = tokens.rbegin(); it != tokens.rend(); ++it) {
    Token& token = *it;
    if (token.text == kSpacedDash) token.text = ",";
    const bool tag = IsTagToken(token);
    if (!tag) {
      MapLettersToPhonemes(token.text);
      ApplyLetterRules(token.text, token.text.size() == 1 ? following : following + " ");
    }
    AddSchwa(token, following);
    if (!token.text.empty() && kVowelSet.contains(token.text[0])) token.text.insert(0, 1, kGlottalStop);
    if (!tag) following = token.text;
  }
}

// A tag's command where it stood; a pause is preceded by silence. A tag
// that does not parse writes nothing.
void WriteTag(ClauseWriter& out, const Token& token) {
  uint32_t index = 0;
  uint32_t value = 0;
  const char* cursor = token.text.c_str();
  if (ParseControlTag(cursor, index, value) != S_OK) return;
  if (index == kTagPau) out.symbols(std::string_view(&kSilenceSymbol, 1));
  out.element(kTagCommandBase + index, value);
}

// Punctuation becomes its pause; a lone hyphen is silent. The no-break space
// is dropped: as a raw byte it would read as a syllable count.
void WriteUnit(ClauseWriter& out, const std::string& text) {
  const char first = FirstByte(text);
  if (InSet(kSentenceMarks, first)) {
    out.symbols("^");
  } else if (InSet(kClauseMarks, first)) {
    out.symbols("\\");
  } else if (text == kEllipsis) {
    out.symbols("^^");
  } else if (text != "-" && text != kNoBreakSpace) {
    out.symbols(text);
  }
}

// Pass 4: the clause's stream bytes.
std::string WriteClause(const TokenList& tokens) {
  ClauseWriter out;
  bool afterPreposition = false;
  for (auto it = tokens.begin(); it != tokens.end(); ++it) {
    const Token& token = *it;
    if (IsTagToken(token)) {
      WriteTag(out, token);
      continue;
    }
    const auto nextIt = std::next(it);
    const Token* next = nextIt != tokens.end() ? &*nextIt : nullptr;
    const Token* nextNext = next != nullptr && std::next(nextIt) != tokens.end() ? &*std::next(nextIt) : nullptr;

    if (token.position != -1) out.element(TextPosition, static_cast<uint32_t>(token.position));
    const int syllables = CountSyllables(token.text);
    if (syllables >= 0) out.element(SyllableCount, static_cast<uint32_t>(syllables));

    uint8_t phraseMark = 0;
    uint8_t nucleusMark = 0;
    // A preposition and the final word after it are one prosodic unit: the
    // preposition carries the phrase mark.
    if (token.isPreposition && nextNext != nullptr && PhraseMarks(FirstByte(nextNext->text), phraseMark, nucleusMark)) {
      out.element(phraseMark, 0);
    }
    const bool wordLike = !token.text.empty() && (IsAsciiLetter(token.text[0]) || token.text[0] == kGlottalStop);
    if (next != nullptr && wordLike) {
      if (PhraseMarks(FirstByte(next->text), phraseMark, nucleusMark)) {
        out.finalWord(token.text, afterPreposition, phraseMark, nucleusMark);
      } else {
        out.symbols(token.text);
        if (!token.isPreposition) out.element(WordBoundary, 0);
      }
    } else {
      WriteUnit(out, token.text);
    }
    afterPreposition = token.isPreposition;
  }
  return out.bytes();
}

}  // namespace

void PhoneticStream::ConvertNextClause() {
  if (sourceCursor >= sourceText.size()) return;
  ConverterState state{sourceText, sourceCursor, converterFlag, startFlag, spellMode, speakerTag, dictionary()};
  TokenList tokens = ExpandNextClause(state);
  TranscribeClause(tokens);
  appendSymbols(WriteClause(tokens));
  startFlag = false;
}

}  // namespace sonter2
