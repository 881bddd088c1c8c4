#include "field_stream.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include "app_error.h"
#include "native_path.h"

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
  const std::string_view kept = s.substr(0, 255);
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

MemoryBuffer LoadFileWhole(const std::string& fileName) {
  std::error_code error;
  if (std::filesystem::is_directory(NativePath(fileName), error))
    throw AppError("Cannot open file " + fileName);
  std::ifstream file(NativePath(fileName), std::ios::binary);
  if (!file) throw AppError("Cannot open file " + fileName);
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size < 0) throw AppError("Stream read error");
  file.seekg(0, std::ios::beg);
  MemoryBuffer buffer;
  buffer.Bytes.resize(static_cast<std::size_t>(size));
  file.read(reinterpret_cast<char*>(buffer.Bytes.data()), size);
  if (file.gcount() != size) throw AppError("Stream read error");
  return buffer;
}

void SaveFileWhole(const MemoryBuffer& buffer, const std::string& fileName) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path target = NativePath(fileName);
  if (fs::is_directory(target, error)) throw AppError("Cannot create file " + fileName);
  // The temporary file lives beside the target so that the final rename never crosses
  // file systems and replaces the target in one step.
  std::random_device seed;
  fs::path temporary = target;
  temporary += ".tmp" + std::to_string(seed() % 1000000);
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file) throw AppError("Cannot create file " + fileName);
    file.write(reinterpret_cast<const char*>(buffer.Bytes.data()),
               static_cast<std::streamsize>(buffer.Bytes.size()));
    file.flush();
    if (!file) {
      file.close();
      fs::remove(temporary, error);
      throw AppError("Stream write error");
    }
    file.close();
    if (!file) {
      fs::remove(temporary, error);
      throw AppError("Stream write error");
    }
  }
  fs::rename(temporary, target, error);
  if (error) {
    fs::remove(temporary, error);
    throw AppError("Cannot create file " + fileName);
  }
}
