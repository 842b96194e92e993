// Decoding of the voice file and the machine-wide sharing of the result.
//
// Sharing on Linux: a small control region ("<name>.control") holds the
// shared variables and the identity of the file the samples came from; the
// samples and the index live in the region "<name>". Byte 0 of the control
// region is locked while a process attaches or detaches, so testing for a
// usable region and building one is a single decision across processes and
// nobody maps a half-written region. Every attached process holds a shared
// lock on byte 1 for as long as it is attached: the system drops the lock of
// a killed process, so "does anyone still use the region" is answered by the
// locks, not by a count that dead processes never decrease.
#include "synth/voice_database.h"

#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/system.h"

namespace sonter2 {

namespace {

constexpr uint32_t kControlMagic = 0x4B545331;  // layout version of SharedControl
constexpr uint32_t kSerialByte = 0;
constexpr uint32_t kUsersByte = 1;
// A load of a realistic voice takes milliseconds; a holder that keeps the
// lock this long is stuck, and this process decodes a copy of its own.
constexpr int kLockTimeoutMs = 10000;
constexpr int kControlAttempts = 8;
// Offsets into the samples must fit 32 bits, index behind them included.
constexpr uint64_t kMaxSamplesSize = std::numeric_limits<uint32_t>::max() - kSegmentIndexBytes;

}  // namespace

struct SharedControl {
  uint32_t magic;
  int32_t objCount;
  uint32_t samplesSize;
  uint32_t complete;  // the sample region holds a finished decoding of `source`
  uint8_t sharedLenTableBase[kLenTableSize];
  uint8_t sharedNoiseGenBase[kNoiseGenSize];
  platform::FileIdentity source;
};

uint32_t VoiceData::segmentStart(int64_t n) const {
  if (segmentIndex == nullptr || n < 0 || n >= kSegmentCount) return 0;
  uint32_t offset;
  std::memcpy(&offset, segmentIndex + n * 4, sizeof offset);
  return offset;
}

uint8_t nextKeyByte(std::array<uint8_t, kNoiseGenSize>& state, uint32_t& index) {
  const uint8_t b = state[index % 16];
  index = (index + 1) % 16;
  state[index] = static_cast<uint8_t>(state[index] + b);
  return state[index];
}

void descrambleSamples(uint8_t* data, size_t size, std::array<uint8_t, kNoiseGenSize>& state, uint32_t& index) {
  for (size_t j = 0; j + 1 < size; j += 2) {
    const uint16_t stored = static_cast<uint16_t>(data[j] | (data[j + 1] << 8));
    const uint16_t word = static_cast<uint16_t>(stored - nextKeyByte(state, index)) ^ kScrambleMask;
    data[j] = static_cast<uint8_t>(word & 0xFF);
    data[j + 1] = static_cast<uint8_t>(word >> 8);
  }
}

void buildSegmentIndex(const uint8_t* data, uint32_t size, uint8_t* index) {
  std::memset(index, 0, kSegmentIndexBytes);
  uint32_t next = 0;
  for (uint32_t p = 0; p < size && next < kSegmentCount; ++p) {
    if (data[p] != kSegmentDelimiter) continue;
    const uint32_t start = p + 1;
    std::memcpy(index + next * 4, &start, sizeof start);
    ++next;
  }
}

// ---------------------------------------------------------------------------

std::unique_ptr<DecodedVoice> DecodedVoice::fromFileBytes(std::span<const uint8_t> file) {
  if (file.size() < kVoiceHeaderSize || file.size() - kVoiceHeaderSize > kMaxSamplesSize) return nullptr;
  auto decoded = std::unique_ptr<DecodedVoice>(new DecodedVoice());
  const auto size = static_cast<uint32_t>(file.size() - kVoiceHeaderSize);
  decoded->storage_.assign(size + kSegmentIndexBytes, 0);
  uint8_t* data = decoded->storage_.data();
  std::memcpy(data, file.data() + kVoiceHeaderSize, size);
  VoiceData& v = decoded->voice_;
  std::memcpy(v.lenTable.data(), file.data(), kLenTableSize);
  std::memcpy(v.noiseGen.data(), file.data() + kLenTableSize, kNoiseGenSize);
  uint32_t keyIndex = 0;
  descrambleSamples(data, size, v.noiseGen, keyIndex);
  buildSegmentIndex(data, size, data + size);
  v.samples = data;
  v.samplesSize = size;
  v.segmentIndex = data + size;
  return decoded;
}

std::unique_ptr<DecodedVoice> DecodedVoice::fromFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return nullptr;
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (bytes.size() > kMaxSamplesSize + kVoiceHeaderSize) break;
  }
  std::fclose(f);
  return fromFileBytes(bytes);
}

// ---------------------------------------------------------------------------

void VoiceDatabase::attachDatabase(const std::string& path, const std::string& regionName) {
  if (attached_) return;
  attached_ = true;
  attachedPid_ = ::getpid();
  decodedHere_ = false;
  regionName_ = regionName;
  controlName_ = regionName + ".control";
  if (!openControl(regionName)) {
    loadPrivately(path);
    return;
  }
  const bool othersAttached = control_.lockedByOthers(kUsersByte);
  // With nobody attached, any count left is that of processes that died.
  if (!othersAttached) shared_->objCount = 0;
  if (!regionReusable(path, othersAttached)) {
    sampleMapping.close();
    platform::SharedRegion::remove(regionName_);
    shared_->complete = 0;
    loadDatabase(path);  // a failure shows as an absent view below
  }
  const bool mapped = mapRegion();
  std::atomic_ref<int32_t>(shared_->objCount).fetch_add(1);
  control_.lockShared(kUsersByte);
  lastSeen_ = sharedVariables();
  control_.unlock(kSerialByte);
  // The region could not be made (no room in shared memory, the file changing
  // while it was read): a copy of this process's own keeps the voice.
  if (!mapped) loadPrivately(path);
}

// Opens the control region and takes its attach lock. A region whose name was
// removed while this process waited for the lock (its last user detached) is
// dropped and the name opened again.
bool VoiceDatabase::openControl(const std::string& regionName) {
  for (int attempt = 0; attempt < kControlAttempts; ++attempt) {
    if (!control_.open(regionName + ".control", true)) return false;
    if (!control_.lockExclusive(kSerialByte, kLockTimeoutMs)) {
      control_.close();
      return false;
    }
    if (!control_.stillNamed()) {
      control_.close();
      continue;
    }
    if (control_.size() < sizeof(SharedControl) && !control_.reserve(sizeof(SharedControl))) break;
    shared_ = static_cast<SharedControl*>(control_.map(sizeof(SharedControl), true));
    if (shared_ == nullptr) break;
    if (shared_->magic != kControlMagic) {
      // New, or left half-made by a process that died while creating it.
      std::memset(static_cast<void*>(shared_), 0, sizeof(SharedControl));
      shared_->magic = kControlMagic;
    }
    return true;
  }
  control_.close();
  return false;
}

bool VoiceDatabase::regionReusable(const std::string& path, bool othersAttached) {
  if (shared_->complete == 0) return false;
  if (!sampleMapping.open(regionName_, false)) return false;
  if (sampleMapping.size() != shared_->samplesSize + kSegmentIndexBytes) return false;
  // A region in use stays as it is even when the file has changed; a region
  // nobody uses is rebuilt when the file is not the one it came from.
  if (othersAttached) return true;
  platform::FileIdentity now;
  return platform::identifyFile(path, now) && now == shared_->source;
}

bool VoiceDatabase::loadDatabase(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  struct stat st{};
  // Shorter than the header, or too long for 32-bit offsets: no voice.
  if (::fstat(fileno(f), &st) != 0 || st.st_size < static_cast<off_t>(kVoiceHeaderSize) ||
      static_cast<uint64_t>(st.st_size) - kVoiceHeaderSize > kMaxSamplesSize) {
    std::fclose(f);
    return false;
  }
  const auto size = static_cast<uint32_t>(st.st_size - kVoiceHeaderSize);
  shared_->samplesSize = size;
  if (std::fread(shared_->sharedLenTableBase, 1, kLenTableSize, f) != kLenTableSize ||
      std::fread(shared_->sharedNoiseGenBase, 1, kNoiseGenSize, f) != kNoiseGenSize ||
      !sampleMapping.create(regionName_, size + kSegmentIndexBytes, false)) {
    std::fclose(f);
    return false;
  }
  auto* data = static_cast<uint8_t*>(sampleMapping.map(size + kSegmentIndexBytes, true));
  const size_t got = data != nullptr ? std::fread(data, 1, size, f) : 0;
  std::fclose(f);
  if (got < size) {
    platform::SharedRegion::unmap(data, size + kSegmentIndexBytes);
    sampleMapping.close();
    platform::SharedRegion::remove(regionName_);
    return false;
  }
  std::array<uint8_t, kNoiseGenSize> state;
  std::memcpy(state.data(), shared_->sharedNoiseGenBase, kNoiseGenSize);
  keyStreamIndex = 0;
  descrambleSamples(data, size, state, keyStreamIndex);
  std::memcpy(shared_->sharedNoiseGenBase, state.data(), kNoiseGenSize);
  buildSegmentIndex(data, size, data + size);
  platform::SharedRegion::unmap(data, size + kSegmentIndexBytes);
  shared_->source = platform::FileIdentity{static_cast<uint64_t>(st.st_size), static_cast<uint64_t>(st.st_dev),
                                           static_cast<uint64_t>(st.st_ino),
                                           static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
  shared_->complete = 1;
  decodedHere_ = true;
  return true;
}

bool VoiceDatabase::mapRegion() {
  samplesBase = segmentIndex = nullptr;
  if (!sampleMapping.isOpen() || shared_->complete == 0) return false;
  const size_t size = size_t{shared_->samplesSize} + kSegmentIndexBytes;
  if (sampleMapping.size() != size) return false;
  sampleView = sampleMapping.map(size, false);
  if (sampleView == nullptr) return false;
  viewSize_ = size;
  samplesBase = static_cast<const uint8_t*>(sampleView);
  segmentIndex = samplesBase + shared_->samplesSize;
  view_.samples = samplesBase;
  view_.samplesSize = shared_->samplesSize;
  view_.segmentIndex = segmentIndex;
  std::memcpy(view_.lenTable.data(), shared_->sharedLenTableBase, kLenTableSize);
  std::memcpy(view_.noiseGen.data(), shared_->sharedNoiseGenBase, kNoiseGenSize);
  return true;
}

void VoiceDatabase::loadPrivately(const std::string& path) {
  private_ = DecodedVoice::fromFile(path);
  if (private_ == nullptr) return;
  view_ = private_->voice();
  samplesBase = view_.samples;
  segmentIndex = view_.segmentIndex;
  decodedHere_ = true;
  if (shared_ == nullptr) lastSeen_ = SharedVariables{1, view_.lenTable, view_.noiseGen, view_.samplesSize};
}

void VoiceDatabase::detachDatabase() {
  if (!attached_) return;
  attached_ = false;
  if (shared_ != nullptr && ::getpid() != attachedPid_) {
    // A forked child shares the parent's lock handle: releasing the locks or
    // the count here would take them from the parent, which still attaches.
    releaseControl();
  } else if (shared_ != nullptr) {
    // Without the attach lock (a stuck holder) the names are left alone: the
    // next process to attach finds nobody using them and takes them over.
    const bool serial = control_.lockExclusive(kSerialByte, kLockTimeoutMs);
    control_.unlock(kUsersByte);
    std::atomic_ref<int32_t>(shared_->objCount).fetch_sub(1);
    if (serial && !control_.lockedByOthers(kUsersByte)) {
      platform::SharedRegion::remove(regionName_);
      platform::SharedRegion::remove(controlName_);
      shared_->objCount = 0;
    }
    lastSeen_ = sharedVariables();
    releaseControl();
  } else {
    lastSeen_.objCount = 0;
  }
  platform::SharedRegion::unmap(sampleView, viewSize_);
  sampleView = nullptr;
  viewSize_ = 0;
  sampleMapping.close();
  samplesBase = segmentIndex = nullptr;
  view_ = VoiceData{};
  private_.reset();
}

void VoiceDatabase::releaseControl() {
  platform::SharedRegion::unmap(shared_, sizeof(SharedControl));
  shared_ = nullptr;
  control_.close();  // drops this process's locks
}

SharedVariables VoiceDatabase::sharedVariables() const {
  if (shared_ == nullptr) return lastSeen_;
  SharedVariables v;
  v.objCount = std::atomic_ref<int32_t>(shared_->objCount).load();
  std::memcpy(v.sharedLenTableBase.data(), shared_->sharedLenTableBase, kLenTableSize);
  std::memcpy(v.sharedNoiseGenBase.data(), shared_->sharedNoiseGenBase, kNoiseGenSize);
  v.samplesSize = shared_->samplesSize;
  return v;
}

// ---------------------------------------------------------------------------

namespace {

VoiceDatabase& processDatabase() {
  static VoiceDatabase database;
  return database;
}

}  // namespace

// SONTER2_REGION names another region, so that two builds (or tests run side
// by side) do not share one database.
void attachDatabase() {
  const char* region = std::getenv("SONTER2_REGION");
  processDatabase().attachDatabase(platform::fileBesideLibrary(kVoiceFileName),
                                   region != nullptr && *region != '\0' ? region : kSharedRegionName);
}

void detachDatabase() { processDatabase().detachDatabase(); }

const VoiceData* currentVoice() { return processDatabase().voice(); }

SharedVariables currentSharedVariables() { return processDatabase().sharedVariables(); }

}  // namespace sonter2
