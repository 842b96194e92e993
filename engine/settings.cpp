// Voice settings: speed, pitch and volume through ITTSAttributes and
// IAttributes, their registry defaults, and the registry's volume flags.
#include "engine/speech.h"
#include "platform/registry.h"

namespace sonter2 {

namespace {

constexpr std::string_view kConfigKey = "Software\\Kestrow\\Vesk";
constexpr uint32_t kMinSpeed = 25, kMaxSpeed = 308, kDefaultSpeed = 170;
constexpr uint32_t kMinPitch = 220, kMaxPitch = 340, kDefaultPitch = 270;

enum Attribute : DWORD {
  kAttrRealTime = 0,
  kAttrPitch = 1,
  kAttrSpeed = 2,
  kAttrVolume = 3,
  kAttrUser = 0x1018,
  kAttrVolumeAlias = 0x101A,
};

// How DWORDGet and DWORDSet treat the generic attributes 0x1005-0x1019
// that have no meaning of their own in this engine.
enum class Access { ZeroReadOnly, ZeroWritable, UntouchedReadOnly, UntouchedWritable };

bool genericAttribute(DWORD attribute, Access& access) {
  switch (attribute) {
    case 0x1005: access = Access::ZeroWritable; return true;
    case 0x1006: case 0x1007: case 0x1008: access = Access::ZeroReadOnly; return true;
    case 0x1009: case 0x100C: case 0x1012: case 0x1019: access = Access::UntouchedWritable; return true;
    default: break;
  }
  if ((attribute >= 0x100A && attribute <= 0x100B) || (attribute >= 0x100D && attribute <= 0x1011) ||
      (attribute >= 0x1013 && attribute <= 0x1017)) {
    access = Access::UntouchedReadOnly;
    return true;
  }
  return false;
}

}  // namespace

HRESULT CSpeech::PitchGet(WORD* pwPitch) {
  if (pwPitch == nullptr) return E_INVALIDARG;
  *pwPitch = pitch_;
  return S_OK;
}

HRESULT CSpeech::PitchSet(WORD wPitch) {
  HRESULT hr = applyPitch(wPitch);
  if (hr == S_OK) notifyAttribChanged(1);
  return hr;
}

// Checks and stores the pitch and applies it at once, between two pump steps.
HRESULT CSpeech::applyPitch(uint32_t value) {
  uint32_t p = value == 0xFFFF ? kMaxPitch : value;
  if (p == 0) {
    p = kMinPitch;
  } else if (p < kMinPitch || p > kMaxPitch) {
    return E_UNEXPECTED;
  }
  std::lock_guard<std::recursive_mutex> guard(pumpLock_);
  pitch_ = static_cast<uint16_t>(p);
  synth_.setBasePeriod(p);
  return S_OK;
}

HRESULT CSpeech::SpeedGet(DWORD* pdwSpeed) {
  if (pdwSpeed == nullptr) return E_INVALIDARG;
  *pdwSpeed = speed_;
  return S_OK;
}

HRESULT CSpeech::SpeedSet(DWORD dwSpeed) {
  HRESULT hr = applySpeed(dwSpeed);
  if (hr == S_OK) notifyAttribChanged(2);
  return hr;
}

// Checks and stores the speed and applies it at once, between two pump steps.
HRESULT CSpeech::applySpeed(uint32_t value) {
  uint32_t s = value == 0 ? kMinSpeed : value;
  if (s == 0xFFFFFFFFu) {
    s = kMaxSpeed;
  } else if (s < kMinSpeed || s > kMaxSpeed) {
    return E_UNEXPECTED;
  }
  std::lock_guard<std::recursive_mutex> guard(pumpLock_);
  speed_ = s;
  synth_.buildLengthTable(s);
  return S_OK;
}

HRESULT CSpeech::RealTimeGet(DWORD*) { return E_NOTIMPL; }
HRESULT CSpeech::RealTimeSet(DWORD) { return E_NOTIMPL; }

HRESULT CSpeech::VolumeGet(DWORD* pdwVolume) {
  if (pdwVolume == nullptr) return E_INVALIDARG;
  audio_->LevelGet(pdwVolume);
  return S_OK;
}

HRESULT CSpeech::VolumeSet(DWORD dwVolume) {
  if (ignoreVolume_) return S_OK;
  DWORD v = dwVolume;
  if (monoVolume_) v = (dwVolume & 0xFFFF) | (dwVolume << 16);
  audio_->LevelSet(v);
  notifyAttribChanged(3);
  return S_OK;
}

HRESULT CSpeech::DWORDGet(DWORD dwAttribute, DWORD* pdwValue) {
  if (pdwValue == nullptr) return E_INVALIDARG;
  switch (dwAttribute) {
    case kAttrRealTime: return RealTimeGet(pdwValue);
    case kAttrPitch: *pdwValue = pitch_; return S_OK;
    case kAttrSpeed: return SpeedGet(pdwValue);
    case kAttrVolume: return VolumeGet(pdwValue);
    case kAttrUser: *pdwValue = attribute1018_; return S_OK;
    case kAttrVolumeAlias: return VolumeGet(pdwValue);
    default: break;
  }
  Access access;
  if (!genericAttribute(dwAttribute, access)) return E_INVALIDARG;
  if (access == Access::ZeroReadOnly || access == Access::ZeroWritable) *pdwValue = 0;
  return S_OK;
}

HRESULT CSpeech::DWORDSet(DWORD dwAttribute, DWORD dwValue) {
  switch (dwAttribute) {
    case kAttrRealTime: return RealTimeSet(dwValue);
    case kAttrPitch: return PitchSet(static_cast<WORD>(dwValue & 0xFFFF));
    case kAttrSpeed: return SpeedSet(dwValue);
    case kAttrVolume: return VolumeSet(dwValue);
    case kAttrUser: attribute1018_ = dwValue; return S_OK;
    case kAttrVolumeAlias: return E_ACCESSDENIED;
    default: break;
  }
  Access access;
  if (!genericAttribute(dwAttribute, access)) return E_INVALIDARG;
  if (access == Access::ZeroReadOnly || access == Access::UntouchedReadOnly) return E_ACCESSDENIED;
  return S_OK;
}

HRESULT CSpeech::StringGet(DWORD, PSTR, DWORD, DWORD*) { return E_NOTIMPL; }
HRESULT CSpeech::StringGet(DWORD, PWSTR, DWORD, DWORD*) { return E_NOTIMPL; }
HRESULT CSpeech::StringSet(DWORD, PCSTR) { return E_NOTIMPL; }
HRESULT CSpeech::StringSet(DWORD, PCWSTR) { return E_NOTIMPL; }
HRESULT CSpeech::MemoryGet(DWORD, PVOID*, DWORD*) { return E_NOTIMPL; }
HRESULT CSpeech::MemorySet(DWORD, PVOID, DWORD) { return E_NOTIMPL; }

// Speed and pitch from their defaults and the registry. Nothing reaches the
// sound here: the next utterance start applies both.
void CSpeech::loadVoiceDefaults() {
  pitch_ = kDefaultPitch;
  speed_ = kDefaultSpeed;
  if (auto key = platform::RegistryKey::openLocalMachine(kConfigKey)) {
    if (auto speed = key->readDword("speed", speed_)) speed_ = *speed;
    if (auto pitch = key->readDword("pitch", pitch_)) pitch_ = static_cast<uint16_t>(*pitch & 0xFFFF);
  }
  if (speed_ < kMinSpeed || speed_ > kMaxSpeed) speed_ = kDefaultSpeed;
  if (pitch_ < kMinPitch || pitch_ > kMaxPitch) pitch_ = kDefaultPitch;
}

void CSpeech::readVolumeFlags() {
  auto key = platform::RegistryKey::openLocalMachine(kConfigKey);
  if (!key) return;
  if (auto mono = key->readDword("mono", 0)) monoVolume_ = *mono != 0;
  if (auto ignore = key->readDword("ignore volume", 0)) ignoreVolume_ = *ignore != 0;
}

}  // namespace sonter2
