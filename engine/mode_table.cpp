// The two voice modes: one voice each, the same engine and database,
// differing only in the speaker's name.
#include "engine/mode_table.h"

#include <string>

#include "sonter2/identifiers.h"
#include "platform/codepage.h"

namespace sonter2 {

namespace {

constexpr LANGID kCzechNeutral = 0x0005;
constexpr WORD kGenderMale = 2;
constexpr WORD kAgeAdult = 30;
// Any word, volume, speed, pitch, tagged text, word position, PC-optimised,
// the speech API 4 flag.
constexpr DWORD kFeatures = 0x0001019F;
// ITTSAttributes, ITTSCentral, ITTSDialogs, IAttributes.
constexpr DWORD kInterfaces = 0x0000001E;

template <size_t N>
void setText(WCHAR (&field)[N], std::u16string_view text) {
  std::fill(std::begin(field), std::end(field), u'\0');
  std::copy(text.begin(), text.end(), field);
}

TTSMODEINFOW makeMode(const GUID& modeId, std::u16string_view modeName, std::u16string_view speaker) {
  TTSMODEINFOW m{};
  m.gEngineID = CLSID_Speech;
  setText(m.szMfgName, u"Kestrow");
  setText(m.szProductName, u"Vesk");
  m.gModeID = modeId;
  setText(m.szModeName, modeName);
  m.language.LanguageID = kCzechNeutral;
  setText(m.language.szDialect, u"Standard");
  setText(m.szSpeaker, speaker);
  setText(m.szStyle, u"Standard");
  m.wGender = kGenderMale;
  m.wAge = kAgeAdult;
  m.dwFeatures = kFeatures;
  m.dwInterfaces = kInterfaces;
  m.dwEngineFeatures = 0;
  return m;
}

void copyAnsi(char* field, size_t fieldSize, const char16_t* text, size_t textCapacity) {
  size_t n = 0;
  while (n < textCapacity && text[n] != 0) ++n;
  std::string converted = platform::Utf16ToAnsi(std::u16string_view(text, n));
  if (converted.size() >= fieldSize) converted.resize(fieldSize - 1);
  std::memcpy(field, converted.c_str(), converted.size() + 1);
}

}  // namespace

const std::array<TTSMODEINFOW, 2>& modeTable() {
  static const std::array<TTSMODEINFOW, 2> table = {
      makeMode(MODEID_VeskTamsel, u"Vesk Tamsel", u"Tamsel"),
      makeMode(MODEID_VeskDorvik, u"Vesk Dorvik", u"Dorvik"),
  };
  return table;
}

void modeInfoToAnsi(const TTSMODEINFOW& w, TTSMODEINFOA& a) {
  a.gEngineID = w.gEngineID;
  a.gModeID = w.gModeID;
  copyAnsi(a.szMfgName, TTSI_NAMELEN, w.szMfgName, TTSI_NAMELEN);
  copyAnsi(a.szProductName, TTSI_NAMELEN, w.szProductName, TTSI_NAMELEN);
  copyAnsi(a.szModeName, TTSI_NAMELEN, w.szModeName, TTSI_NAMELEN);
  copyAnsi(a.szSpeaker, TTSI_NAMELEN, w.szSpeaker, TTSI_NAMELEN);
  copyAnsi(a.szStyle, TTSI_NAMELEN, w.szStyle, TTSI_NAMELEN);
  copyAnsi(a.language.szDialect, LANG_LEN, w.language.szDialect, LANG_LEN);
  a.language.LanguageID = w.language.LanguageID;
  a.wGender = w.wGender;
  a.wAge = w.wAge;
  a.dwFeatures = w.dwFeatures;
  a.dwInterfaces = w.dwInterfaces;
  a.dwEngineFeatures = w.dwEngineFeatures;
}

}  // namespace sonter2
