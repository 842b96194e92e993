// Reference renderings by the source voice's own synthesizer (Festival's
// text2wave with the Czech diphone voice), cached on disk.
#pragma once

#include <string>

#include "tools/voicereport/analysis.h"

namespace voicereport {

// Code page 1250 text to ISO-8859-2 (they differ in a few letters:
// š ť ž Š Ť Ž and some non-Czech ones).
std::string cp1250ToIso88592(const std::string& text);

// Renders `text` (code page 1250) with `voiceCommand` (e.g.
// "(voice_czech_dita)") into `wavPath` unless that file exists; false when
// text2wave is missing or fails.
bool festivalRender(const std::string& text, const std::string& voiceCommand, const std::string& wavPath);

}  // namespace voicereport
