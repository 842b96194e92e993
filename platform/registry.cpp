// Reading and writing the registry export format.
#include "platform/registry.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace sonter2::platform {

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted string starting at s[pos] == '"'; leaves pos after the quote.
std::optional<std::string> readQuoted(std::string_view s, size_t& pos) {
  if (pos >= s.size() || s[pos] != '"') return std::nullopt;
  std::string out;
  for (++pos; pos < s.size(); ++pos) {
    char c = s[pos];
    if (c == '"') {
      ++pos;
      return out;
    }
    if (c == '\\') {
      if (++pos >= s.size()) return std::nullopt;
      c = s[pos];
      if (c != '\\' && c != '"') return std::nullopt;
    }
    out.push_back(c);
  }
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> parseHexList(std::string_view s) {
  std::vector<uint8_t> out;
  s = trim(s);
  if (s.empty()) return out;
  size_t pos = 0;
  while (true) {
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
    if (pos + 2 > s.size()) return std::nullopt;
    int hi = hexDigit(s[pos]), lo = hexDigit(s[pos + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    pos += 2;
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
    if (pos == s.size()) return out;
    if (s[pos] != ',') return std::nullopt;
    ++pos;
  }
}

std::optional<RegValue> parseData(std::string_view s) {
  s = trim(s);
  if (!s.empty() && s.front() == '"') {
    size_t pos = 0;
    auto text = readQuoted(s, pos);
    if (!text || !trim(s.substr(pos)).empty()) return std::nullopt;
    return RegistryFile::stringValue(*text);
  }
  if (s.starts_with("dword:")) {
    std::string_view digits = s.substr(6);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    uint32_t v = 0;
    for (char c : digits) {
      int d = hexDigit(c);
      if (d < 0) return std::nullopt;
      v = v * 16 + static_cast<uint32_t>(d);
    }
    return RegistryFile::dwordValue(v);
  }
  if (s.starts_with("hex")) {
    RegValue value;
    value.type = RegType::Binary;
    size_t colon = s.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view kind = s.substr(3, colon - 3);
    if (!kind.empty()) {
      if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')') return std::nullopt;
      uint32_t t = 0;
      for (char c : kind.substr(1, kind.size() - 2)) {
        int d = hexDigit(c);
        if (d < 0) return std::nullopt;
        t = t * 16 + static_cast<uint32_t>(d);
      }
      value.type = static_cast<RegType>(t);
    }
    auto bytes = parseHexList(s.substr(colon + 1));
    if (!bytes) return std::nullopt;
    value.data = std::move(*bytes);
    return value;
  }
  return std::nullopt;
}

std::string quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

}  // namespace

bool NoCaseLess::operator()(std::string_view a, std::string_view b) const {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int ca = std::tolower(static_cast<unsigned char>(a[i]));
    int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb;
  }
  return a.size() < b.size();
}

RegValue RegistryFile::stringValue(std::string_view text) {
  RegValue v;
  v.type = RegType::String;
  v.data.assign(text.begin(), text.end());
  v.data.push_back(0);
  return v;
}

RegValue RegistryFile::dwordValue(uint32_t value) {
  RegValue v;
  v.type = RegType::Dword;
  for (int i = 0; i < 4; ++i) v.data.push_back(static_cast<uint8_t>(value >> (8 * i)));
  return v;
}

std::optional<RegistryFile> RegistryFile::parse(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  // Join continuation lines (a trailing backslash in hex lists).
  std::vector<std::string> lines;
  std::string pending;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = trim(text.substr(start, end - start));
    start = end + 1;
    if (!pending.empty()) {
      pending += line;
      line = pending;
    }
    if (!line.empty() && line.back() == '\\' && line.find('=') != std::string_view::npos &&
        line.find("=hex") != std::string_view::npos) {
      pending = std::string(line.substr(0, line.size() - 1));
      continue;
    }
    lines.emplace_back(line);
    pending.clear();
    if (end == text.size()) break;
  }
  if (!pending.empty()) return std::nullopt;

  RegistryFile file;
  size_t i = 0;
  while (i < lines.size() && lines[i].empty()) ++i;
  if (i == lines.size() || (lines[i] != kHeader5 && lines[i] != kHeader4)) return std::nullopt;
  RegKeyData* current = nullptr;
  for (++i; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3) return std::nullopt;
      std::string_view path = line.substr(1, line.size() - 2);
      if (path.front() == '-') {
        file.removeKey(path.substr(1));
        current = nullptr;
        continue;
      }
      current = &file.key(path);
      continue;
    }
    if (current == nullptr) return std::nullopt;
    std::string name;
    size_t pos = 0;
    if (line.front() == '@') {
      pos = 1;
    } else {
      auto quoted = readQuoted(line, pos);
      if (!quoted) return std::nullopt;
      name = std::move(*quoted);
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    std::string_view data = trim(line.substr(pos + 1));
    if (data == "-") {
      current->values.erase(name);
      continue;
    }
    auto value = parseData(data);
    if (!value) return std::nullopt;
    current->values[name] = std::move(*value);
  }
  return file;
}

std::optional<RegistryFile> RegistryFile::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return parse(buffer.str());
}

std::string RegistryFile::serialize() const {
  std::string out(kHeader5);
  out += "\n";
  for (const auto& [path, data] : keys_) {
    out += "\n[" + path + "]\n";
    for (const auto& [name, value] : data.values) {
      out += name.empty() ? std::string("@") : quote(name);
      out += "=";
      if (value.type == RegType::String && !value.data.empty() && value.data.back() == 0) {
        out += quote(std::string(value.data.begin(), value.data.end() - 1));
      } else if (value.type == RegType::Dword && value.data.size() == 4) {
        char buf[16];
        uint32_t v = value.data[0] | value.data[1] << 8 | value.data[2] << 16 | static_cast<uint32_t>(value.data[3]) << 24;
        std::snprintf(buf, sizeof buf, "dword:%08x", v);
        out += buf;
      } else {
        char buf[16];
        if (value.type == RegType::Binary) {
          out += "hex:";
        } else {
          std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(value.type));
          out += buf;
        }
        for (size_t k = 0; k < value.data.size(); ++k) {
          std::snprintf(buf, sizeof buf, k ? ",%02x" : "%02x", value.data[k]);
          out += buf;
        }
      }
      out += "\n";
    }
  }
  return out;
}

bool RegistryFile::save(const std::string& path) const {
  std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << serialize();
    out.flush();
    if (!out) return false;
  }
  return std::rename(tmp.c_str(), path.c_str()) == 0;
}

const RegKeyData* RegistryFile::findKey(std::string_view path) const {
  auto it = keys_.find(std::string(path));
  return it == keys_.end() ? nullptr : &it->second;
}

RegKeyData& RegistryFile::key(std::string_view path) { return keys_[std::string(path)]; }

bool RegistryFile::removeKey(std::string_view path) { return keys_.erase(std::string(path)) > 0; }

std::vector<std::string> RegistryFile::keyPaths() const {
  std::vector<std::string> out;
  for (const auto& entry : keys_) out.push_back(entry.first);
  return out;
}

std::optional<RegistryKey> RegistryKey::openLocalMachine(std::string_view subKey) {
  auto file = RegistryFile::load(machineRegistryPath());
  if (!file) return std::nullopt;
  const RegKeyData* data = file->findKey("HKEY_LOCAL_MACHINE\\" + std::string(subKey));
  if (data == nullptr) return std::nullopt;
  RegistryKey key;
  key.data_ = *data;
  return key;
}

std::optional<std::vector<uint8_t>> RegistryKey::readRaw(std::string_view name) const {
  auto it = data_.values.find(std::string(name));
  if (it == data_.values.end()) return std::nullopt;
  return it->second.data;
}

std::optional<uint32_t> RegistryKey::readDword(std::string_view name, uint32_t initial) const {
  auto raw = readRaw(name);
  if (!raw || raw->size() > 4) return std::nullopt;
  uint32_t v = initial;
  for (size_t i = 0; i < raw->size(); ++i) {
    v &= ~(0xFFu << (8 * i));
    v |= static_cast<uint32_t>((*raw)[i]) << (8 * i);
  }
  return v;
}

std::optional<std::string> RegistryKey::readString(std::string_view name, size_t maxBytes) const {
  auto raw = readRaw(name);
  if (!raw || raw->size() > maxBytes) return std::nullopt;
  std::string s(raw->begin(), raw->end());
  if (size_t nul = s.find('\0'); nul != std::string::npos) s.resize(nul);
  return s;
}

}  // namespace sonter2::platform
