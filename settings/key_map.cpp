#include "key_map.h"

#include <algorithm>

#include "field_stream.h"
#include "load_limits.h"

std::vector<TKeyMapEntry> KeyMap;

KeyMapFileReading ReadKeyMapFile(const std::string& fileName) {
  KeyMapFileReading reading;
  MemoryBuffer buffer = LoadFileWhole(fileName, KeyMapFileLimit);
  if (ReadShortString(buffer, 255) != KeyMapMagic) {
    reading.State = KeyMapFileState::WrongMagic;
    return reading;
  }
  reading.DeclaredCount = ReadInt32(buffer);
  if (reading.DeclaredCount <= 0) {
    reading.State = KeyMapFileState::NoEntries;
    return reading;
  }
  // The count is not trusted to size the table: only the entries the file really holds
  // (three bytes each) are read, so a damaged count cannot ask for a huge table.
  constexpr std::size_t EntrySize = 3;
  const std::size_t present = (buffer.Bytes.size() - buffer.Position) / EntrySize;
  const std::size_t entries = std::min(static_cast<std::size_t>(reading.DeclaredCount), present);
  if (entries < static_cast<std::size_t>(reading.DeclaredCount))
    reading.State = KeyMapFileState::Short;
  reading.Entries.resize(entries);
  for (TKeyMapEntry& entry : reading.Entries) {
    entry.Note = ReadByte(buffer);
    entry.KeyCode = ReadInt16(buffer);
  }
  return reading;
}

void LoadKeyMap(const std::string& fileName) {
  KeyMap.clear();
  KeyMap = ReadKeyMapFile(fileName).Entries;
}

MemoryBuffer KeyMapFileContent(const std::vector<TKeyMapEntry>& entries) {
  MemoryBuffer buffer;
  buffer.Bytes.reserve(20 + 3 * entries.size());
  WriteShortString(buffer, KeyMapMagic);
  WriteInt32(buffer, static_cast<std::int32_t>(entries.size()));
  for (const TKeyMapEntry& entry : entries) {
    WriteByte(buffer, entry.Note);
    WriteInt16(buffer, entry.KeyCode);
  }
  return buffer;
}

void SaveKeyMap(const std::string& fileName, const std::vector<TKeyMapEntry>& entries) {
  SaveFileWhole(KeyMapFileContent(entries), fileName);
}

std::uint8_t LookupNote(std::uint16_t key) {
  const auto code = static_cast<std::int16_t>(key);
  for (const TKeyMapEntry& entry : KeyMap) {
    if (entry.KeyCode == code) return entry.Note;
  }
  return 255;
}
