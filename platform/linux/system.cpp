// Linux backend of the system services: dladdr for the library's own path,
// /proc for the process's modules, a file or stderr for the trace.
#include "platform/system.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>

namespace sonter2::platform {

namespace {

std::string baseName(std::string_view path) {
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

namespace {

std::string findLibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&findLibraryPath), &info) == 0 || info.dli_fname == nullptr) return {};
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) != nullptr) return resolved;
  return info.dli_fname;
}

}  // namespace

// The file does not move while it is loaded: found once, not at every text.
std::string libraryPath() {
  static const std::string path = findLibraryPath();
  return path;
}

std::string fileBesideLibrary(std::string_view name) {
  std::string path = libraryPath();
  size_t slash = path.rfind('/');
  if (slash != std::string::npos) path.resize(slash);
  path += '/';
  path += name;
  return path;
}

std::vector<std::string> processModuleNames() {
  std::vector<std::string> names;
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n > 0) names.push_back(baseName(std::string_view(exe, static_cast<size_t>(n))));
  std::ifstream maps("/proc/self/maps");
  std::set<std::string> seen;
  std::string line;
  while (std::getline(maps, line)) {
    size_t slash = line.find('/');
    if (slash == std::string::npos) continue;
    std::string path = line.substr(slash);
    if (path.ends_with(" (deleted)")) path.resize(path.size() - 10);
    if (seen.insert(path).second) names.push_back(baseName(path));
  }
  return names;
}

bool hostHasModule(std::string_view name) {
  for (const auto& module : processModuleNames()) {
    if (equalNoCase(module, name)) return true;
  }
  return false;
}

void traceLine(std::string_view line) {
  static std::mutex traceMutex;
  const char* target = std::getenv("SONTER2_TRACE");
  if (target == nullptr || *target == '\0') return;
  std::lock_guard<std::mutex> guard(traceMutex);
  if (std::string_view(target) == "-") {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    return;
  }
  if (FILE* f = std::fopen(target, "a")) {
    std::fprintf(f, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fclose(f);
  }
}

}  // namespace sonter2::platform
