// One accepted text-data call, as it waits in the queue.
#pragma once

#include <string>

#include "engine/speech_api.h"

namespace sonter2 {

struct SpeechRequest {
  std::string text;                        // code page 1250, up to its NUL
  ITTSBufNotifySink* notifySink = nullptr;  // one reference held from acceptance on
  bool ansiText = false;                   // came through the ANSI interface
  bool tagged = false;                     // flags were exactly TTSDATAFLAG_TAGGED
};

}  // namespace sonter2
