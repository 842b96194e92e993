// The command's choice of audio destinations.
#include "host/audio/destinations.h"

#include "host/audio/fd_dest.h"
#include "host/audio/wav_file_dest.h"

namespace sonter2::host {

CAudioDestination* OpenWavFile(const std::string& path, std::string* error) {
  return CWavFileDest::create(path, error);
}

CAudioDestination* OpenSoundCard(const SoundCardOptions& options, std::string* error) {
  return CPulseDest::create(options, error);
}

CAudioDestination* OpenRawFd(int fd, std::string* error) { return CFdDest::create(fd, CFdDest::Format::kRaw, error); }

CAudioDestination* OpenWavStream(int fd, std::string* error) {
  return CFdDest::create(fd, CFdDest::Format::kWav, error);
}

}  // namespace sonter2::host
