// The spoken names of characters: for each byte from 32 to 255 up to four
// Czech words. One table per process, shared by every engine; a dictionary
// reload rewrites it, so every reader and writer goes through the guards
// below.
#pragma once

#include <array>
#include <cstdint>
#include <shared_mutex>
#include <string>
#include <string_view>

namespace sonter2 {

class CharacterNameTable {
 public:
  static constexpr size_t kSlots = 4;
  using Name = std::array<std::string, kSlots>;

  // A table holding the built-in names.
  CharacterNameTable();

  // The four slots of byte c (32-255); a name ends at its first empty slot.
  // Bytes below 32 have no name: all four slots are empty.
  const Name& slots(uint8_t c) const;
  // Replaces the four slots of c; bytes below 32 are ignored.
  void setSlots(uint8_t c, const Name& name);
  void restoreDefaults();

 private:
  std::array<Name, 224> names_;
};

// The built-in name of one byte (empty slots for bytes below 32).
CharacterNameTable::Name DefaultCharacterName(uint8_t c);

// Shared access to the process-wide table for the length of a scope.
class CharacterNamesReader {
 public:
  CharacterNamesReader();
  const CharacterNameTable& table() const;

 private:
  std::shared_lock<std::shared_mutex> lock_;
};

// Exclusive access to the process-wide table for the length of a scope. A
// thread that already holds a writer may open another (the dictionary's own
// writes nest inside a whole reload); the table is released when the
// outermost writer ends.
class CharacterNamesWriter {
 public:
  CharacterNamesWriter();
  ~CharacterNamesWriter();
  CharacterNamesWriter(const CharacterNamesWriter&) = delete;
  CharacterNamesWriter& operator=(const CharacterNamesWriter&) = delete;
  CharacterNameTable& table();
};

}  // namespace sonter2
