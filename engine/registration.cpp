// Registration entries of the engine and enumerator classes and of the type
// library, kept in the classes file.
#include "engine/registration.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "sonter2/identifiers.h"
#include "platform/registry.h"

namespace sonter2 {

namespace {

constexpr std::string_view kRoot = "HKEY_CLASSES_ROOT";
// The type library and its interface: identifiers of this project's own.
// 6b0f2d4e-93a1-4c57-8e2d-1f7a5c3b9e60
constexpr GUID kLibraryId = {0x6b0f2d4e, 0x93a1, 0x4c57, {0x8e, 0x2d, 0x1f, 0x7a, 0x5c, 0x3b, 0x9e, 0x60}};
// c2d85e17-4b6f-4a09-b3e1-7d9c0a2f5b48
constexpr GUID kISpeechId = {0xc2d85e17, 0x4b6f, 0x4a09, {0xb3, 0xe1, 0x7d, 0x9c, 0x0a, 0x2f, 0x5b, 0x48}};

struct ClassScript {
  const char* progId;
  const char* versionIndependent;
  const char* description;
  const CLSID& clsid;
};

const ClassScript kScripts[] = {
    {"Sonter2.Speech.1", "Sonter2.Speech", "Speech Class", CLSID_Speech},
    {"Sonter2.SpeechEnum.1", "Sonter2.SpeechEnum", "SpeechEnum Class", CLSID_CSpeechEnum},
};

std::string key(std::initializer_list<std::string_view> parts) {
  std::string path(kRoot);
  for (auto p : parts) {
    path += '\\';
    path += p;
  }
  return path;
}

// Every key the scripts write, each with its values; the CLSID key itself
// is written too but never removed.
std::vector<std::pair<std::string, platform::RegKeyData>> entries(const std::string& modulePath) {
  using platform::RegistryFile;
  std::vector<std::pair<std::string, platform::RegKeyData>> out;
  auto add = [&out](std::string path, std::initializer_list<std::pair<const char*, std::string>> values) {
    platform::RegKeyData data;
    for (const auto& [name, value] : values) data.values[name] = RegistryFile::stringValue(value);
    out.emplace_back(std::move(path), std::move(data));
  };
  for (const ClassScript& s : kScripts) {
    const std::string id = formatGuid(s.clsid);
    add(key({s.progId}), {{"", s.description}});
    add(key({s.progId, "CLSID"}), {{"", id}});
    add(key({s.versionIndependent}), {{"", s.description}});
    add(key({s.versionIndependent, "CLSID"}), {{"", id}});
    add(key({s.versionIndependent, "CurVer"}), {{"", s.progId}});
    add(key({"CLSID", id}), {{"", s.description}});
    add(key({"CLSID", id, "ProgID"}), {{"", s.progId}});
    add(key({"CLSID", id, "VersionIndependentProgID"}), {{"", s.versionIndependent}});
    add(key({"CLSID", id, "InprocServer32"}), {{"", modulePath}, {"ThreadingModel", "Apartment"}});
  }
  const std::string lib = formatGuid(kLibraryId);
  add(key({"CLSID", formatGuid(CLSID_Speech), "TypeLib"}), {{"", lib}});
  add(key({"TypeLib", lib, "1.0"}), {{"", "sonter2 1.0 Type Library"}, {"Name", "SONTER2Lib"}});
  add(key({"TypeLib", lib, "1.0", "0", "linux"}), {{"", modulePath}});
  add(key({"TypeLib", lib, "1.0", "FLAGS"}), {{"", "0"}});
  add(key({"TypeLib", lib, "1.0", "Classes", "Speech"}), {{"", "Speech Class"}, {"CLSID", formatGuid(CLSID_Speech)}});
  add(key({"Interface", formatGuid(kISpeechId)}), {{"", "ISpeech Interface"}});
  add(key({"Interface", formatGuid(kISpeechId), "TypeLib"}), {{"", lib}, {"Version", "1.0"}});
  return out;
}

// Keys whose whole subtree a removal takes (ForceRemove), the CLSID key excepted.
std::vector<std::string> removedTrees() {
  std::vector<std::string> trees;
  for (const ClassScript& s : kScripts) {
    trees.push_back(key({s.progId}));
    trees.push_back(key({s.versionIndependent}));
    trees.push_back(key({"CLSID", formatGuid(s.clsid)}));
  }
  trees.push_back(key({"TypeLib", formatGuid(kLibraryId)}));
  trees.push_back(key({"Interface", formatGuid(kISpeechId)}));
  return trees;
}

bool inTree(const std::string& path, const std::string& tree) {
  platform::NoCaseLess less;
  auto equal = [&](std::string_view a, std::string_view b) { return !less(a, b) && !less(b, a); };
  if (path.size() < tree.size()) return false;
  if (!equal(std::string_view(path).substr(0, tree.size()), tree)) return false;
  return path.size() == tree.size() || path[tree.size()] == '\\';
}

void removeOurKeys(platform::RegistryFile& file) {
  for (const auto& tree : removedTrees()) {
    for (const auto& path : file.keyPaths()) {
      if (inTree(path, tree)) file.removeKey(path);
    }
  }
}

std::optional<platform::RegistryFile> loadOrEmpty(const std::string& file, bool& malformed) {
  malformed = false;
  if (!std::filesystem::exists(file)) return platform::RegistryFile{};
  auto parsed = platform::RegistryFile::load(file);
  if (!parsed) malformed = true;
  return parsed;
}

}  // namespace

std::string classesFilePath() {
  if (const char* path = std::getenv("SONTER2_CLASSES"); path != nullptr && *path != '\0') return path;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0') {
    return std::string(data) + "/sonter2/classes.reg";
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : ".") + "/.local/share/sonter2/classes.reg";
}

HRESULT registerServer(const std::string& modulePath, const std::string& classesFile) {
  bool malformed = false;
  auto file = loadOrEmpty(classesFile, malformed);
  if (malformed) return E_FAIL;
  removeOurKeys(*file);  // ForceRemove: a class key is rewritten whole
  file->key(key({"CLSID"}));
  for (auto& [path, data] : entries(modulePath)) {
    auto& target = file->key(path);
    for (auto& [name, value] : data.values) target.values[name] = value;
  }
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(classesFile).parent_path(), ec);
  return file->save(classesFile) ? S_OK : E_FAIL;
}

HRESULT unregisterServer(const std::string& classesFile) {
  bool malformed = false;
  auto file = loadOrEmpty(classesFile, malformed);
  if (malformed) return E_FAIL;
  removeOurKeys(*file);
  return file->save(classesFile) ? S_OK : E_FAIL;
}

}  // namespace sonter2
