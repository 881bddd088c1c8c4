#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "field_stream.h"

// One key of a key map: a virtual-key code and the relative note it plays
// (semitones above the base octave's C).
struct TKeyMapEntry {
  std::int16_t KeyCode = 0;
  std::uint8_t Note = 0;
};

// The key map in use, in file order; empty at start and after a failed load.
extern std::vector<TKeyMapEntry> KeyMap;

inline constexpr const char* KeyMapMagic = "ZVQ_KEYMAPPING1";

// Replaces KeyMap with the content of a key map file. Raises "Cannot open file %s";
// a wrong magic or a non-positive count leaves the table empty without a message.
void LoadKeyMap(const std::string& fileName);

// The relative note of the first entry for key, or 255 for an unmapped key.
// A linear scan; allocates nothing.
std::uint8_t LookupNote(std::uint16_t key);

// What a key map file holds, read without touching KeyMap (the key-map editor opens
// files this way). The entries are those LoadKeyMap would load.
enum class KeyMapFileState {
  Whole,       // the magic, a positive count and all the entries it declares
  WrongMagic,  // not a key map: no entries
  NoEntries,   // a count of zero or less: no entries, whatever follows
  Short,       // the file ends before the declared count: the entries present
};
struct KeyMapFileReading {
  std::vector<TKeyMapEntry> Entries;
  KeyMapFileState State = KeyMapFileState::Whole;
  std::int32_t DeclaredCount = 0;
};
// Raises "Cannot open file %s" like LoadKeyMap.
KeyMapFileReading ReadKeyMapFile(const std::string& fileName);

// The bytes of a key map file: the magic, the count, then note and key of every entry
// in the order given.
MemoryBuffer KeyMapFileContent(const std::vector<TKeyMapEntry>& entries);

// Writes a key map file the way every file of the program is written (SaveFileWhole):
// raises "Cannot create file %s" or "Stream write error", and a failed save leaves the
// old file whole.
void SaveKeyMap(const std::string& fileName, const std::vector<TKeyMapEntry>& entries);
