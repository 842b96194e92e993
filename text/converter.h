// The text-to-phoneme converter's first half, shared with tools that show
// how a text is read: cutting the next clause into tokens and expanding them
// into words. PhoneticStream::ConvertNextClause transcribes and writes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

namespace sonter2 {

class CPronunciationDictionary;

// One token of a clause; after expansion one word.
struct ClauseToken {
  std::string text;       // the token, then a word, then phoneme symbols
  int64_t position = -1;  // offset in the source text; -1: no position of its own
  bool isPreposition = false;
};
using TokenList = std::list<ClauseToken>;

// The converter's state across calls (members of PhoneticStream).
struct ConverterState {
  const std::string& sourceText;
  size_t& sourceCursor;
  bool converterFlag;  // control tags are recognised
  bool& startFlag;     // this clause is the first of the utterance
  bool& spellMode;
  int32_t& speakerTag;
  const CPronunciationDictionary& dictionary;
};

// Reads the clause at sourceCursor, moves the cursor past it and returns its
// words in order; the control tags meant for the stream stay in the list as
// tokens beginning with a backslash. Holds the character-name table's reader
// lock while it reads names; call it with the stream's lock held.
TokenList ExpandNextClause(ConverterState& state);

// True for a control tag token (a backslash and more).
inline bool IsTagToken(const ClauseToken& token) { return token.text.size() > 1 && token.text[0] == '\\'; }

}  // namespace sonter2
