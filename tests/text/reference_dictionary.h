// The dictionary's replacement by its plain definition: at each position the
// longest key that begins there, by trying every entry, scanning on after
// the replacement. The tests and the fuzzer hold the fast walk against it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "text/character_class.h"

namespace sonter2 {

inline std::string ReferenceApply(const std::vector<std::pair<std::string, std::string>>& entries, std::string word) {
  LowercaseInPlace(word);
  std::string text = " " + word + " ";
  size_t p = 0;
  while (p < text.size()) {
    const std::pair<std::string, std::string>* best = nullptr;
    for (const auto& entry : entries) {
      if (text.compare(p, entry.first.size(), entry.first) == 0 && (!best || entry.first.size() > best->first.size())) {
        best = &entry;
      }
    }
    if (best == nullptr) {
      ++p;
      continue;
    }
    const std::string replacement =
        (best->first.front() == ' ' ? " " : "") + best->second + (best->first.back() == ' ' ? " " : "");
    text.replace(p, best->first.size(), replacement);
    p += replacement.size();
  }
  return text.substr(1, text.size() - 2);
}

}  // namespace sonter2
