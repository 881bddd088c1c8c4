#include "bmp_file.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

std::uint32_t Field(const std::string& bytes, std::size_t at, int size) {
  if (at + size > bytes.size()) throw std::runtime_error("header cut short");
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) {
    value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  }
  return value;
}

int Byte(const std::string& bytes, std::size_t at) {
  if (at >= bytes.size()) throw std::runtime_error("picture data cut short");
  return static_cast<std::uint8_t>(bytes[at]);
}

}  // namespace

BmpFile ReadBmp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
    throw std::runtime_error("not a BMP file");
  }

  BmpFile bmp;
  bmp.FileBytes = bytes.size();
  bmp.FileSizeField = Field(bytes, 2, 4);
  bmp.DataOffset = Field(bytes, 10, 4);
  bmp.InfoSize = Field(bytes, 14, 4);
  bmp.Width = static_cast<std::int32_t>(Field(bytes, 18, 4));
  bmp.HeightField = static_cast<std::int32_t>(Field(bytes, 22, 4));
  bmp.Planes = static_cast<int>(Field(bytes, 26, 2));
  bmp.BitsPerPixel = static_cast<int>(Field(bytes, 28, 2));
  bmp.Compression = Field(bytes, 30, 4);
  bmp.PaletteSize = Field(bytes, 46, 4);
  if (bmp.Compression != 0) throw std::runtime_error("compressed");
  if (bmp.BitsPerPixel != 8 && bmp.BitsPerPixel != 24) throw std::runtime_error("bit depth");
  if (bmp.Width <= 0 || bmp.HeightField == 0) throw std::runtime_error("empty picture");

  const bool bottomUp = bmp.HeightField > 0;
  bmp.Height = bottomUp ? bmp.HeightField : -bmp.HeightField;

  std::vector<BmpPixel> palette;
  if (bmp.BitsPerPixel == 8) {
    const std::uint32_t entries = bmp.PaletteSize == 0 ? 256 : bmp.PaletteSize;
    const std::size_t start = 14 + bmp.InfoSize;
    for (std::uint32_t i = 0; i < entries; ++i) {
      const std::size_t at = start + 4 * i;
      palette.push_back({Byte(bytes, at + 2), Byte(bytes, at + 1), Byte(bytes, at)});
    }
  }

  const std::size_t stride = (static_cast<std::size_t>(bmp.Width) * bmp.BitsPerPixel / 8 + 3) & ~3u;
  bmp.Pixels.resize(static_cast<std::size_t>(bmp.Width) * bmp.Height);
  for (int y = 0; y < bmp.Height; ++y) {
    const int storedRow = bottomUp ? bmp.Height - 1 - y : y;
    const std::size_t row = bmp.DataOffset + stride * storedRow;
    for (int x = 0; x < bmp.Width; ++x) {
      BmpPixel& pixel = bmp.Pixels[static_cast<std::size_t>(y) * bmp.Width + x];
      if (bmp.BitsPerPixel == 24) {
        const std::size_t at = row + 3 * static_cast<std::size_t>(x);
        pixel = {Byte(bytes, at + 2), Byte(bytes, at + 1), Byte(bytes, at)};
      } else {
        const int index = Byte(bytes, row + x);
        if (index >= static_cast<int>(palette.size())) throw std::runtime_error("bad index");
        pixel = palette[index];
      }
    }
  }
  return bmp;
}
