#include "keyboard_geometry.h"

#include <algorithm>

SkinMeasures SkinMeasures::Of(int width, int height) {
  SkinMeasures m;
  m.W = width;
  m.H = height;
  m.H2 = height / 2;
  m.ww = width / 7;
  m.off = m.ww / 2 + 1;
  m.hb = height / 4;
  m.t = m.H2 - m.H2 / 3;
  return m;
}

std::uint8_t WhiteKeyIndex(std::int32_t semitone) {
  static constexpr std::uint8_t Columns[12] = {0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6};
  const std::int32_t r = semitone % 12;  // the sign of the semitone
  return r < 0 ? 0 : Columns[r];
}

bool IsBlackKey(std::int32_t relativeKey) {
  if (relativeKey < 0) return false;
  switch (relativeKey % 12) {
    case 1:
    case 3:
    case 6:
    case 8:
    case 10:
      return true;
    default:
      return false;
  }
}

PixelRect KeyArea(const SkinMeasures& s, std::int32_t c) {
  if (c < 0 || c >= PictureKeys) return {};
  const int k = WhiteKeyIndex(c);
  const int octX = s.W * (c / 12);
  if (!IsBlackKey(c)) return {octX + k * s.ww, 0, octX + (k + 1) * s.ww, s.H2};
  // H div 4 and (H div 2) div 2 are the same height.
  return {octX + k * s.ww + s.off, 0, octX + (k + 1) * s.ww + s.off, s.H2 / 2};
}

std::int32_t KeyAt(const SkinMeasures& s, int x, int y) {
  const auto inside = [x, y](const PixelRect& r) {
    return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
  };
  for (const bool black : {true, false}) {
    for (std::int32_t c = 0; c < PictureKeys; ++c) {
      if (IsBlackKey(c) == black && inside(KeyArea(s, c))) return c;
    }
  }
  return -1;
}

bool KeyHighlightCopy(const SkinMeasures& s, std::int32_t c, bool down, KeyCopy& copy) {
  if (c < 0 || c >= HighlightedKeys) return false;
  const int k = WhiteKeyIndex(c);
  const PixelRect area = KeyArea(s, c);
  if (!IsBlackKey(c)) {
    copy.Source = down ? PixelRect{k * s.ww, s.H2 + s.t, (k + 1) * s.ww, s.H}
                       : PixelRect{k * s.ww, s.t, (k + 1) * s.ww, s.H2};
    copy.Destination = {area.Left, s.t, area.Right, s.H2};  // the lower strip only
  } else {
    copy.Source = down ? PixelRect{k * s.ww + s.off, s.H2, (k + 1) * s.ww + s.off, s.H2 + s.H2 / 2}
                       : PixelRect{k * s.ww + s.off, 0, (k + 1) * s.ww + s.off, s.H / 4};
    copy.Destination = area;
  }
  return true;
}

void CopyPixels(const ConstPixelView& from, const PixelRect& source, const PixelView& to,
                const PixelRect& destination) {
  const int sw = source.Width(), sh = source.Height();
  const int dw = destination.Width(), dh = destination.Height();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || from.Bits == nullptr || to.Bits == nullptr)
    return;
  const int top = std::max(destination.Top, 0), bottom = std::min(destination.Bottom, to.Height);
  const int left = std::max(destination.Left, 0), right = std::min(destination.Right, to.Width);
  for (int y = top; y < bottom; ++y) {
    const int sy =
        source.Top + static_cast<int>(static_cast<long long>(y - destination.Top) * sh / dh);
    if (sy < 0 || sy >= from.Height) continue;
    const std::uint32_t* sourceRow = from.Bits + static_cast<long long>(sy) * from.Stride;
    std::uint32_t* destinationRow = to.Bits + static_cast<long long>(y) * to.Stride;
    for (int x = left; x < right; ++x) {
      const int sx =
          source.Left + static_cast<int>(static_cast<long long>(x - destination.Left) * sw / dw);
      if (sx < 0 || sx >= from.Width) continue;
      destinationRow[x] = sourceRow[sx];
    }
  }
}

void TintPixels(const PixelView& image, const PixelRect& area, std::uint32_t colour) {
  if (image.Bits == nullptr) return;
  const int top = std::max(area.Top, 0), bottom = std::min(area.Bottom, image.Height);
  const int left = std::max(area.Left, 0), right = std::min(area.Right, image.Width);
  // Each 8-bit channel halved on its own: the low bit of each is dropped before adding.
  const std::uint32_t half = (colour >> 1) & 0x7F7F7Fu;
  for (int y = top; y < bottom; ++y) {
    std::uint32_t* row = image.Bits + static_cast<long long>(y) * image.Stride;
    for (int x = left; x < right; ++x) {
      row[x] = (row[x] & 0xFF000000u) | (((row[x] >> 1) & 0x7F7F7Fu) + half);
    }
  }
}
