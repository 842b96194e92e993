// Tests drive the phonetic stream with scripted clauses instead of the text
// converter, so the pump and the reader can be checked byte for byte.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "synth/phonetic_stream.h"

namespace sonter2::test {

inline std::string element(uint32_t code, uint32_t value) {
  std::string out;
  encodeElement(out, code, value);
  return out;
}

// Each conversion appends the next clause; the source text counts clauses
// (one byte each), so a text of n bytes ends after n clauses. Every restart
// begins the script again.
inline void scriptClauses(PhoneticStream& stream, std::vector<std::string> clauses, int* calls = nullptr) {
  auto next = std::make_shared<size_t>(0);
  stream.setClauseSource([next, clauses = std::move(clauses), calls](PhoneticStream& s) {
    if (s.sourceCursor >= s.sourceText.size()) return;
    if (s.startFlag) *next = 0;
    s.startFlag = false;
    if (calls != nullptr) ++*calls;
    if (*next < clauses.size()) s.appendSymbols(clauses[(*next)++]);
    s.sourceCursor = *next >= clauses.size() ? s.sourceText.size() : s.sourceCursor + 1;
  });
}

}  // namespace sonter2::test
