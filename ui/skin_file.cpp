#include "skin_file.h"

#include <QByteArray>
#include <cstdint>
#include <span>
#include <string>

#include "app_error.h"
#include "field_stream.h"
#include "load_limits.h"

namespace {

// Offsets in a Windows BMP file: the 14-byte file header, then the info header.
constexpr std::size_t kOffBitsAt = 10;   // uint32: start of the picture data
constexpr std::size_t kInfoSizeAt = 14;  // uint32: size of the info header
constexpr std::size_t kWidthAt = 18;     // int32 (uint16 in the old OS/2 header)

// The usual info header (40 bytes and its longer versions).
constexpr std::size_t kHeightAt = 22;       // int32, negative = rows stored top-down
constexpr std::size_t kPlanesAt = 26;       // uint16
constexpr std::size_t kBitCountAt = 28;     // uint16
constexpr std::size_t kCompressionAt = 30;  // uint32
constexpr std::size_t kSizeImageAt = 34;    // uint32, 0 = computed from the sizes
constexpr std::size_t kInfoFieldsEnd = 38;  // end of the fields read here

// The old 12-byte OS/2 header: 16-bit width and height, always uncompressed.
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::size_t kCoreHeightAt = 20;
constexpr std::size_t kCorePlanesAt = 22;
constexpr std::size_t kCoreBitCountAt = 24;
constexpr std::size_t kCoreFieldsEnd = 26;

constexpr std::uint32_t kUncompressed = 0;    // BI_RGB
constexpr std::uint32_t kBitFields = 3;       // BI_BITFIELDS: rows laid out as uncompressed
constexpr std::uint32_t kAlphaBitFields = 6;  // BI_ALPHABITFIELDS: the same

using Bytes = std::span<const std::uint8_t>;

// 16 million pixels: 64 MB at 32 bits; the shipped skins have about 45,000.
constexpr std::uint64_t kMaxSkinPixels = 16 * 1024 * 1024;

[[noreturn]] void NotValid() { throw AppError("Bitmap image is not valid"); }
[[noreturn]] void ReadError() { throw AppError("Stream read error"); }

std::uint32_t U16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8;
}

std::uint32_t U32(const Bytes& b, std::size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

std::int32_t I32(const Bytes& b, std::size_t at) { return static_cast<std::int32_t>(U32(b, at)); }

// Bytes of uncompressed rows, each padded to a multiple of 4 bytes.
std::uint64_t RowBytes(std::int64_t width, std::uint32_t bitCount) {
  if (width <= 0) return 0;
  return (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4;
}

bool IsRowDepth(std::uint32_t bitCount) {
  return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
         bitCount == 32;
}

// Throws unless the file holds the header and the whole picture data the header declares.
// Uncompressed rows are counted from the width, height and depth (a size field that
// claims less would let the decoder read rows the file does not have), and the size field
// counts as well; a compressed picture has only its size field to go by.
void CheckHeader(const Bytes& b) {
  if (b.size() < 2 || b[0] != 'B' || b[1] != 'M') NotValid();
  if (b.size() < kInfoSizeAt + 4) NotValid();
  const bool core = U32(b, kInfoSizeAt) == kCoreHeaderSize;
  const std::size_t planesAt = core ? kCorePlanesAt : kPlanesAt;
  if (b.size() < planesAt + 2) NotValid();
  if (U16(b, planesAt) != 1) NotValid();
  if (b.size() < (core ? kCoreFieldsEnd : kInfoFieldsEnd)) ReadError();

  std::int64_t width = 0;
  std::int64_t height = 0;
  std::uint32_t bitCount = 0;
  std::uint32_t compression = kUncompressed;
  std::uint64_t declared = 0;  // the size field: 0 = computed from the sizes
  if (core) {
    width = U16(b, kWidthAt);
    height = U16(b, kCoreHeightAt);
    bitCount = U16(b, kCoreBitCountAt);
  } else {
    width = I32(b, kWidthAt);
    height = I32(b, kHeightAt);
    bitCount = U16(b, kBitCountAt);
    compression = U32(b, kCompressionAt);
    declared = U32(b, kSizeImageAt);
  }
  const bool rowsUncompressed =
      compression == kUncompressed || compression == kBitFields || compression == kAlphaBitFields;
  if (rowsUncompressed && !IsRowDepth(bitCount)) NotValid();

  const std::uint64_t offBits = U32(b, kOffBitsAt);
  if (b.size() < offBits) ReadError();
  const std::uint64_t available = b.size() - offBits;
  if (rowsUncompressed) {
    const std::uint64_t rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
    const std::uint64_t rowBytes = RowBytes(width, bitCount);
    // rowBytes * rows > available, without overflowing.
    if (rows != 0 && rowBytes > available / rows) ReadError();
  }
  if (declared > available) ReadError();
  // A picture far larger than any skin (the window is three times its width) is refused
  // before the decoder allocates it: a small compressed file may declare any size.
  const std::uint64_t pixels = static_cast<std::uint64_t>(width < 0 ? -width : width) *
                               static_cast<std::uint64_t>(height < 0 ? -height : height);
  if (pixels > kMaxSkinPixels) NotValid();
}

}  // namespace

QImage DecodeSkin(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return QImage();
  CheckHeader(Bytes{data, size});
  const QByteArray bytes =
      QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QImage image;
  if (!image.loadFromData(bytes, "BMP") || image.isNull()) NotValid();
  return image.convertToFormat(QImage::Format_RGB32);
}

QImage LoadSkinFile(const std::string& path) {
  const MemoryBuffer file = LoadFileWhole(path, SkinFileLimit);
  return DecodeSkin(file.Bytes.data(), file.Bytes.size());
}
