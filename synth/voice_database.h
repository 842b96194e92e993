// The voice sample database: the voice file "tamsel.rec" (a length table, a
// generator state and scrambled 8-bit pitch periods grouped into segments),
// decoded once per machine into a named shared region that every process
// maps read-only, and the per-process copies of the two header tables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/shared_region.h"

namespace sonter2 {

inline constexpr size_t kLenTableSize = 51;
inline constexpr size_t kNoiseGenSize = 17;
inline constexpr size_t kVoiceHeaderSize = kLenTableSize + kNoiseGenSize;  // 68
inline constexpr uint32_t kSegmentCount = 3840;                           // 64 symbols x 60 slots
inline constexpr size_t kSegmentIndexBytes = kSegmentCount * 4;
inline constexpr uint8_t kSegmentDelimiter = 0xFF;
inline constexpr uint16_t kScrambleMask = 0x4C27;
// The production name of the shared region; tests use names of their own.
inline constexpr const char* kSharedRegionName = "KestrowTalkSamples";
inline constexpr const char* kVoiceFileName = "tamsel.rec";

// What the synthesizer reads: the decoded samples, the segment index behind
// them and this process's copies of the header tables. All of it read-only.
struct VoiceData {
  const uint8_t* samples = nullptr;       // samplesBase
  uint32_t samplesSize = 0;
  const uint8_t* segmentIndex = nullptr;  // kSegmentCount 32-bit entries, possibly unaligned
  std::array<uint8_t, kLenTableSize> lenTable{};   // lenTableCopy
  std::array<uint8_t, kNoiseGenSize> noiseGen{};   // noiseGenCopy

  // Byte offset of segment n in the samples; 0 for numbers outside the index.
  uint32_t segmentStart(int64_t n) const;
};

// One step of the descrambling key stream over state[0..15].
uint8_t nextKeyByte(std::array<uint8_t, kNoiseGenSize>& state, uint32_t& index);
// Descrambles the sample data in place, one key byte per whole 16-bit word,
// advancing `state` and `index` as it goes; an odd last byte stays as stored.
void descrambleSamples(uint8_t* data, size_t size, std::array<uint8_t, kNoiseGenSize>& state, uint32_t& index);
// Writes, for each 0xFF of the data in order, the offset after it into the
// next index entry; entries beyond the delimiters are 0, delimiters beyond
// the index's room are ignored.
void buildSegmentIndex(const uint8_t* data, uint32_t size, uint8_t* index);

// A voice decoded into memory of its own, for one process: the fallback when
// the shared region cannot be had, and what fuzzing and benchmarks use.
class DecodedVoice {
 public:
  // Nothing when the bytes are too short to be a voice file.
  static std::unique_ptr<DecodedVoice> fromFileBytes(std::span<const uint8_t> file);
  static std::unique_ptr<DecodedVoice> fromFile(const std::string& path);
  const VoiceData& voice() const { return voice_; }
  // The generator state as the descrambling left it.
  const std::array<uint8_t, kNoiseGenSize>& advancedNoiseGen() const { return voice_.noiseGen; }

 private:
  std::vector<uint8_t> storage_;
  VoiceData voice_;
};

// The shared variables as this process sees them (the library exports a copy
// under their own names).
struct SharedVariables {
  int32_t objCount = 0;
  std::array<uint8_t, kLenTableSize> sharedLenTableBase{};
  std::array<uint8_t, kNoiseGenSize> sharedNoiseGenBase{};
  uint32_t samplesSize = 0;
};

struct SharedControl;

// One process's attachment to the machine-wide database of one region name.
// The library uses one for the whole process (attachDatabase below); tests
// make their own with unique region names.
class VoiceDatabase {
 public:
  VoiceDatabase() = default;
  ~VoiceDatabase() { detachDatabase(); }
  VoiceDatabase(const VoiceDatabase&) = delete;
  VoiceDatabase& operator=(const VoiceDatabase&) = delete;

  // Maps the region of `regionName`, building it from `path` when no usable
  // one exists. Afterwards voice() is either set or null.
  void attachDatabase(const std::string& path, const std::string& regionName);
  void detachDatabase();

  // Null when this process has no database.
  const VoiceData* voice() const { return samplesBase != nullptr ? &view_ : nullptr; }
  SharedVariables sharedVariables() const;
  // True when this process decoded the file (rather than mapping a region
  // another process built); for tests.
  bool decodedHere() const { return decodedHere_; }
  bool attached() const { return attached_; }

 private:
  bool openControl(const std::string& regionName);
  bool loadDatabase(const std::string& path);
  bool regionReusable(const std::string& path, bool othersAttached);
  bool mapRegion();
  void loadPrivately(const std::string& path);
  void releaseControl();

  std::string regionName_;
  std::string controlName_;
  platform::SharedRegion control_;
  SharedControl* shared_ = nullptr;
  platform::SharedRegion sampleMapping;
  void* sampleView = nullptr;
  size_t viewSize_ = 0;
  const uint8_t* samplesBase = nullptr;
  const uint8_t* segmentIndex = nullptr;
  uint32_t keyStreamIndex = 0;
  VoiceData view_;
  std::unique_ptr<DecodedVoice> private_;
  SharedVariables lastSeen_;
  bool decodedHere_ = false;
  bool attached_ = false;
  int attachedPid_ = 0;
};

// The process's database, attached when the library is loaded: the file
// beside the library, the region named kSharedRegionName.
void attachDatabase();
void detachDatabase();
// Null when the process has no database (not attached, or no usable file).
const VoiceData* currentVoice();
SharedVariables currentSharedVariables();

}  // namespace sonter2
