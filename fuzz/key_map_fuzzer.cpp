// The key map loader, then a lookup of every key code the table holds and of some it
// does not: each must give the note of the first entry of its code, or 255.
#include <cstdint>

#include "app_error.h"
#include "fuzz_folder.h"
#include "key_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = FuzzProgramFolder() + "KEYMAPS/Fuzzed.key";
  WriteFuzzFile("KEYMAPS/Fuzzed.key", data, size);
  try {
    LoadKeyMap(path);
  } catch (const AppError&) {
    Require(KeyMap.empty(), "a failed load left entries");
    return 0;
  }
  Require(KeyMap.size() * 3 + 20 <= size || KeyMap.empty(), "more entries than the file holds");
  const std::size_t checked = KeyMap.size() < 512 ? KeyMap.size() : 512;
  for (std::size_t i = 0; i < checked; ++i) {
    const auto code = static_cast<std::uint16_t>(KeyMap[i].KeyCode);
    std::size_t first = 0;
    while (KeyMap[first].KeyCode != KeyMap[i].KeyCode) ++first;
    Require(LookupNote(code) == KeyMap[first].Note, "a lookup missed the first entry");
  }
  for (std::uint16_t code : {0, 1, 0x20, 0x5A, 0x7FFF, 0x8000, 0xFFFF}) {
    bool present = false;
    for (const TKeyMapEntry& entry : KeyMap)
      present = present || entry.KeyCode == static_cast<std::int16_t>(code);
    if (!present) Require(LookupNote(code) == 255, "an unmapped key gave a note");
  }
  return 0;
}
