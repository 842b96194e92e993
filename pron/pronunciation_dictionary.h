// The user pronunciation dictionary: keys (whole words, word beginnings,
// endings or any part of a word) mapped to replacement words, kept in a
// sorted, prefix-shared lookup buffer; one-character keys rename characters.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace sonter2 {

class CPronunciationDictionary {
 public:
  // Keys longer than this (with their boundary blanks) are refused: the
  // lookup buffer's shared counts must stay below the smallest key byte.
  static constexpr size_t kMaxKeyLength = 32;
  // Lines of this many bytes or more (without the line end) are skipped.
  static constexpr size_t kMaxLineLength = 256;

  // Empties the entries and the lookup buffer and restores the built-in
  // character names.
  void Reset();
  // Merges one dictionary file; false when it cannot be opened.
  bool LoadFile(const std::string& path);
  // Merges dictionary lines held in memory, exactly as LoadFile reads a file.
  void LoadText(std::string_view text);
  // Sorts the entries and rebuilds the lookup buffer.
  void Build();
  // Lowercases `word` and applies the replacements in place; true when the
  // result differs from the lowercased word.
  bool Apply(std::string& word) const;

  // The stored entries (key with its boundary blanks, value), in loading
  // order until Build sorts them.
  const std::vector<std::pair<std::string, std::string>>& entries() const { return entries_; }
  // The lookup buffer: per key its shared-prefix count, the rest of the key,
  // "*" and the value; one 0 at the end. Empty between Reset and Build.
  const std::vector<uint8_t>& lookupBuffer() const { return lookup_; }

 private:
  // One key of the lookup buffer, for jumping over keys during the walk.
  struct Record {
    uint32_t suffix = 0;  // offset of the key's own bytes in the buffer
    uint8_t shared = 0;   // bytes shared with the previous key
    uint32_t skip = 0;    // next record that shares fewer bytes than this one
  };
  struct Match {
    size_t end = 0;  // end of the matched key in the text
    std::string_view value;
  };

  void loadLine(std::string_view line);
  void addEntry(std::string key, std::string value);
  bool longestMatch(std::string_view text, size_t position, Match& match) const;

  std::vector<std::pair<std::string, std::string>> entries_;
  std::unordered_map<std::string, size_t> entryIndex_;
  std::vector<uint8_t> lookup_;
  std::vector<Record> records_;
  static constexpr uint32_t kNoRecord = UINT32_MAX;
  std::array<uint32_t, 256> firstRecord_{};
};

}  // namespace sonter2
