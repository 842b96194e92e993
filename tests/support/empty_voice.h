// A voice whose every segment is empty: an engine binds to it and runs its
// whole protocol, and phonemes render no samples, so tests see only what
// the pump itself produces (pauses, fades) and the marks.
#pragma once

#include <memory>

#include "synth/voice_database.h"

namespace sonter2::test {

std::unique_ptr<DecodedVoice> emptyVoice();

}  // namespace sonter2::test
