#pragma once

#include <cstdint>

// The measures of a skin and the rectangles the keyboard picture copies, kept free of
// Qt so that the drawing rules can be checked without a window system.

// Left, top, right, bottom; right and bottom exclusive.
struct PixelRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Every measure follows from the bitmap's size; integer divisions truncate.
struct SkinMeasures {
  int W = 0;    // width of one octave
  int H = 0;    // bitmap height
  int H2 = 0;   // one half: keys up on top, keys down below; the window's height
  int ww = 0;   // white-key column
  int off = 0;  // shift of a black key right of the white key on its left
  int hb = 0;   // height of the black-key strip
  int t = 0;    // top of the white-key strip within a half
  static SkinMeasures Of(int width, int height);
};

// Relative keys 0..31 of the three-octave picture are highlighted; 32..35 never are.
inline constexpr int HighlightedKeys = 32;
inline constexpr int PictureKeys = 36;

// The white-key column a semitone is drawn in (a black key: the white key on its left).
std::uint8_t WhiteKeyIndex(std::int32_t semitone);
bool IsBlackKey(std::int32_t relativeKey);

struct KeyCopy {
  PixelRect Source;       // on the skin bitmap
  PixelRect Destination;  // on the window
};
// The copy that draws relativeKey down or up; false when that key is never drawn.
bool KeyHighlightCopy(const SkinMeasures& skin, std::int32_t relativeKey, bool down, KeyCopy& copy);

// Where relative key 0..35 lies on the window: a white key is its whole column; a black key
// is the rectangle its highlight is drawn in (over the two white keys beside it), which it
// takes from them. Empty for any other key.
PixelRect KeyArea(const SkinMeasures& skin, std::int32_t relativeKey);
// The relative key at a point of the window, black keys first; -1 for none.
std::int32_t KeyAt(const SkinMeasures& skin, int x, int y);

// 32-bit pixels; stride in pixels.
struct PixelView {
  std::uint32_t* Bits = nullptr;
  int Width = 0, Height = 0, Stride = 0;
};
struct ConstPixelView {
  const std::uint32_t* Bits = nullptr;
  int Width = 0, Height = 0, Stride = 0;
};

// Copies source onto destination, scaled (nearest pixel) when the sizes differ; parts
// outside either image are left out. Allocates nothing.
void CopyPixels(const ConstPixelView& from, const PixelRect& source, const PixelView& to,
                const PixelRect& destination);

// Mixes every pixel of area half and half with colour (0xRRGGBB): a key drawn so from any
// skin's own picture stays that skin's key, yet shows apart from one drawn plainly.
void TintPixels(const PixelView& image, const PixelRect& area, std::uint32_t colour);
