// Loading, building and applying the pronunciation dictionary.
//
// File format, one entry a line: a key, blanks, a value. "*" at either end of
// a key lets it match inside a word; without it the key is tied to the
// word's start or end. A one-character key renames that character instead.
#include "pron/pronunciation_dictionary.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "text/character_class.h"
#include "text/character_names.h"

namespace sonter2 {

namespace {

constexpr char kStar = '*';

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Values hold only lowercased letters and blanks; digits, punctuation and
// tabs disappear.
std::string CleanValue(std::string_view raw) {
  std::string value;
  value.reserve(raw.size());
  for (char c : raw) {
    const char lower = ToLower(c);
    if (lower == ' ' || IsLetter(lower)) value.push_back(lower);
  }
  return value;
}

// The stored form of a key: a blank marks a word boundary, a star is removed
// and leaves the key open at that end. Empty when the key is unusable.
std::string StoredKey(std::string_view key) {
  std::string stored;
  if (key.front() == kStar) {
    stored = key.substr(1);
  } else {
    stored = ' ';
    stored += key;
  }
  if (!stored.empty()) {
    if (stored.back() == kStar) {
      stored.pop_back();
    } else {
      stored += ' ';
    }
  }
  // A star inside the key cannot be stored; an empty key ("**") would match
  // everywhere without consuming anything. Longer keys or control bytes would
  // break the lookup buffer, whose shared counts are bytes below 32.
  if (stored.empty() || stored.find(kStar) != std::string::npos) return {};
  if (stored.size() > CPronunciationDictionary::kMaxKeyLength) return {};
  for (char c : stored) {
    if (static_cast<uint8_t>(c) < 32) return {};
  }
  LowercaseInPlace(stored);
  return stored;
}

void SetCharacterName(uint8_t character, std::string_view value) {
  CharacterNameTable::Name name;
  size_t slot = 0;
  size_t start = 0;
  while (start < value.size() && slot < name.size()) {
    size_t end = value.find(' ', start);
    if (end == std::string_view::npos) end = value.size();
    if (end > start) name[slot++] = std::string(value.substr(start, end - start));
    start = end + 1;
  }
  CharacterNamesWriter writer;
  writer.table().setSlots(character, name);
}

// Cuts text into lines as a text-mode read does (CR LF reads as LF) and
// hands each line that is short enough to `take`.
class LineSplitter {
 public:
  template <typename Take>
  void feed(std::string_view bytes, Take&& take) {
    for (char c : bytes) {
      if (c == '\n') {
        finishLine(take);
      } else if (line_.size() <= CPronunciationDictionary::kMaxLineLength) {
        line_.push_back(c);  // one byte beyond the limit, for a CR before the LF
      } else {
        tooLong_ = true;
      }
    }
  }
  template <typename Take>
  void finish(Take&& take) {
    if (!line_.empty() || tooLong_) finishLine(take);
  }

 private:
  template <typename Take>
  void finishLine(Take& take) {
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    // A line too long for the reader's buffer costs only itself.
    if (!tooLong_ && line_.size() < CPronunciationDictionary::kMaxLineLength) take(std::string_view(line_));
    line_.clear();
    tooLong_ = false;
  }

  std::string line_;
  bool tooLong_ = false;
};

}  // namespace

void CPronunciationDictionary::Reset() {
  entries_.clear();
  entryIndex_.clear();
  lookup_.clear();
  records_.clear();
  firstRecord_.fill(kNoRecord);
  CharacterNamesWriter writer;
  writer.table().restoreDefaults();
}

bool CPronunciationDictionary::LoadFile(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return false;
  LineSplitter splitter;
  auto take = [this](std::string_view line) { loadLine(line); };
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) splitter.feed(std::string_view(chunk, n), take);
  splitter.finish(take);
  return true;
}

void CPronunciationDictionary::LoadText(std::string_view text) {
  LineSplitter splitter;
  auto take = [this](std::string_view line) { loadLine(line); };
  splitter.feed(text, take);
  splitter.finish(take);
}

void CPronunciationDictionary::loadLine(std::string_view line) {
  size_t keyStart = 0;
  while (keyStart < line.size() && IsBlank(line[keyStart])) ++keyStart;
  size_t keyEnd = keyStart;
  while (keyEnd < line.size() && !IsBlank(line[keyEnd])) ++keyEnd;
  size_t valueStart = keyEnd;
  while (valueStart < line.size() && IsBlank(line[valueStart])) ++valueStart;
  size_t valueEnd = line.size();
  while (valueEnd > valueStart && IsBlank(line[valueEnd - 1])) --valueEnd;
  if (keyEnd == keyStart || valueStart == valueEnd) return;  // empty line, or no value

  const std::string_view key = line.substr(keyStart, keyEnd - keyStart);
  std::string value = CleanValue(line.substr(valueStart, valueEnd - valueStart));
  if (key.size() == 1 && static_cast<uint8_t>(key[0]) >= 32) {
    SetCharacterName(static_cast<uint8_t>(key[0]), value);
    return;
  }
  std::string stored = StoredKey(key);
  if (!stored.empty()) addEntry(std::move(stored), std::move(value));
}

void CPronunciationDictionary::addEntry(std::string key, std::string value) {
  auto [it, inserted] = entryIndex_.try_emplace(key, entries_.size());
  if (inserted) {
    entries_.emplace_back(std::move(key), std::move(value));
  } else {
    entries_[it->second].second = std::move(value);  // a later line overrides
  }
}

void CPronunciationDictionary::Build() {
  std::sort(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  entryIndex_.clear();
  for (size_t i = 0; i < entries_.size(); ++i) entryIndex_[entries_[i].first] = i;

  lookup_.clear();
  records_.clear();
  firstRecord_.fill(kNoRecord);
  std::string_view previous;
  for (const auto& [key, value] : entries_) {
    if (key == previous) continue;
    size_t shared = 0;
    while (shared < key.size() && shared < previous.size() && key[shared] == previous[shared]) ++shared;
    if (shared == 0) firstRecord_[static_cast<uint8_t>(key[0])] = static_cast<uint32_t>(records_.size());
    lookup_.push_back(static_cast<uint8_t>(shared));
    records_.push_back({static_cast<uint32_t>(lookup_.size()), static_cast<uint8_t>(shared), 0});
    lookup_.insert(lookup_.end(), key.begin() + static_cast<std::ptrdiff_t>(shared), key.end());
    lookup_.push_back(kStar);
    lookup_.insert(lookup_.end(), value.begin(), value.end());
    previous = key;
  }
  lookup_.push_back(0);

  // Each record's skip is the next record sharing fewer bytes: the records
  // between share at least as many, so a key that failed at that depth
  // fails for them too.
  std::vector<uint32_t> open;
  const auto count = static_cast<uint32_t>(records_.size());
  for (uint32_t i = count; i-- > 0;) {
    while (!open.empty() && records_[open.back()].shared >= records_[i].shared) open.pop_back();
    records_[i].skip = open.empty() ? count : open.back();
    open.push_back(i);
  }
}

// The longest key that begins at `position`. Keys are walked in sorted
// order: after a full match, the next key can only extend it; after a
// mismatch at depth m, the keys that share more than m bytes with the failed
// one fail too and are jumped over.
bool CPronunciationDictionary::longestMatch(std::string_view text, size_t position, Match& match) const {
  if (records_.empty()) return false;
  uint32_t r = firstRecord_[static_cast<uint8_t>(text[position])];
  if (r == kNoRecord) return false;
  const auto count = static_cast<uint32_t>(records_.size());
  bool found = false;
  size_t m = 0;
  while (true) {
    size_t q = records_[r].suffix;
    while (lookup_[q] != kStar && position + m < text.size() && lookup_[q] == static_cast<uint8_t>(text[position + m])) {
      ++q;
      ++m;
    }
    uint32_t next = r + 1;
    if (lookup_[q] == kStar) {
      size_t valueEnd = q + 1;
      while (lookup_[valueEnd] >= 32) ++valueEnd;
      match.end = position + m;
      match.value = std::string_view(reinterpret_cast<const char*>(lookup_.data()) + q + 1, valueEnd - q - 1);
      found = true;
    } else if (position + m == text.size() || lookup_[q] > static_cast<uint8_t>(text[position + m])) {
      // The keys that share these m bytes follow in ascending order of their
      // next byte: none of them can match either.
      return found;
    }
    while (next < count && records_[next].shared > m) next = records_[next].skip;
    if (next >= count || records_[next].shared < m) return found;
    r = next;
  }
}

bool CPronunciationDictionary::Apply(std::string& word) const {
  LowercaseInPlace(word);
  std::string text;
  text.reserve(word.size() + 2);
  text += ' ';
  text += word;
  text += ' ';
  bool changed = false;
  size_t p = 0;
  while (p < text.size()) {
    Match match;
    if (!longestMatch(text, p, match)) {
      ++p;
      continue;
    }
    // The value keeps the key's word boundaries.
    std::string replacement;
    if (text[p] == ' ') replacement += ' ';
    replacement += match.value;
    if (text[match.end - 1] == ' ') replacement += ' ';
    changed = changed || text.compare(p, match.end - p, replacement) != 0;
    text.replace(p, match.end - p, replacement);
    p += replacement.size();
  }
  if (!changed) return false;
  std::string result = text.substr(1, text.size() - 2);
  changed = result != word;
  word = std::move(result);
  return changed;
}

}  // namespace sonter2
