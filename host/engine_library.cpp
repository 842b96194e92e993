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

std::string Utf16ToUtf8(const char16_t* text) {
  std::string out;
  for (size_t i = 0; text[i] != 0; ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace sonter2::host
