// Stand-in for the machine's registry: keys and values kept in a text file in
// the registry export format. The engine only reads
// HKEY_LOCAL_MACHINE\Software\Kestrow\Vesk; registration writes its classes
// to a file of the same format.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonter2::platform {

enum class RegType : uint32_t { String = 1, ExpandString = 2, Binary = 3, Dword = 4, MultiString = 7 };

struct RegValue {
  RegType type = RegType::String;
  std::vector<uint8_t> data;  // strings are UTF-8 with a terminating NUL
};

// Case-insensitive ordering, as the registry compares key and value names.
struct NoCaseLess {
  bool operator()(std::string_view a, std::string_view b) const;
};

struct RegKeyData {
  std::map<std::string, RegValue, NoCaseLess> values;  // "" is the default value
};

// A whole registry export: key paths (such as
// "HKEY_LOCAL_MACHINE\Software\Kestrow\Vesk") with their values.
class RegistryFile {
 public:
  // Parses the export format. nullopt when the text is malformed.
  static std::optional<RegistryFile> parse(std::string_view text);
  // Reads and parses a file; nullopt when it is missing or malformed.
  static std::optional<RegistryFile> load(const std::string& path);

  std::string serialize() const;
  // Writes atomically (temporary file, then rename). False on failure.
  bool save(const std::string& path) const;

  const RegKeyData* findKey(std::string_view path) const;
  RegKeyData& key(std::string_view path);  // creates the key when absent
  bool removeKey(std::string_view path);   // the key alone, not its subkeys
  std::vector<std::string> keyPaths() const;

  static RegValue stringValue(std::string_view text);
  static RegValue dwordValue(uint32_t value);

 private:
  std::map<std::string, RegKeyData, NoCaseLess> keys_;
};

// A key of the machine's configuration opened for reading. Each open reads the
// file afresh, so a changed value is seen at the next open.
class RegistryKey {
 public:
  // Opens a key below HKEY_LOCAL_MACHINE, e.g. "Software\\Kestrow\\Vesk".
  static std::optional<RegistryKey> openLocalMachine(std::string_view subKey);

  // The raw bytes of a value; nullopt when it does not exist.
  std::optional<std::vector<uint8_t>> readRaw(std::string_view name) const;
  // Reads a value into a buffer of `size` bytes, as the registry's own query
  // does: a value longer than the buffer cannot be read (nullopt), a shorter
  // one fills only the first bytes of `initial`, which stands for the caller's
  // variable before the read.
  std::optional<uint32_t> readDword(std::string_view name, uint32_t initial = 0) const;
  // A string value of at most maxBytes bytes including its NUL, without the NUL.
  std::optional<std::string> readString(std::string_view name, size_t maxBytes) const;

 private:
  RegKeyData data_;
};

// The file that holds HKEY_LOCAL_MACHINE: $SONTER2_REGISTRY, else
// /etc/sonter2/registry.reg.
std::string machineRegistryPath();

}  // namespace sonter2::platform
