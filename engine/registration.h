// Registration: the class entries (program identifiers, class keys with the
// library's path and threading model) and the type library's description,
// written to the classes file in the registry export format.
#pragma once

#include <string>

#include "engine/speech_api.h"

namespace sonter2 {

// The classes file: $SONTER2_CLASSES, else $XDG_DATA_HOME/sonter2/classes.reg,
// else ~/.local/share/sonter2/classes.reg.
std::string classesFilePath();

// Writes the entries with `modulePath` as the server's path. E_FAIL when the
// file cannot be written (an existing malformed file is not overwritten).
HRESULT registerServer(const std::string& modulePath, const std::string& classesFile);
// Removes what registerServer wrote; keys marked to stay (CLSID) remain.
HRESULT unregisterServer(const std::string& classesFile);

}  // namespace sonter2
