// What the sonter2 command plays its speech into. Each function returns a
// new destination holding one reference (give it back with Release), or
// nullptr with a one-line message for the user in *error. Hand
// dest->unknown() to the engine's Select as the audio object.
#pragma once

#include <string>

#include "host/audio/audio_destination.h"
#include "host/audio/pulse_dest.h"

namespace sonter2::host {

// A 22050 Hz mono 16-bit WAV file, created or truncated; its sizes are
// written when the engine lets the device go (UnClaim) and at the end.
CAudioDestination* OpenWavFile(const std::string& path, std::string* error);
// The sound card, through the user's sound server.
CAudioDestination* OpenSoundCard(const SoundCardOptions& options, std::string* error);
// Raw samples (S16_LE, 22050 Hz, mono) to a descriptor the caller keeps.
CAudioDestination* OpenRawFd(int fd, std::string* error);
// A WAV stream to a descriptor; see CFdDest for the header's sizes.
CAudioDestination* OpenWavStream(int fd, std::string* error);

}  // namespace sonter2::host
