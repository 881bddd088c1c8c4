#include "key_map.h"

#include <algorithm>

#include "field_stream.h"
#include "load_limits.h"

std::vector<TKeyMapEntry> KeyMap;

void LoadKeyMap(const std::string& fileName) {
  KeyMap.clear();
  MemoryBuffer buffer = LoadFileWhole(fileName, KeyMapFileLimit);
  if (ReadShortString(buffer, 255) != KeyMapMagic) return;
  const std::int32_t count = ReadInt32(buffer);
  if (count <= 0) return;
  // The count is not trusted to size the table: only the entries the file really holds
  // (three bytes each) are read, so a damaged count cannot ask for a huge table.
  constexpr std::size_t EntrySize = 3;
  const std::size_t present = (buffer.Bytes.size() - buffer.Position) / EntrySize;
  const std::size_t entries = std::min(static_cast<std::size_t>(count), present);
  std::vector<TKeyMapEntry> table(entries);
  for (TKeyMapEntry& entry : table) {
    entry.Note = ReadByte(buffer);
    entry.KeyCode = ReadInt16(buffer);
  }
  KeyMap = std::move(table);
}

std::uint8_t LookupNote(std::uint16_t key) {
  const auto code = static_cast<std::int16_t>(key);
  for (const TKeyMapEntry& entry : KeyMap) {
    if (entry.KeyCode == code) return entry.Note;
  }
  return 255;
}
