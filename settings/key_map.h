#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
