// Finding and loading the engine library for the command; see the header.
#include "host/engine_library.h"

#include <unistd.h>

#include <climits>

namespace sonter2::host {

namespace {

std::string ProgramDirectory() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  return DirectoryOf(std::string(path, static_cast<size_t>(n)));
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool OpenEngineLibrary(client::Server& server, std::string& error) {
  const std::string classes = client::classesFile();
  const std::string key = "HKEY_CLASSES_ROOT\\CLSID\\" + formatGuid(CLSID_CSpeechEnum) + "\\InprocServer32";
  std::string registeredError;
  if (!client::detail::defaultValue(classes, key).empty()) {
    if (server.open(CLSID_CSpeechEnum, registeredError, classes)) return true;
  }
  const std::string beside = ProgramDirectory() + "/../lib/libsonter2.so";
  if (server.load(beside, error)) return true;
  if (!registeredError.empty()) error = registeredError + "; " + error;
  return false;
}


}  // namespace sonter2::host
