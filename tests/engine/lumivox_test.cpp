// The engine behaves differently in one host program: run a probe under
// that program's name and compare.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string run(const fs::path& program) {
  std::string out;
  FILE* p = popen(program.c_str(), "r");
  if (p == nullptr) return out;
  char buf[256];
  while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
  pclose(p);
  return out;
}

TEST(LumivoxHost, TheFirstFullStopAfterBookmark1100IsPassedOver) {
  const fs::path probe = fs::path(SONTER2_BINARY_DIR) / "bin" / "lumivox_probe";
  const fs::path dir = fs::temp_directory_path() / ("sonter2-host-" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::copy_file(probe, dir / "LUMIVOX.EXE", fs::copy_options::overwrite_existing);
  EXPECT_EQ(run(dir / "LUMIVOX.EXE"),
            "host 1\n\\mrk=1100\\Dobr\xfd den  Ahoj.\n\\MRK=1100\\a b.\n\\mrk=1101\\a.b.\na.\\mrk=1100\\b.\n");
  EXPECT_EQ(run(probe), "host 0\n\\mrk=1100\\Dobr\xfd den. Ahoj.\n\\MRK=1100\\a.b.\n\\mrk=1101\\a.b.\na.\\mrk=1100\\b.\n");
  fs::remove_all(dir);
}

}  // namespace
