#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A file's whole content in memory with a read position. Binary files are always
// read whole before any field is parsed and written whole from one buffer.
struct MemoryBuffer {
  std::vector<std::uint8_t> Bytes;
  std::size_t Position = 0;
};

// Writers append little-endian fields without padding.
void WriteShortString(MemoryBuffer& buffer, std::string_view s);
void WriteInt32(MemoryBuffer& buffer, std::int32_t value);
void WriteInt16(MemoryBuffer& buffer, std::int16_t value);
void WriteByte(MemoryBuffer& buffer, std::uint8_t value);

// Readers never raise and never read past the end: a field cut off by the end of the
// buffer yields 0 (numbers) or only the characters present (strings), and the
// position stops at the end.
std::string ReadShortString(MemoryBuffer& buffer, int max);
std::int32_t ReadInt32(MemoryBuffer& buffer);
std::int16_t ReadInt16(MemoryBuffer& buffer);
std::uint8_t ReadByte(MemoryBuffer& buffer);

// Whole-file transfer. Load raises "Cannot open file %s" or "Stream read error";
// save raises "Cannot create file %s" or "Stream write error". A save goes to a
// temporary file in the target's folder that replaces the target only when complete,
// so a failed save leaves the old file whole.
MemoryBuffer LoadFileWhole(const std::string& fileName);
void SaveFileWhole(const MemoryBuffer& buffer, const std::string& fileName);
