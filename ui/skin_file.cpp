#include "skin_file.h"

#include <QByteArray>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "app_error.h"

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

[[noreturn]] void NotValid() { throw AppError("Bitmap image is not valid"); }
[[noreturn]] void ReadError() { throw AppError("Stream read error"); }

std::uint32_t U16(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8;
}

std::uint32_t U32(const std::string& b, std::size_t at) {
  return U16(b, at) | U16(b, at + 2) << 16;
}

std::int32_t I32(const std::string& b, std::size_t at) {
  return static_cast<std::int32_t>(U32(b, at));
}

std::string ReadWholeFile(const std::string& path) {
  std::error_code ec;
  std::ifstream in;
  if (!std::filesystem::is_directory(path, ec)) in.open(path, std::ios::binary);
  if (!in.is_open()) throw AppError("Cannot open file " + path);
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) ReadError();
  return bytes;
}

// Bytes of uncompressed rows, each padded to a multiple of 4 bytes.
std::uint64_t RowBytes(std::int64_t width, std::uint32_t bitCount) {
  if (width <= 0) return 0;
  return (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4;
}

// Throws unless the file holds the header and the whole picture data the header declares.
void CheckHeader(const std::string& b) {
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
  std::uint64_t declared = 0;  // size of the picture data, where the header tells it
  bool computed = false;
  if (core) {
    width = U16(b, kWidthAt);
    height = U16(b, kCoreHeightAt);
    bitCount = U16(b, kCoreBitCountAt);
    computed = true;
  } else {
    width = I32(b, kWidthAt);
    height = I32(b, kHeightAt);
    bitCount = U16(b, kBitCountAt);
    const std::uint32_t compression = U32(b, kCompressionAt);
    declared = U32(b, kSizeImageAt);
    computed = declared == 0 && (compression == kUncompressed || compression == kBitFields ||
                                 compression == kAlphaBitFields);
  }

  const std::uint64_t offBits = U32(b, kOffBitsAt);
  if (b.size() < offBits) ReadError();
  const std::uint64_t available = b.size() - offBits;
  if (computed) {
    const std::uint64_t rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
    const std::uint64_t rowBytes = RowBytes(width, bitCount);
    // rowBytes * rows > available, without overflowing.
    if (rows != 0 && rowBytes > available / rows) ReadError();
  } else if (declared > available) {
    ReadError();
  }
}

}  // namespace

QImage LoadSkinFile(const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  if (bytes.empty()) return QImage();
  CheckHeader(bytes);
  const QByteArray data =
      QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QImage image;
  if (!image.loadFromData(data, "BMP") || image.isNull()) NotValid();
  return image.convertToFormat(QImage::Format_RGB32);
}
