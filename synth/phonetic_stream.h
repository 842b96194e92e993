// The phonetic stream object: one utterance's source text, the phonetic bytes
// converted from it so far, and the read positions of the pump. Reading past
// the converted bytes converts the next clause, so text is converted just
// ahead of its synthesis.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "pron/pronunciation_dictionary.h"
#include "text/phonetic_format.h"

namespace sonter2 {

class PhoneticStream {
 public:
  // --- reader side: each operation holds the lock for its whole run ---
  void begin(std::string text, bool tagged);
  void clear();
  void restart();
  uint8_t peekPhoneme();
  bool nextPhoneme();
  bool nextCommand(uint8_t& symbol, uint32_t& argument);
  bool skipToNextCommand();
  size_t sourceLength();
  uint32_t phonemeCount();

  // --- writer side: whole elements, appended under the lock ---
  void appendSymbols(std::string_view symbols);
  void appendElement(uint32_t code, uint32_t value);

  // Converts the clause that begins at sourceCursor and appends it (the
  // text converter). Called with the lock held.
  void ConvertNextClause();

  // The converted bytes so far (a copy, taken under the lock).
  std::string phoneticBytes();

  CPronunciationDictionary& dictionary() { return dictionary_; }
  std::recursive_mutex& lock() { return lock_; }

  // Tests script the conversion with this instead of the text converter: the
  // function appends a clause and moves sourceCursor.
  void setClauseSource(std::function<void(PhoneticStream&)> source) { clauseSource_ = std::move(source); }

  // --- converter state, kept across calls of ConvertNextClause ---
  std::string sourceText;
  size_t sourceCursor = 0;
  bool converterFlag = false;  // control tags are recognised
  bool startFlag = false;      // the next call is the first of the utterance
  bool spellMode = false;      // every token is read letter by letter
  int32_t speakerTag = 0;      // value of the last vce tag (1: second speaker)

 private:
  void convertClause();
  void advance(size_t& cursor);
  void skipSymbol();
  bool atEnd(size_t cursor) const { return cursor >= phonetic_.size(); }
  bool separatorAt(size_t cursor) const {
    return isSeparator(static_cast<uint8_t>(phonetic_[cursor]));
  }

  std::recursive_mutex lock_;
  std::string phonetic_;
  size_t phonemeCursor_ = 0;
  size_t commandCursor_ = 0;
  size_t afterCommand_ = 0;
  uint32_t phonemeCount_ = 0;
  CPronunciationDictionary dictionary_;
  std::function<void(PhoneticStream&)> clauseSource_;
};

}  // namespace sonter2
