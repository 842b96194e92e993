// The engine's two voice modes, as the mode enumerator lists them.
#pragma once

#include <array>

#include "engine/speech_api.h"

namespace sonter2 {

const std::array<TTSMODEINFOW, 2>& modeTable();

// The ANSI form of a mode record, converted as the ANSI ModeGet converts.
void modeInfoToAnsi(const TTSMODEINFOW& in, TTSMODEINFOA& out);

}  // namespace sonter2
