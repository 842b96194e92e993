// What the engine asks of the operating system besides the registry: where
// its own library file lies, which modules the host process has loaded, and
// the debug trace.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sonter2::platform {

// Full path of the file that holds the engine's code (the shared library, or
// the program when the engine is linked in statically). Empty when unknown.
std::string libraryPath();

// The path of a file beside the engine's library file. Follows the file rule
// of the engine: the library path is cut after its last directory separator;
// with no separator the name is appended to the whole path.
std::string fileBesideLibrary(std::string_view name);

// Names (without directories) of the executable and the modules loaded in
// this process, in load order. Empty when they cannot be listed.
std::vector<std::string> processModuleNames();

// True when a module of that name is loaded in this process (compared without
// regard to letter case).
bool hostHasModule(std::string_view name);

// Writes one line to the debug trace: the file named by SONTER2_TRACE ("-"
// for standard error); nothing when it is unset.
void traceLine(std::string_view line);

}  // namespace sonter2::platform
