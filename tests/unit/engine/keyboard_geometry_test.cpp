#include "keyboard_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

TEST(KeyboardGeometry, MeasuresOfA210By120Skin) {
  const SkinMeasures s = SkinMeasures::Of(210, 120);
  EXPECT_EQ(s.H2, 60);
  EXPECT_EQ(s.ww, 30);
  EXPECT_EQ(s.off, 16);
  EXPECT_EQ(s.hb, 30);
  EXPECT_EQ(s.t, 40);
  const SkinMeasures narrow = SkinMeasures::Of(6, 3);
  EXPECT_EQ(narrow.ww, 0);
  EXPECT_EQ(narrow.hb, 0);
}

TEST(KeyboardGeometry, WhiteKeyIndexTable) {
  const int expected[12] = {0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6};
  for (int s = 0; s < 36; ++s) EXPECT_EQ(WhiteKeyIndex(s), expected[s % 12]) << s;
  EXPECT_EQ(WhiteKeyIndex(-1), 0);
  EXPECT_EQ(WhiteKeyIndex(-12), 0);  // remainder 0
  EXPECT_EQ(WhiteKeyIndex(-11), 0);
}

TEST(KeyboardGeometry, BlackKeysOfTheThreeOctaves) {
  std::vector<int> black;
  for (int c = 0; c < 32; ++c) {
    if (IsBlackKey(c)) black.push_back(c);
  }
  EXPECT_EQ(black, (std::vector<int>{1, 3, 6, 8, 10, 13, 15, 18, 20, 22, 25, 27, 30}));
}

TEST(KeyboardGeometry, HighlightRectanglesOfA210By120Skin) {
  const SkinMeasures s = SkinMeasures::Of(210, 120);
  KeyCopy copy;
  ASSERT_TRUE(KeyHighlightCopy(s, 13, true, copy));  // C sharp of the middle octave
  EXPECT_EQ(copy.Source, (PixelRect{16, 60, 46, 90}));
  EXPECT_EQ(copy.Destination, (PixelRect{226, 0, 256, 30}));
  ASSERT_TRUE(KeyHighlightCopy(s, 13, false, copy));
  EXPECT_EQ(copy.Source, (PixelRect{16, 0, 46, 30}));
  EXPECT_EQ(copy.Destination, (PixelRect{226, 0, 256, 30}));
  ASSERT_TRUE(KeyHighlightCopy(s, 4, true, copy));  // E of the first octave
  EXPECT_EQ(copy.Source, (PixelRect{60, 100, 90, 120}));
  EXPECT_EQ(copy.Destination, (PixelRect{60, 40, 90, 60}));
  ASSERT_TRUE(KeyHighlightCopy(s, 4, false, copy));
  EXPECT_EQ(copy.Source, (PixelRect{60, 40, 90, 60}));
  ASSERT_TRUE(KeyHighlightCopy(s, 31, true, copy));  // G of the third octave
  EXPECT_EQ(copy.Destination, (PixelRect{420 + 120, 40, 420 + 150, 60}));
  EXPECT_FALSE(KeyHighlightCopy(s, 32, true, copy));
  EXPECT_FALSE(KeyHighlightCopy(s, -1, true, copy));
}

TEST(KeyboardGeometry, OddHeightScalesTheWhiteKeysDownStrip) {
  const SkinMeasures s = SkinMeasures::Of(210, 121);  // bottom half one row taller
  KeyCopy copy;
  ASSERT_TRUE(KeyHighlightCopy(s, 0, true, copy));
  EXPECT_EQ(copy.Source.Height(), 21);
  EXPECT_EQ(copy.Destination.Height(), 20);
}

TEST(KeyboardGeometry, CopyPixelsCopiesScalesAndClips) {
  std::vector<std::uint32_t> source(4 * 4);
  for (int i = 0; i < 16; ++i) source[i] = 100 + i;
  std::vector<std::uint32_t> target(6 * 3, 0);
  const ConstPixelView from{source.data(), 4, 4, 4};
  const PixelView to{target.data(), 6, 3, 6};

  CopyPixels(from, {1, 1, 3, 3}, to, {0, 0, 2, 2});
  EXPECT_EQ(target[0], 105u);
  EXPECT_EQ(target[1], 106u);
  EXPECT_EQ(target[6], 109u);
  EXPECT_EQ(target[7], 110u);
  EXPECT_EQ(target[2], 0u);

  // Four source rows onto two target rows: every other row.
  std::fill(target.begin(), target.end(), 0);
  CopyPixels(from, {0, 0, 1, 4}, to, {5, 0, 6, 2});
  EXPECT_EQ(target[5], 100u);
  EXPECT_EQ(target[11], 108u);
  EXPECT_EQ(target[17], 0u);

  // Rectangles reaching outside either image copy only what lies inside.
  std::fill(target.begin(), target.end(), 0);
  CopyPixels(from, {3, 3, 5, 5}, to, {5, 2, 7, 4});
  EXPECT_EQ(target[17], 115u);
  CopyPixels(from, {0, 0, 0, 4}, to, {0, 0, 0, 3});  // zero width: nothing
  CopyPixels(from, {0, 0, 2, 2}, to, {-10, -10, -8, -8});
  EXPECT_EQ(std::count(target.begin(), target.end(), 0u), 17);
}
