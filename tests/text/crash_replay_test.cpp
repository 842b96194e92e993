// Replays every input that ever crashed a text fuzzer (tests/text/crashes)
// and the fuzzers' seed corpus through the same entry points.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/text/text_fuzz_targets.h"

namespace sonter2 {
namespace {

std::vector<std::filesystem::path> InputsOf(const std::string& target) {
  std::vector<std::filesystem::path> files;
  for (const std::string dir : {"/tests/text/crashes/", "/fuzz/text/corpus/"}) {
    const std::filesystem::path path = std::string(SONTER2_SOURCE_DIR) + dir + target;
    if (!std::filesystem::is_directory(path)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      if (entry.is_regular_file() && entry.path().filename() != "README.md") files.push_back(entry.path());
    }
  }
  return files;
}

void Replay(const std::string& target, void (*entry)(const uint8_t*, size_t)) {
  const auto files = InputsOf(target);
  EXPECT_FALSE(files.empty()) << target;
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    std::ifstream in(file, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    entry(reinterpret_cast<const uint8_t*>(data.data()), data.size());  // aborts on a failed check
  }
}

TEST(CrashReplay, Converter) { Replay("converter", fuzz::FuzzConverter); }
TEST(CrashReplay, Dictionary) { Replay("dictionary", fuzz::FuzzDictionary); }

}  // namespace
}  // namespace sonter2
