#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A small reader for uncompressed BMP files (8 bits with a palette, or 24 bits; rows
// bottom-up or top-down), independent of the program's own skin loading, for checking
// the shipped skins pixel by pixel.
struct BmpPixel {
  int R = 0, G = 0, B = 0;
  bool operator==(const BmpPixel&) const = default;
  int Luminance() const { return (R * 299 + G * 587 + B * 114) / 1000; }
};

struct BmpFile {
  // Header fields as stored.
  std::uint32_t FileSizeField = 0;
  std::uint32_t DataOffset = 0;
  std::uint32_t InfoSize = 0;
  std::int32_t HeightField = 0;
  int Planes = 0;
  int BitsPerPixel = 0;
  std::uint32_t Compression = 0;
  std::uint32_t PaletteSize = 0;
  std::size_t FileBytes = 0;

  int Width = 0;
  int Height = 0;
  std::vector<BmpPixel> Pixels;  // row 0 = top row of the picture

  BmpPixel At(int x, int y) const { return Pixels[static_cast<std::size_t>(y) * Width + x]; }
};

// Reads and decodes a file; throws std::runtime_error for anything this reader cannot
// decode (no "BM", compressed, other bit depths, data cut short).
BmpFile ReadBmp(const std::string& path);
