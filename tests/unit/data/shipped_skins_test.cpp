// The shipped skins follow the layout the keyboard display cuts them up by: one octave
// keys up over the same octave keys down, where a pressed key shows only its own
// rectangle from the lower half. Every highlight must be plainly visible, and nothing
// outside the highlight rectangles may differ between the halves (or a pressed key
// would leave marks on its neighbours).
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>

#include "bmp_file.h"

namespace {

struct ShippedSkin {
  const char* FileName;
  int BitsPerPixel;
};

std::ostream& operator<<(std::ostream& out, const ShippedSkin& skin) {
  return out << skin.FileName;
}

// The measures of the keyboard display, from the picture's size.
struct Measures {
  explicit Measures(const BmpFile& bmp)
      : W(bmp.Width),
        H(bmp.Height),
        H2(H / 2),
        ww(W / 7),
        off(ww / 2 + 1),
        hb(H / 4),
        t(H2 - H2 / 3) {}
  int W, H, H2, ww, off, hb, t;
};

constexpr std::array<int, 5> BlackKeyColumns{0, 1, 3, 4, 5};  // white key on the left

int Difference(const BmpPixel& a, const BmpPixel& b) {
  return std::abs(a.R - b.R) + std::abs(a.G - b.G) + std::abs(a.B - b.B);
}

bool InBlackKeyRectangle(const Measures& m, int x, int row) {
  if (row >= m.hb) return false;
  for (int k : BlackKeyColumns) {
    const int left = k * m.ww + m.off;
    if (x >= left && x < left + m.ww) return true;
  }
  return false;
}

class ShippedSkinTest : public testing::TestWithParam<ShippedSkin> {
 protected:
  void SetUp() override {
    ASSERT_NO_THROW(bmp_ =
                        ReadBmp(std::string(TESSIVAR_DATA_DIR) + "SKINS/" + GetParam().FileName));
  }
  BmpPixel Up(int x, int row) const { return bmp_.At(x, row); }
  BmpPixel Down(int x, int row) const { return bmp_.At(x, Measures(bmp_).H2 + row); }
  BmpFile bmp_;
};

TEST_P(ShippedSkinTest, IsAPlainBitmapOfTheDepthItShipsIn) {
  EXPECT_EQ(bmp_.Planes, 1);
  EXPECT_EQ(bmp_.BitsPerPixel, GetParam().BitsPerPixel);
  EXPECT_EQ(bmp_.Compression, 0u);
  EXPECT_EQ(bmp_.InfoSize, 40u);
  EXPECT_GT(bmp_.HeightField, 0) << "bottom-up rows";
  EXPECT_EQ(bmp_.FileSizeField, bmp_.FileBytes);
  const std::size_t stride =
      (static_cast<std::size_t>(bmp_.Width) * bmp_.BitsPerPixel / 8 + 3) & ~std::size_t{3};
  EXPECT_EQ(bmp_.FileBytes, bmp_.DataOffset + stride * bmp_.Height) << "no bytes after the rows";
}

TEST_P(ShippedSkinTest, SizeGivesWholeKeyColumnsAndTwoEqualHalves) {
  EXPECT_EQ(bmp_.Width % 7, 0) << "every column belongs to a white key";
  EXPECT_EQ(bmp_.Height % 2, 0) << "no scaled white-key copy";
  EXPECT_GE(bmp_.Width, 7 * 20);
  EXPECT_GE(bmp_.Height, 80);
}

TEST_P(ShippedSkinTest, OnlyTheHighlightRectanglesDifferBetweenTheHalves) {
  const Measures m(bmp_);
  for (int row = 0; row < m.t; ++row) {
    for (int x = 0; x < m.W; ++x) {
      if (InBlackKeyRectangle(m, x, row)) continue;
      ASSERT_EQ(Up(x, row), Down(x, row)) << "upper part of a white key at " << x << "," << row;
    }
  }
}

TEST_P(ShippedSkinTest, BlackKeyRectanglesChangeOnlyTheBlackKey) {
  const Measures m(bmp_);
  for (int k : BlackKeyColumns) {
    const int left = k * m.ww + m.off;
    const int right = left + m.ww - 1;
    const int middle = left + m.ww / 2;
    int changedRows = 0;
    int change = 0;
    for (int row = 0; row < m.hb; ++row) {
      // The rectangle's edges show the neighbouring white keys: the same in both halves.
      EXPECT_EQ(Up(left, row), Down(left, row)) << "key " << k << " row " << row;
      EXPECT_EQ(Up(right, row), Down(right, row)) << "key " << k << " row " << row;
      if (Up(middle, row) != Down(middle, row)) ++changedRows;
      change += Difference(Up(middle, row), Down(middle, row));
    }
    EXPECT_GE(changedRows, m.hb * 3 / 4) << "black key after white key " << k;
    EXPECT_GE(change / m.hb, 90) << "a pressed black key is plainly coloured, key " << k;
    // Keys up: the black key is darker than the white key beside it.
    EXPECT_LT(Up(middle, m.hb / 2).Luminance() + 20, Up(left, m.hb / 2).Luminance())
        << "black key after white key " << k;
  }
}

TEST_P(ShippedSkinTest, EveryWhiteKeyStripIsPlainlyHighlighted) {
  const Measures m(bmp_);
  for (int j = 0; j < 7; ++j) {
    int changed = 0;
    long change = 0;
    int pixels = 0;
    for (int row = m.t; row < m.H2; ++row) {
      for (int x = j * m.ww; x < (j + 1) * m.ww; ++x) {
        if (Up(x, row) != Down(x, row)) ++changed;
        change += Difference(Up(x, row), Down(x, row));
        ++pixels;
      }
    }
    EXPECT_GE(changed, pixels * 3 / 4) << "white key " << j;
    EXPECT_GE(change / pixels, 90) << "a pressed white key is plainly coloured, key " << j;
  }
}

TEST_P(ShippedSkinTest, WhiteKeysAreSeparatedAndLookAlike) {
  const Measures m(bmp_);
  const int row = (m.hb + m.t) / 2;  // below the black keys, above the highlight strip
  for (int j = 1; j < 7; ++j) {
    // A line between neighbouring keys, darker than the key surface beside it.
    EXPECT_LT(Up(j * m.ww, row).Luminance(), Up(j * m.ww + m.ww / 2, row).Luminance())
        << "gap before white key " << j;
    EXPECT_EQ(Up(j * m.ww + m.ww / 2, row), Up(m.ww / 2, row)) << "white key " << j;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shipped, ShippedSkinTest,
    testing::Values(ShippedSkin{"Classic.bmp", 24}, ShippedSkin{"Dark.bmp", 8}),
    [](const testing::TestParamInfo<ShippedSkin>& info) {
      return std::string(info.param.FileName).substr(0, std::string(info.param.FileName).find('.'));
    });

}  // namespace
