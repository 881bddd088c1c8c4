#include "field_stream.h"

#include <algorithm>

#include "short_string.h"

namespace {

void WriteLittleEndian(MemoryBuffer& buffer, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    buffer.Bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
}

// Reads up to `bytes` bytes little-endian; missing bytes count as 0 and the position
// never passes the end of the buffer.
std::uint32_t ReadLittleEndian(MemoryBuffer& buffer, int bytes) {
  if (buffer.Position + bytes > buffer.Bytes.size()) {
    buffer.Position = buffer.Bytes.size();
    return 0;
  }
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    value |= static_cast<std::uint32_t>(buffer.Bytes[buffer.Position++]) << (8 * i);
  }
  return value;
}

}  // namespace

void WriteShortString(MemoryBuffer& buffer, std::string_view s) {
  const std::string_view kept = CutAtCharacter(s, 255);
  buffer.Bytes.push_back(static_cast<std::uint8_t>(kept.size()));
  buffer.Bytes.insert(buffer.Bytes.end(), kept.begin(), kept.end());
}

void WriteInt32(MemoryBuffer& buffer, std::int32_t value) {
  WriteLittleEndian(buffer, static_cast<std::uint32_t>(value), 4);
}

void WriteInt16(MemoryBuffer& buffer, std::int16_t value) {
  WriteLittleEndian(buffer, static_cast<std::uint16_t>(value), 2);
}

void WriteByte(MemoryBuffer& buffer, std::uint8_t value) { buffer.Bytes.push_back(value); }

std::string ReadShortString(MemoryBuffer& buffer, int max) {
  if (buffer.Position >= buffer.Bytes.size()) return {};
  const std::size_t length = buffer.Bytes[buffer.Position++];
  const std::size_t present = std::min(length, buffer.Bytes.size() - buffer.Position);
  const std::size_t kept = std::min(present, static_cast<std::size_t>(std::max(max, 0)));
  std::string result(reinterpret_cast<const char*>(buffer.Bytes.data() + buffer.Position), kept);
  buffer.Position += present;  // every character is consumed, also the ones cut off
  return result;
}

std::int32_t ReadInt32(MemoryBuffer& buffer) {
  return static_cast<std::int32_t>(ReadLittleEndian(buffer, 4));
}

std::int16_t ReadInt16(MemoryBuffer& buffer) {
  return static_cast<std::int16_t>(ReadLittleEndian(buffer, 2));
}

std::uint8_t ReadByte(MemoryBuffer& buffer) {
  return static_cast<std::uint8_t>(ReadLittleEndian(buffer, 1));
}
