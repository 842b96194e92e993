// Decoding of the voice file (key stream, descrambling, segment index) and
// attaching within one process, through the shared region and without it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "synth/voice_database.h"
#include "tests/support/voice_file_writer.h"

namespace sonter2 {
namespace {

using test::VoiceFileWriter;

std::string uniqueRegionName() {
  static std::atomic<int> counter{0};
  return "sonter2-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

bool shmExists(const std::string& name) { return std::filesystem::exists("/dev/shm/" + name); }

std::vector<uint8_t> samplesOf(const VoiceData& voice) {
  return std::vector<uint8_t>(voice.samples, voice.samples + voice.samplesSize);
}

std::vector<uint32_t> indexOf(const VoiceData& voice, uint32_t count) {
  std::vector<uint32_t> entries;
  for (uint32_t n = 0; n < count; ++n) entries.push_back(voice.segmentStart(n));
  return entries;
}

// A small voice whose decoded data is known byte for byte.
VoiceFileWriter smallVoice() {
  VoiceFileWriter w;
  for (size_t i = 0; i < w.lenTable.size(); ++i) w.lenTable[i] = static_cast<uint8_t>(i + 1);
  w.prefix = {7, 8};
  w.segment(0).part(1, {{130, 140, 150}});
  w.segment(2).fixedPart(3, {{1, 2}, {3}});
  return w;
}

// Writes the file and removes it at the end of the test.
struct TempVoiceFile {
  explicit TempVoiceFile(const std::vector<uint8_t>& bytes) : path(test::temporaryPath("sonter2-voice")) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  ~TempVoiceFile() { std::filesystem::remove(path); }
  std::string path;
};

TEST(KeyStream, StepsFollowTheGeneratorState) {
  std::array<uint8_t, kNoiseGenSize> state{};
  for (size_t i = 0; i < state.size(); ++i) state[i] = static_cast<uint8_t>(i * 10);
  uint32_t index = 0;
  // b = S[0] = 0: S[1] = 10; b = S[1] = 10: S[2] = 30; b = 30: S[3] = 60.
  EXPECT_EQ(nextKeyByte(state, index), 10);
  EXPECT_EQ(nextKeyByte(state, index), 30);
  EXPECT_EQ(nextKeyByte(state, index), 60);
  EXPECT_EQ(index, 3u);
  // The index wraps after 16 steps, the 16th adding S[15] into S[0]; S[16]
  // never takes part.
  for (int i = 0; i < 12; ++i) nextKeyByte(state, index);
  const uint8_t s15 = state[15];
  nextKeyByte(state, index);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(state[0], s15);
  EXPECT_EQ(state[16], 160);
}

TEST(Descramble, WordsAreUnscrambledAndAnOddLastByteStaysPlain) {
  std::array<uint8_t, kNoiseGenSize> state{};
  state[0] = 3;
  // One word with key byte 3: stored 0x0203 -> (0x0203 - 3) ^ 0x4C27 = 0x4E27.
  std::vector<uint8_t> data = {0x03, 0x02, 0x99};
  uint32_t index = 0;
  descrambleSamples(data.data(), data.size(), state, index);
  EXPECT_EQ(data, (std::vector<uint8_t>{0x27, 0x4E, 0x99}));
  EXPECT_EQ(index, 1u);  // size / 2 steps, rounded down
}

// The same checks through the in-memory decoder and through a shared region.
class DecodedVoiceFile : public ::testing::TestWithParam<bool> {
 protected:
  const VoiceData* load(const std::vector<uint8_t>& bytes) {
    file_ = std::make_unique<TempVoiceFile>(bytes);
    if (GetParam()) {
      database_.attachDatabase(file_->path, uniqueRegionName());
      return database_.voice();
    }
    decoded_ = DecodedVoice::fromFileBytes(bytes);
    return decoded_ ? &decoded_->voice() : nullptr;
  }
  std::unique_ptr<TempVoiceFile> file_;
  VoiceDatabase database_;
  std::unique_ptr<DecodedVoice> decoded_;
};

TEST_P(DecodedVoiceFile, DecodesSamplesHeaderAndIndex) {
  VoiceFileWriter w = smallVoice();
  w.closingDelimiter = false;
  w.prefix.push_back(9);  // 3 + FF + 6 + FF + FF + 7: an odd 19 bytes
  const std::vector<uint8_t> decoded = w.decodedData();
  ASSERT_EQ(decoded.size() % 2, 1u);
  const VoiceData* voice = load(w.fileBytes());
  ASSERT_NE(voice, nullptr);
  EXPECT_EQ(samplesOf(*voice), decoded);
  EXPECT_EQ(voice->lenTable, w.lenTable);
  // The generator state as the descrambling left it: size / 2 key steps.
  std::array<uint8_t, kNoiseGenSize> expected = w.noiseGen;
  uint32_t index = 0;
  for (size_t i = 0; i < decoded.size() / 2; ++i) nextKeyByte(expected, index);
  EXPECT_EQ(voice->noiseGen, expected);
  // Delimiters at 3, 10 and 11 of the data: segments start after them.
  EXPECT_EQ(indexOf(*voice, 5), (std::vector<uint32_t>{4, 11, 12, 0, 0}));
}

TEST_P(DecodedVoiceFile, DelimiterAsLastByteIndexesTheEndAndUnusedEntriesAreZero) {
  VoiceFileWriter w;
  w.segment(0).part(1, {{140}});
  const VoiceData* voice = load(w.fileBytes());  // FF 01 01 01 8C FF
  ASSERT_NE(voice, nullptr);
  EXPECT_EQ(indexOf(*voice, 3), (std::vector<uint32_t>{1, voice->samplesSize, 0}));
  EXPECT_EQ(voice->segmentStart(kSegmentCount - 1), 0u);
  EXPECT_EQ(voice->segmentStart(kSegmentCount), 0u);
  EXPECT_EQ(voice->segmentStart(-1), 0u);
}

TEST_P(DecodedVoiceFile, DelimitersBeyondTheIndexAreIgnored) {
  VoiceFileWriter w;
  w.prefix.assign(kSegmentCount + 500, 0xFF);
  const VoiceData* voice = load(w.fileBytes());
  ASSERT_NE(voice, nullptr);
  EXPECT_EQ(voice->segmentStart(kSegmentCount - 1), kSegmentCount);
}

TEST_P(DecodedVoiceFile, ShortFilesAreMissingAndTheBareHeaderIsAnEmptyVoice) {
  EXPECT_EQ(load(std::vector<uint8_t>(67, 1)), nullptr);
  database_.detachDatabase();
  const VoiceData* voice = load(std::vector<uint8_t>(68, 1));
  ASSERT_NE(voice, nullptr);
  EXPECT_EQ(voice->samplesSize, 0u);
  EXPECT_EQ(voice->segmentStart(0), 0u);
}

INSTANTIATE_TEST_SUITE_P(InMemoryAndShared, DecodedVoiceFile, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Shared" : "InMemory"; });

TEST(VoiceDatabase, MissingFileLeavesTheProcessWithoutADatabaseButCounted) {
  VoiceDatabase database;
  const std::string name = uniqueRegionName();
  database.attachDatabase("/nonexistent/tamsel.rec", name);
  EXPECT_EQ(database.voice(), nullptr);
  EXPECT_EQ(database.sharedVariables().objCount, 1);
  database.detachDatabase();
  EXPECT_FALSE(shmExists(name));
  EXPECT_FALSE(shmExists(name + ".control"));
}

TEST(VoiceDatabase, SecondAttachmentMapsTheFirstOnesRegion) {
  TempVoiceFile file(smallVoice().fileBytes());
  const std::string name = uniqueRegionName();
  VoiceDatabase first, second;
  first.attachDatabase(file.path, name);
  second.attachDatabase(file.path, name);
  ASSERT_NE(first.voice(), nullptr);
  ASSERT_NE(second.voice(), nullptr);
  EXPECT_TRUE(first.decodedHere());
  EXPECT_FALSE(second.decodedHere());
  EXPECT_EQ(second.sharedVariables().objCount, 2);
  EXPECT_EQ(samplesOf(*second.voice()), samplesOf(*first.voice()));
  EXPECT_EQ(second.voice()->noiseGen, first.voice()->noiseGen);
  EXPECT_EQ(second.sharedVariables().sharedNoiseGenBase, first.voice()->noiseGen);
  EXPECT_TRUE(shmExists(name));

  // One detaching does not disturb the other; the last one removes the names.
  const std::vector<uint8_t> before = samplesOf(*second.voice());
  first.detachDatabase();
  EXPECT_EQ(first.voice(), nullptr);
  EXPECT_EQ(second.sharedVariables().objCount, 1);
  EXPECT_EQ(samplesOf(*second.voice()), before);
  second.detachDatabase();
  EXPECT_EQ(second.sharedVariables().objCount, 0);
  EXPECT_FALSE(shmExists(name));
  EXPECT_FALSE(shmExists(name + ".control"));
}

TEST(VoiceDatabase, AttachingAgainAfterTheLastDetachLoadsTheFileAgain) {
  TempVoiceFile file(smallVoice().fileBytes());
  const std::string name = uniqueRegionName();
  VoiceDatabase database;
  database.attachDatabase(file.path, name);
  const std::array<uint8_t, kNoiseGenSize> noise = database.voice()->noiseGen;
  database.detachDatabase();
  database.attachDatabase(file.path, name);
  ASSERT_NE(database.voice(), nullptr);
  EXPECT_TRUE(database.decodedHere());
  // The key stream starts afresh, as in a newly loaded library.
  EXPECT_EQ(database.voice()->noiseGen, noise);
}

TEST(VoiceDatabase, WithoutSharedMemoryTheProcessDecodesItsOwnCopy) {
  VoiceFileWriter w = smallVoice();
  TempVoiceFile file(w.fileBytes());
  // A name shared memory refuses, and a name whose region cannot be created
  // (a directory stands in its place).
  const std::string refused = "no/such/" + uniqueRegionName();
  const std::string blocked = uniqueRegionName();
  ASSERT_TRUE(std::filesystem::create_directory("/dev/shm/" + blocked));
  for (const std::string& name : {refused, blocked}) {
    VoiceDatabase database;
    database.attachDatabase(file.path, name);
    ASSERT_NE(database.voice(), nullptr) << name;
    EXPECT_TRUE(database.decodedHere());
    EXPECT_EQ(samplesOf(*database.voice()), w.decodedData());
    database.detachDatabase();
    EXPECT_EQ(database.voice(), nullptr);
  }
  std::filesystem::remove("/dev/shm/" + blocked);
  EXPECT_FALSE(shmExists(blocked + ".control"));
}

TEST(VoiceDatabase, AForkedChildDetachingLeavesTheParentAttached) {
  TempVoiceFile file(smallVoice().fileBytes());
  const std::string name = uniqueRegionName();
  VoiceDatabase parent;
  parent.attachDatabase(file.path, name);
  const pid_t child = ::fork();
  if (child == 0) {
    parent.detachDatabase();
    ::_exit(0);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(shmExists(name));
  VoiceDatabase other;
  other.attachDatabase(file.path, name);
  EXPECT_FALSE(other.decodedHere());
  EXPECT_EQ(other.sharedVariables().objCount, 2);
  other.detachDatabase();
  parent.detachDatabase();
  EXPECT_FALSE(shmExists(name));
}

}  // namespace
}  // namespace sonter2
