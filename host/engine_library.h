// How the sonter2 command reaches the engine: the library named for the
// mode enumerator's class in the classes file when it is registered there,
// else libsonter2.so from the build or install layout beside the program
// (<exe dir>/../lib/), so that nobody has to register it first.
#pragma once

#include <string>

#include "sonter2/client.h"

namespace sonter2::host {

// Loads the engine library into `server`; false with a one-line reason.
bool OpenEngineLibrary(client::Server& server, std::string& error);

// The directory of a file path ("." when it has none).
std::string DirectoryOf(const std::string& path);


}  // namespace sonter2::host
