#include "skin_file.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app_error.h"

namespace {

void PutU16(std::string& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void PutU32(std::string& b, std::size_t at, std::uint32_t v) {
  PutU16(b, at, v & 0xFFFF);
  PutU16(b, at + 2, v >> 16);
}

// The test picture: distinct colours, so that a swapped row or column shows.
QRgb PixelColor(int x, int y) { return qRgb(10 + 40 * x, 5 + 70 * y, 200 - 30 * x - 20 * y); }

constexpr int kWidth = 5;  // rows need padding at 8 and 24 bits
constexpr int kHeight = 3;

// A Windows BMP with a 40-byte info header: 8 bits with a palette or 24 bits, rows
// bottom-up (the usual order) or top-down (negative height).
std::string MakeBmp(int width, int height, int bits, bool topDown) {
  std::vector<QRgb> palette;
  if (bits == 8) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        if (std::find(palette.begin(), palette.end(), PixelColor(x, y)) == palette.end()) {
          palette.push_back(PixelColor(x, y));
        }
      }
    }
  }
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
  const std::size_t offBits = 14 + 40 + 4 * palette.size();
  std::string b(offBits + rowBytes * height, '\0');
  b[0] = 'B';
  b[1] = 'M';
  PutU32(b, 2, static_cast<std::uint32_t>(b.size()));
  PutU32(b, 10, static_cast<std::uint32_t>(offBits));
  PutU32(b, 14, 40);
  PutU32(b, 18, static_cast<std::uint32_t>(width));
  PutU32(b, 22, static_cast<std::uint32_t>(topDown ? -height : height));
  PutU16(b, 26, 1);
  PutU16(b, 28, static_cast<std::uint32_t>(bits));
  PutU32(b, 30, 0);  // uncompressed
  PutU32(b, 34, 0);  // picture size: computed
  PutU32(b, 38, 2835);
  PutU32(b, 42, 2835);
  PutU32(b, 46, static_cast<std::uint32_t>(palette.size()));
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const std::size_t at = 54 + 4 * i;
    b[at] = static_cast<char>(qBlue(palette[i]));
    b[at + 1] = static_cast<char>(qGreen(palette[i]));
    b[at + 2] = static_cast<char>(qRed(palette[i]));
  }
  for (int y = 0; y < height; ++y) {
    const int stored = topDown ? y : height - 1 - y;
    std::size_t at = offBits + rowBytes * static_cast<std::size_t>(stored);
    for (int x = 0; x < width; ++x) {
      const QRgb c = PixelColor(x, y);
      if (bits == 8) {
        b[at++] = static_cast<char>(std::find(palette.begin(), palette.end(), c) - palette.begin());
      } else {
        b[at++] = static_cast<char>(qBlue(c));
        b[at++] = static_cast<char>(qGreen(c));
        b[at++] = static_cast<char>(qRed(c));
      }
    }
  }
  return b;
}

class LoadSkinFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_.filePath(QString::fromLatin1(name)).toStdString();
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::string Folder() const { return dir_.path().toStdString(); }

  // The message of the AppError that loading raises, or "(no error)".
  static std::string ErrorOf(const std::string& path) {
    try {
      LoadSkinFile(path);
    } catch (const AppError& e) {
      return e.what();
    }
    return "(no error)";
  }

 private:
  QTemporaryDir dir_;
};

TEST_F(LoadSkinFileTest, DecodesPaletteAndTrueColourInBothRowOrders) {
  for (int bits : {8, 24}) {
    for (bool topDown : {false, true}) {
      SCOPED_TRACE(std::to_string(bits) + (topDown ? " bits, top-down" : " bits, bottom-up"));
      const QImage image = LoadSkinFile(Write("skin.bmp", MakeBmp(kWidth, kHeight, bits, topDown)));
      ASSERT_FALSE(image.isNull());
      EXPECT_EQ(image.format(), QImage::Format_RGB32);
      ASSERT_EQ(image.width(), kWidth);
      ASSERT_EQ(image.height(), kHeight);
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
          EXPECT_EQ(image.pixel(x, y), PixelColor(x, y)) << "x " << x << " y " << y;
        }
      }
    }
  }
}

TEST_F(LoadSkinFileTest, ZeroBytesGiveAnEmptyPicture) {
  const QImage image = LoadSkinFile(Write("empty.bmp", ""));
  EXPECT_TRUE(image.isNull());
  EXPECT_EQ(image.width(), 0);
  EXPECT_EQ(image.height(), 0);
}

TEST_F(LoadSkinFileTest, AFileThatCannotBeOpenedNamesItsPath) {
  const std::string missing = Folder() + "/Missing.bmp";
  EXPECT_EQ(ErrorOf(missing), "Cannot open file " + missing);
  EXPECT_EQ(ErrorOf(Folder()), "Cannot open file " + Folder());  // a folder is no file
}

TEST_F(LoadSkinFileTest, WrongSignatureOrColourPlanesIsNotValid) {
  const std::string good = MakeBmp(kWidth, kHeight, 24, false);
  const std::string invalid = "Bitmap image is not valid";
  EXPECT_EQ(ErrorOf(Write("one.bmp", "B")), invalid);
  EXPECT_EQ(ErrorOf(Write("text.bmp", "hello, this is not a picture at all")), invalid);

  std::string noSignature = good;
  noSignature[1] = 'X';
  EXPECT_EQ(ErrorOf(Write("sig.bmp", noSignature)), invalid);
  std::string lowerCase = good;
  lowerCase[0] = 'b';
  lowerCase[1] = 'm';
  EXPECT_EQ(ErrorOf(Write("lower.bmp", lowerCase)), invalid);

  for (std::uint32_t planes : {0u, 2u, 0x100u}) {
    std::string b = good;
    PutU16(b, 26, planes);
    EXPECT_EQ(ErrorOf(Write("planes.bmp", b)), invalid) << planes << " planes";
  }
  // The same file with one plane loads.
  EXPECT_EQ(ErrorOf(Write("good.bmp", good)), "(no error)");
}

TEST_F(LoadSkinFileTest, AHeaderTooShortToHoldThePlanesIsNotValid) {
  const std::string good = MakeBmp(kWidth, kHeight, 24, false);
  for (std::size_t size : {2u, 14u, 18u, 27u}) {
    EXPECT_EQ(ErrorOf(Write("short.bmp", good.substr(0, size))), "Bitmap image is not valid")
        << size << " bytes";
  }
  // With the planes field present, the file ends inside its header: before its picture.
  EXPECT_EQ(ErrorOf(Write("short.bmp", good.substr(0, 28))), "Stream read error");
  EXPECT_EQ(ErrorOf(Write("short.bmp", good.substr(0, 54))), "Stream read error");
}

TEST_F(LoadSkinFileTest, AFileEndingBeforeItsPictureDataIsAReadError) {
  for (int bits : {8, 24}) {
    for (bool topDown : {false, true}) {
      SCOPED_TRACE(std::to_string(bits) + (topDown ? " bits, top-down" : " bits, bottom-up"));
      const std::string good = MakeBmp(kWidth, kHeight, bits, topDown);
      // Only the padding of the last stored row is missing: the rows still count whole.
      EXPECT_EQ(ErrorOf(Write("cut.bmp", good.substr(0, good.size() - 1))), "Stream read error");
      EXPECT_EQ(ErrorOf(Write("half.bmp", good.substr(0, good.size() / 2 + 30))),
                "Stream read error");
      EXPECT_EQ(ErrorOf(Write("longer.bmp", good + std::string(7, '\0'))), "(no error)");
    }
  }
}

TEST_F(LoadSkinFileTest, TheDeclaredPictureSizeAndOffsetCount) {
  const std::string good = MakeBmp(kWidth, kHeight, 24, false);
  const std::uint32_t pictureBytes = static_cast<std::uint32_t>(good.size() - 54);

  std::string exact = good;
  PutU32(exact, 34, pictureBytes);
  EXPECT_EQ(ErrorOf(Write("exact.bmp", exact)), "(no error)");

  std::string tooLarge = good;
  PutU32(tooLarge, 34, pictureBytes + 1);
  EXPECT_EQ(ErrorOf(Write("size.bmp", tooLarge)), "Stream read error");

  std::string offsetPastEnd = good;
  PutU32(offsetPastEnd, 10, static_cast<std::uint32_t>(good.size() + 1));
  EXPECT_EQ(ErrorOf(Write("offset.bmp", offsetPastEnd)), "Stream read error");

  std::string offsetShiftsData = good;
  PutU32(offsetShiftsData, 10, 54 + 4);  // the rows would end 4 bytes past the file
  EXPECT_EQ(ErrorOf(Write("shift.bmp", offsetShiftsData)), "Stream read error");

  std::string huge = good;
  PutU32(huge, 18, 0x7FFFFFFF);
  PutU32(huge, 22, 0x7FFFFFFF);
  EXPECT_EQ(ErrorOf(Write("huge.bmp", huge)), "Stream read error");
}

TEST_F(LoadSkinFileTest, RowsAreCountedFromTheGeometryWhateverTheSizeFieldClaims) {
  // 70 bytes declaring a 24-bit picture of 5000 x 5000 with a picture size of 1 byte.
  std::string claim(70, '\0');
  claim[0] = 'B';
  claim[1] = 'M';
  PutU32(claim, 2, 54);
  PutU32(claim, 10, 54);
  PutU32(claim, 14, 40);
  PutU32(claim, 18, 5000);
  PutU32(claim, 22, 5000);
  PutU16(claim, 26, 1);
  PutU16(claim, 28, 24);
  PutU32(claim, 34, 1);
  EXPECT_EQ(ErrorOf(Write("claim.bmp", claim)), "Stream read error");

  // A real picture whose size field understates its rows: the last row is missing.
  const std::string good = MakeBmp(kWidth, kHeight, 8, false);
  std::string understated = good.substr(0, good.size() - 8);
  PutU32(understated, 34, 4);
  EXPECT_EQ(ErrorOf(Write("under.bmp", understated)), "Stream read error");
  PutU32(understated, 34, 0);
  EXPECT_EQ(ErrorOf(Write("under.bmp", understated)), "Stream read error");
}

TEST_F(LoadSkinFileTest, OnlyARegularFileOfPlausibleSizeIsRead) {
  const std::string device = Folder() + "/../../../../../../../../../dev/zero";
  EXPECT_EQ(ErrorOf(device), "Cannot open file " + device);
  // One byte past the bound: refused before a byte of it is read.
  const std::string path = Folder() + "/big.bmp";
  std::filesystem::resize_file(Write("big.bmp", MakeBmp(kWidth, kHeight, 24, false)),
                               64 * 1024 * 1024 + 1);
  EXPECT_EQ(ErrorOf(path), "File too large: " + path + " (more than 64 MB)");
}

TEST_F(LoadSkinFileTest, APictureTheDecoderRejectsIsNotValid) {
  const std::string good = MakeBmp(kWidth, kHeight, 24, false);
  std::string oddDepth = good;
  PutU16(oddDepth, 28, 7);
  EXPECT_EQ(ErrorOf(Write("depth.bmp", oddDepth)), "Bitmap image is not valid");

  // A small compressed file may declare any size: past 16 million pixels it is refused
  // before the decoder allocates the picture.
  const std::string palette = MakeBmp(kWidth, kHeight, 8, false);
  const std::size_t offBits = static_cast<unsigned char>(palette[10]);  // below 256 here
  std::string rle = palette.substr(0, offBits) + std::string("\0\1", 2);
  PutU32(rle, 30, 1);  // 8-bit run-length coded: nothing but the end of the picture
  PutU32(rle, 34, 2);
  PutU32(rle, 18, 4096);
  PutU32(rle, 22, 4096);
  EXPECT_EQ(ErrorOf(Write("rle.bmp", rle)), "(no error)");  // 16 million pixels: the most
  PutU32(rle, 18, 4097);
  EXPECT_EQ(ErrorOf(Write("rle.bmp", rle)), "Bitmap image is not valid");

  std::string unknownCompression = good;
  PutU32(unknownCompression, 30, 99);
  EXPECT_EQ(ErrorOf(Write("compression.bmp", unknownCompression)), "Bitmap image is not valid");
}

}  // namespace
