// Built-in character names and the process-wide table's lock.
#include "text/character_names.h"

#include <utility>
#include <vector>

#include "text/character_class.h"

namespace sonter2 {

namespace {

struct BuiltInName {
  std::string_view character;  // one byte
  std::array<std::string_view, CharacterNameTable::kSlots> words;
};

// Small letters; each capital is "velké" followed by the name of its small
// letter.
constexpr BuiltInName kLetterNames[] = {
    {"a"_cp, {"á"_cp}},        {"b"_cp, {"bé"_cp}},       {"c"_cp, {"cé"_cp}},
    {"d"_cp, {"dé"_cp}},       {"e"_cp, {"é"_cp}},        {"f"_cp, {"ef"_cp}},
    {"g"_cp, {"gé"_cp}},       {"h"_cp, {"há"_cp}},       {"i"_cp, {"í"_cp}},
    {"j"_cp, {"jé"_cp}},       {"k"_cp, {"ká"_cp}},       {"l"_cp, {"el"_cp}},
    {"m"_cp, {"em"_cp}},       {"n"_cp, {"en"_cp}},       {"o"_cp, {"ó"_cp}},
    {"p"_cp, {"pé"_cp}},       {"q"_cp, {"kvé"_cp}},      {"r"_cp, {"er"_cp}},
    {"s"_cp, {"es"_cp}},       {"t"_cp, {"té"_cp}},       {"u"_cp, {"ú"_cp}},
    {"v"_cp, {"vé"_cp}},       {"w"_cp, {"dvojvé"_cp}},   {"x"_cp, {"iks"_cp}},
    {"y"_cp, {"ypsilon"_cp}},  {"z"_cp, {"zet"_cp}},      {"š"_cp, {"eš"_cp}},
    {"ť"_cp, {"ťé"_cp}},       {"ž"_cp, {"žet"_cp}},      {"ľ"_cp, {"měké"_cp, "el"_cp}},
    {"ŕ"_cp, {"dlouhé"_cp, "er"_cp}},                     {"á"_cp, {"áá"_cp}},
    {"ä"_cp, {"přehlasované"_cp, "a"_cp}},                {"ĺ"_cp, {"dlouhé"_cp, "el"_cp}},
    {"č"_cp, {"čé"_cp}},       {"é"_cp, {"éé"_cp}},       {"ě"_cp, {"ije"_cp}},
    {"í"_cp, {"íí"_cp}},       {"ď"_cp, {"ďé"_cp}},       {"ň"_cp, {"eň"_cp}},
    {"ó"_cp, {"óó"_cp}},       {"ô"_cp, {"uó"_cp}},       {"ö"_cp, {"přehlasované"_cp, "o"_cp}},
    {"ř"_cp, {"eř"_cp}},       {"ů"_cp, {"ů"_cp, "s"_cp, "kroužkem"_cp}},
    {"ú"_cp, {"ú"_cp, "s"_cp, "čárkou"_cp}},              {"ü"_cp, {"přehlasované"_cp, "u"_cp}},
    {"ý"_cp, {"ýpsilon"_cp}},  {"ß"_cp, {"ostré"_cp, "es"_cp}},
};

// Capitals that are read "velké" and their small letter's name.
constexpr std::string_view kCapitals = "ABCDEFGHIJKLMNOPQRSTUVWXYZŠŤŽĽŔÁÄĹČÉĚÍĎŇÓÔÖŘŮÚÜÝ"_cp;

constexpr BuiltInName kSymbolNames[] = {
    {" ", {"mezera"_cp}},
    {"!", {"vykřičník"_cp}},
    {"\"", {"uvozovky"_cp}},
    {"#", {"nambr"_cp}},
    {"$", {"dolar"_cp}},
    {"%", {"procent"_cp}},
    {"&", {"end"_cp}},
    {"'", {"apostrof"_cp}},
    {"(", {"závorka"_cp}},
    {")", {"zavřít"_cp}},
    {"*", {"hvězdička"_cp}},
    {"+", {"plus"_cp}},
    {",", {"čárka"_cp}},
    {"-", {"pomlčka"_cp}},
    {".", {"tečka"_cp}},
    {"/", {"lomeno"_cp}},
    {"0", {"nula"_cp}},
    {"1", {"jedna"_cp}},
    {"2", {"dva"_cp}},
    {"3", {"tři"_cp}},
    {"4", {"čtyři"_cp}},
    {"5", {"pět"_cp}},
    {"6", {"šest"_cp}},
    {"7", {"sedm"_cp}},
    {"8", {"osm"_cp}},
    {"9", {"devět"_cp}},
    {":", {"dvojtečka"_cp}},
    {";", {"středník"_cp}},
    {"<", {"menší"_cp}},
    {"=", {"rovno"_cp}},
    {">", {"větší"_cp}},
    {"?", {"otazník"_cp}},
    {"@", {"zavináč"_cp}},
    {"[", {"hranatá"_cp, "závorka"_cp}},
    {"\\", {"obrácené"_cp, "lomítko"_cp}},
    {"]", {"hranatá"_cp, "zavřít"_cp}},
    {"^", {"stříška"_cp}},
    {"_", {"podtržení"_cp}},
    {"`", {"obrácená"_cp, "čárka"_cp}},
    {"{", {"složená"_cp, "závorka"_cp}},
    {"|", {"svislá"_cp, "čárka"_cp}},
    {"}", {"složená"_cp, "zavřít"_cp}},
    {"~", {"vlnovka"_cp}},
    {"€"_cp, {"euro"_cp}},
    {"‚"_cp, {"uvozovka"_cp, "dolní"_cp}},
    {"„"_cp, {"uvozovky"_cp, "dolní"_cp}},
    {"…"_cp, {"tři"_cp, "tečky"_cp}},
    {"‰"_cp, {"promile"_cp}},
    {"‹"_cp, {"uvozovka"_cp, "pravá"_cp}},
    {"‘"_cp, {"uvozovka"_cp, "horní"_cp}},
    {"’"_cp, {"uvozovka"_cp, "horní"_cp, "pravá"_cp}},
    {"“"_cp, {"uvozovky"_cp, "horní"_cp}},
    {"”"_cp, {"uvozovky"_cp, "horní"_cp, "pravé"_cp}},
    {"–"_cp, {"pomlčka"_cp, "delší"_cp}},
    {"—"_cp, {"pomlčka"_cp, "dlouhá"_cp}},
    {"™"_cp, {"týem"_cp}},
    {"›"_cp, {"uvozovka"_cp, "levá"_cp}},
    {"\u00A0"_cp, {"pevná"_cp, "mezera"_cp}},
    {"§"_cp, {"paragraf"_cp}},
    {"©"_cp, {"kopyrajt"_cp}},
    {"«"_cp, {"uvozovky"_cp, "pravé"_cp}},
    {"°"_cp, {"stupeň"_cp}},
    {"±"_cp, {"plus"_cp, "mínus"_cp}},
    {"»"_cp, {"uvozovky"_cp, "levé"_cp}},
    {"×"_cp, {"krát"_cp}},
    {"÷"_cp, {"děleno"_cp}},
};

constexpr uint8_t kFirstNamed = 32;

CharacterNameTable::Name ToName(const BuiltInName& entry) {
  CharacterNameTable::Name name;
  for (size_t i = 0; i < name.size(); ++i) name[i] = std::string(entry.words[i]);
  return name;
}

using NameArray = std::array<CharacterNameTable::Name, 256>;

NameArray MakeDefaultNames() {
  NameArray t;
  // Every byte without a name of its own is "znak" and its value.
  for (int b = kFirstNamed; b < 256; ++b) t[b] = {"znak", std::to_string(b), "", ""};
  for (const auto& entry : kSymbolNames) t[static_cast<uint8_t>(entry.character[0])] = ToName(entry);
  for (const auto& entry : kLetterNames) t[static_cast<uint8_t>(entry.character[0])] = ToName(entry);
  for (char capital : kCapitals) {
    const auto& small = t[static_cast<uint8_t>(ToLower(capital))];
    t[static_cast<uint8_t>(capital)] = {std::string("velké"_cp), small[0], small[1], small[2]};
  }
  return t;
}

const NameArray& DefaultNames() {
  static const NameArray table = MakeDefaultNames();
  return table;
}

std::shared_mutex& NamesMutex() {
  static std::shared_mutex mutex;
  return mutex;
}

CharacterNameTable& ProcessTable() {
  static CharacterNameTable table;
  return table;
}

thread_local int writerDepth = 0;

}  // namespace

CharacterNameTable::Name DefaultCharacterName(uint8_t c) { return DefaultNames()[c]; }

CharacterNameTable::CharacterNameTable() { restoreDefaults(); }

const CharacterNameTable::Name& CharacterNameTable::slots(uint8_t c) const {
  static const Name kNone{};
  return c < kFirstNamed ? kNone : names_[c - kFirstNamed];
}

void CharacterNameTable::setSlots(uint8_t c, const Name& name) {
  if (c >= kFirstNamed) names_[c - kFirstNamed] = name;
}

void CharacterNameTable::restoreDefaults() {
  const auto& defaults = DefaultNames();
  for (int b = kFirstNamed; b < 256; ++b) names_[b - kFirstNamed] = defaults[b];
}

CharacterNamesReader::CharacterNamesReader() : lock_(NamesMutex()) {}

const CharacterNameTable& CharacterNamesReader::table() const { return ProcessTable(); }

CharacterNamesWriter::CharacterNamesWriter() {
  if (writerDepth++ == 0) NamesMutex().lock();
}

CharacterNamesWriter::~CharacterNamesWriter() {
  if (--writerDepth == 0) NamesMutex().unlock();
}

CharacterNameTable& CharacterNamesWriter::table() { return ProcessTable(); }

}  // namespace sonter2
