// Reader operations of the phonetic stream. All positions are offsets into
// the converted bytes, so they survive the buffer moving when a clause is
// appended.
#include "synth/phonetic_stream.h"

namespace sonter2 {

using Guard = std::lock_guard<std::recursive_mutex>;

void PhoneticStream::begin(std::string text, bool tagged) {
  Guard guard(lock_);
  sourceText = std::move(text);
  sourceCursor = 0;
  converterFlag = tagged;
  phonetic_.clear();
  phonemeCount_ = 0;
  phonemeCursor_ = commandCursor_ = afterCommand_ = 0;
}

void PhoneticStream::clear() {
  Guard guard(lock_);
  sourceText.clear();
  sourceCursor = 0;
  phonetic_.clear();
  phonemeCursor_ = commandCursor_ = afterCommand_ = 0;
  phonemeCount_ = 0;
  spellMode = false;  // an audio reset ends letter-by-letter reading
}

// Converts clauses until one appends something or the source is used up: a
// clause that yields nothing (all of it silent) must not end the utterance
// while text remains behind it.
void PhoneticStream::convertClause() {
  const size_t before = phonetic_.size();
  do {
    const size_t cursorBefore = sourceCursor;
    if (clauseSource_) {
      clauseSource_(*this);
    } else {
      ConvertNextClause();
    }
    if (sourceCursor == cursorBefore) break;  // nothing consumed: nothing will come
  } while (phonetic_.size() == before && sourceCursor < sourceText.size());
}

void PhoneticStream::advance(size_t& cursor) {
  if (cursor < phonetic_.size()) ++cursor;
  if (cursor == phonetic_.size()) convertClause();
}

void PhoneticStream::skipSymbol() {
  const auto b = static_cast<uint8_t>(phonetic_[phonemeCursor_]);
  advance(phonemeCursor_);
  for (size_t i = argumentBytes(b); i > 0; --i) advance(phonemeCursor_);
}

void PhoneticStream::restart() {
  Guard guard(lock_);
  phonetic_.clear();
  startFlag = true;
  convertClause();
  phonemeCursor_ = commandCursor_ = 0;
  if (!phonetic_.empty()) {
    if (separatorAt(0)) {
      // The codes before the first phoneme stay ahead of commandCursor.
      while (!atEnd(phonemeCursor_) && separatorAt(phonemeCursor_)) skipSymbol();
    } else {
      do {
        advance(commandCursor_);
      } while (!atEnd(commandCursor_) && !separatorAt(commandCursor_));
      afterCommand_ = commandCursor_;
    }
  }
  phonemeCount_ = 0;
}

uint8_t PhoneticStream::peekPhoneme() {
  Guard guard(lock_);
  return atEnd(phonemeCursor_) ? EndOfData : static_cast<uint8_t>(phonetic_[phonemeCursor_]);
}

bool PhoneticStream::nextPhoneme() {
  Guard guard(lock_);
  if (atEnd(phonemeCursor_) && sourceCursor >= sourceText.size()) return false;
  advance(phonemeCursor_);
  while (!atEnd(phonemeCursor_) && separatorAt(phonemeCursor_)) skipSymbol();
  ++phonemeCount_;
  return true;
}

bool PhoneticStream::nextCommand(uint8_t& symbol, uint32_t& argument) {
  Guard guard(lock_);
  if (atEnd(commandCursor_) || phonemeCursor_ < commandCursor_) return false;
  size_t pos = commandCursor_;
  const DecodedElement e = decodeElement(phonetic_, pos);
  for (size_t i = 0; i < e.length; ++i) advance(pos);
  symbol = e.code;
  argument = e.argument;
  afterCommand_ = pos;
  return true;
}

bool PhoneticStream::skipToNextCommand() {
  Guard guard(lock_);
  commandCursor_ = afterCommand_;
  while (!atEnd(commandCursor_) && !separatorAt(commandCursor_)) advance(commandCursor_);
  return !atEnd(commandCursor_);
}

size_t PhoneticStream::sourceLength() {
  Guard guard(lock_);
  return sourceText.size();
}

uint32_t PhoneticStream::phonemeCount() {
  Guard guard(lock_);
  return phonemeCount_;
}

void PhoneticStream::appendSymbols(std::string_view symbols) {
  Guard guard(lock_);
  phonetic_.append(symbols);
}

void PhoneticStream::appendElement(uint32_t code, uint32_t value) {
  Guard guard(lock_);
  encodeElement(phonetic_, code, value);
}

std::string PhoneticStream::phoneticBytes() {
  Guard guard(lock_);
  return phonetic_;
}

}  // namespace sonter2
