#pragma once

#include <QImage>
#include <cstdint>

#include "keyboard_geometry.h"

// The pixels of a 32-bit image (a loaded skin, the window's surface) as the drawing code
// copies them.
inline ConstPixelView SourceView(const QImage& image) {
  return {reinterpret_cast<const std::uint32_t*>(image.constBits()), image.width(), image.height(),
          static_cast<int>(image.bytesPerLine() / 4)};
}

inline PixelView ViewOf(QImage& image) {
  return {reinterpret_cast<std::uint32_t*>(image.bits()), image.width(), image.height(),
          static_cast<int>(image.bytesPerLine() / 4)};
}
