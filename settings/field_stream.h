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

// Whole-file transfer.
//
// Load takes regular files only (a folder, a FIFO or a device is "Cannot open file %s")
// and refuses a file larger than maxBytes with "File too large: %s (more than N KB)"
// (or MB) before reading any of it; every loader passes the bound of its kind of file
// (load_limits.h). A read that gets fewer bytes than the file's size, or fails, raises
// "Stream read error".
//
// Save creates or replaces the file with the buffer: "Cannot create file %s" when it
// cannot be created or replaced, "Stream write error" when the buffer cannot be written
// whole. The content goes to a temporary file beside the target that replaces the target
// only when complete, so a failed save leaves the old file whole, while the save still
// behaves as creating or replacing in place does: a read-only target is refused, a
// symbolic link is followed (the linked file is replaced, the link stays), the replaced
// file keeps its permissions, and where no temporary file can be made beside the target
// (a folder the user may not write to) the target is written in place.
MemoryBuffer LoadFileWhole(const std::string& fileName, std::size_t maxBytes);
void SaveFileWhole(const MemoryBuffer& buffer, const std::string& fileName);
