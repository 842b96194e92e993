// Helpers for the text tests: literals are written in UTF-8 and compared in
// code page 1250, the engine's own encoding.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/codepage.h"
#include "text/word_list.h"

namespace sonter2::testing {

// A directory of this test process's own (ctest runs tests in parallel, so
// fixed names in the shared temporary directory would collide), with a
// trailing slash.
inline std::string PrivateTempDir() {
  const std::string dir = ::testing::TempDir() + "sonter2-text-" + std::to_string(::getpid()) + "/";
  std::filesystem::create_directories(dir);
  return dir;
}

inline std::string Cp(std::string_view utf8) { return platform::Utf8ToCp1250(utf8, platform::kUnconvertible); }
inline std::string Utf8(std::string_view cp1250) { return platform::Cp1250ToUtf8(cp1250); }

// The words in UTF-8, separated by single blanks; an empty word shows as "∅".
inline std::string JoinWords(const WordList& words) {
  std::string out;
  for (const auto& word : words) {
    if (!out.empty()) out += ' ';
    out += word.empty() ? std::string("∅") : Utf8(word);
  }
  return out;
}

}  // namespace sonter2::testing
