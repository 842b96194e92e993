// The control tag parser.
#include "engine/control_tags.h"

namespace sonter2 {

namespace {

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool isTagEnd(char c) { return c == '\\' || c == '\0'; }

// The first row whose name begins with the n letters, or -1.
int findRow(const char* letters, size_t n) {
  for (size_t row = 0; row < ControlTagTable.size(); ++row) {
    std::string_view name = ControlTagTable[row].name;
    if (name.size() < n) continue;
    bool match = true;
    for (size_t k = 0; k < n && match; ++k) match = lowerAscii(letters[k]) == name[k];
    if (match) return static_cast<int>(row);
  }
  return -1;
}

// The attribute list of "vce": Name="value",Name="value". The cursor stands on
// the '='; it is left on the tag's end (backslash or NUL).
bool parseVoiceAttributes(const char*& cursor, uint32_t& value) {
  value = 0;
  if (*cursor != '=') return false;
  ++cursor;
  const char* listStart = cursor;
  const char* end = listStart;
  while (!isTagEnd(*end)) ++end;
  cursor = end;

  const char* attribute = listStart;
  const char* eq = attribute;
  while (eq < end && *eq != '=') ++eq;
  if (eq == end) return false;
  while (true) {
    const char* open = eq + 1;
    if (open >= end || *open != '"') return false;
    const char* close = open + 1;
    while (close < end && *close != '"') ++close;
    if (close >= end) return false;
    const char* after = close + 1;
    if (after != end && *after != ',') return false;
    std::string_view name(attribute, static_cast<size_t>(eq - attribute));
    std::string_view text(open + 1, static_cast<size_t>(close - open - 1));
    if (name == "Speaker") value = (text == kSecondSpeaker) ? 1 : 0;
    if (after == end || after + 1 >= end) return true;
    attribute = after + 1;
    eq = attribute;
    while (eq < end && *eq != '=') ++eq;
    if (eq == end) return false;
  }
}

}  // namespace

HRESULT ParseControlTag(const char*& cursor, uint32_t& index, uint32_t& value) {
  char first = *cursor;
  if (first == '\0') return TTSERR_BADCHARSET;
  ++cursor;
  if (first != '\\') return TTSERR_BADCHARSET;

  size_t n = 0;
  while (isAsciiLetter(cursor[n])) {
    if (++n >= 4) return TTSERR_BADCHARSET;
  }
  int row = findRow(cursor, n);
  if (row < 0 || !ControlTagTable[static_cast<size_t>(row)].supported) {
    // Unsupported, or no tag of that name: skip to past the closing backslash.
    while (*cursor != '\0' && *cursor != '\\') ++cursor;
    if (*cursor == '\\') ++cursor;
    return E_NOTIMPL;
  }
  index = static_cast<uint32_t>(row);
  cursor += n;

  if (index == kTagVce) {
    if (!parseVoiceAttributes(cursor, value)) return TTSERR_BADCHARSET;
  } else if (index != kTagRst) {
    value = 0;
    if (*cursor != '=') return TTSERR_BADCHARSET;
    ++cursor;
    if (*cursor < '0' || *cursor > '9') return TTSERR_BADCHARSET;
    while (*cursor >= '0' && *cursor <= '9') {
      value = value * 10u + static_cast<uint32_t>(*cursor - '0');  // modulo 2^32
      ++cursor;
    }
  }
  if (*cursor != '\\') return TTSERR_BADCHARSET;
  ++cursor;
  return S_OK;
}

}  // namespace sonter2
