// The user pronunciation dictionary: keys (whole words, word beginnings,
// endings or any part of a word) mapped to replacement words, kept in a
// sorted, prefix-shared lookup buffer; one-character keys rename characters.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sonter2 {

class CPronunciationDictionary {
 public:
  // Empties the entries and the lookup buffer and restores the built-in
  // character names.
  void Reset();
  // Merges one dictionary file; false when it cannot be opened.
  bool LoadFile(const std::string& path);
  // Sorts the entries and rebuilds the lookup buffer.
  void Build();
  // Lowercases `word` and applies the replacements in place; true when the
  // result differs from the lowercased word.
  bool Apply(std::string& word) const;

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
  std::vector<uint8_t> lookup_;
};

}  // namespace sonter2
