// In-text control tags ("\pit=120\"): the tag table and the parser shared by
// Inject and the text converter.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "engine/speech_api.h"

namespace sonter2 {

struct ControlTag {
  std::string_view name;
  bool supported;
};

// The command code of a tag in the phonetic stream is 128 plus its index.
inline constexpr std::array<ControlTag, 23> ControlTagTable = {{
    {"chr", true},   {"com", true},  {"ctx", false}, {"dem", false}, {"emp", false}, {"eng", true},
    {"enq", true},   {"mrk", true},  {"pau", true},  {"pit", true},  {"pra", false}, {"prn", false},
    {"pro", false},  {"prt", true},  {"rms", true},  {"rmw", true},  {"rpit", false}, {"rprn", true},
    {"rspd", true},  {"rst", true},  {"spd", true},  {"vce", true},  {"vol", true},
}};

enum TagIndex : uint32_t {
  kTagMrk = 7,
  kTagPau = 8,
  kTagPit = 9,
  kTagRms = 14,
  kTagRst = 19,
  kTagSpd = 20,
  kTagVce = 21,
  kTagVol = 22,
};

// The speaker names of the two voice modes, as the vce tag compares them.
inline constexpr std::string_view kSecondSpeaker = "Dorvik";

// Reads one tag at `cursor` (which must stand on its opening backslash) in a
// NUL-terminated code-page-1250 string.
//   S_OK: index and value set (value untouched for "rst"), cursor past the
//         closing backslash.
//   E_NOTIMPL: unsupported tag, or letters that name no tag; cursor past the
//         tag's closing backslash, or on the NUL when there is none.
//   TTSERR_BADCHARSET: malformed; cursor somewhere inside the tag.
HRESULT ParseControlTag(const char*& cursor, uint32_t& index, uint32_t& value);

}  // namespace sonter2
