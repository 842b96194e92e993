/* What an application on Linux uses in place of the component runtime to
 * reach the engine: find the server of a class in the classes file, load it,
 * and create objects through its class factory.
 *
 *   sonter2::client::Server server;
 *   std::string error;
 *   if (!server.open(sonter2::CLSID_CSpeechEnum, error)) { ... error ... }
 *   sonter2::ITTSEnumW* modes = nullptr;
 *   server.createInstance(sonter2::CLSID_CSpeechEnum, sonter2::IID_ITTSEnumW, (void**)&modes);
 *
 * Header only; link with -ldl. */
#pragma once

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/speech_api.h"
#include "sonter2/identifiers.h"

namespace sonter2::client {

// The classes file that registration writes: $SONTER2_CLASSES, else
// $XDG_DATA_HOME/sonter2/classes.reg, else ~/.local/share/sonter2/classes.reg.
inline std::string classesFile() {
  if (const char* path = std::getenv("SONTER2_CLASSES"); path != nullptr && *path != '\0') return path;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0') {
    return std::string(data) + "/sonter2/classes.reg";
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : ".") + "/.local/share/sonter2/classes.reg";
}

namespace detail {

inline bool equalNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// The default value of a key in a registry export file, or "" when absent.
inline std::string defaultValue(const std::string& file, const std::string& key) {
  std::ifstream in(file);
  std::string line;
  bool inKey = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      inKey = line.size() > 2 && line.back() == ']' && equalNoCase(line.substr(1, line.size() - 2), key);
      continue;
    }
    if (!inKey || line.rfind("@=\"", 0) != 0) continue;
    std::string value;
    for (size_t i = 3; i < line.size(); ++i) {
      if (line[i] == '"') return value;
      if (line[i] == '\\' && i + 1 < line.size()) ++i;
      value.push_back(line[i]);
    }
    return "";
  }
  return "";
}

}  // namespace detail

// A loaded server library. The library is unloaded on destruction only when
// it says it can be (DllCanUnloadNow), as the component runtime would.
class Server {
 public:
  Server() = default;
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  ~Server() { close(); }

  // Finds the server of `clsid` in the classes file and loads it.
  bool open(const CLSID& clsid, std::string& error, const std::string& classes = classesFile()) {
    close();
    const std::string key = "HKEY_CLASSES_ROOT\\CLSID\\" + formatGuid(clsid) + "\\InprocServer32";
    path_ = detail::defaultValue(classes, key);
    if (path_.empty()) {
      error = "class " + formatGuid(clsid) + " is not registered in " + classes;
      return false;
    }
    return load(path_, error);
  }

  // Loads a server library by its path, without the classes file.
  bool load(const std::string& path, std::string& error) {
    close();
    path_ = path;
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
      const char* why = dlerror();
      error = "cannot load " + path + ": " + (why != nullptr ? why : "unknown error");
      return false;
    }
    getClassObject_ = reinterpret_cast<GetClassObject>(dlsym(handle_, "DllGetClassObject"));
    canUnloadNow_ = reinterpret_cast<CanUnloadNow>(dlsym(handle_, "DllCanUnloadNow"));
    if (getClassObject_ == nullptr || canUnloadNow_ == nullptr) {
      error = path + " is not a component server";
      close();
      return false;
    }
    return true;
  }

  HRESULT getClassObject(const CLSID& clsid, REFIID riid, void** ppv) const {
    if (getClassObject_ == nullptr) return E_UNEXPECTED;
    return getClassObject_(clsid, riid, ppv);
  }

  HRESULT createInstance(const CLSID& clsid, REFIID riid, void** ppv, IUnknown* outer = nullptr) const {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(outer, riid, ppv);
    factory->Release();
    return hr;
  }

  HRESULT canUnloadNow() const { return canUnloadNow_ != nullptr ? canUnloadNow_() : S_OK; }

  // A function the library exports, such as DllRegisterServer.
  void* symbol(const char* name) const { return handle_ != nullptr ? dlsym(handle_, name) : nullptr; }
  const std::string& path() const { return path_; }

  void close() {
    if (handle_ != nullptr && canUnloadNow() == S_OK) dlclose(handle_);
    handle_ = nullptr;
    getClassObject_ = nullptr;
    canUnloadNow_ = nullptr;
  }

 private:
  using GetClassObject = HRESULT (*)(const CLSID&, const IID&, void**);
  using CanUnloadNow = HRESULT (*)();
  void* handle_ = nullptr;
  GetClassObject getClassObject_ = nullptr;
  CanUnloadNow canUnloadNow_ = nullptr;
  std::string path_;
};

}  // namespace sonter2::client
