#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <string>

// Reads a skin bitmap (a Windows BMP file). The header is checked here so that a bad
// file gives the program's own messages (AppError):
//   "Cannot open file <path>"      the file cannot be opened or is no regular file;
//   "Bitmap image is not valid"    no "BM" signature, colour planes other than 1, a
//                                  picture of more than 16 million pixels, or a
//                                  picture the decoder rejects;
//   "Stream read error"            the file ends before the picture data it declares
//                                  (for uncompressed rows: what its width, height and
//                                  depth need, whatever its size field says);
//   "File too large: ..."          a file far larger than any skin (load_limits.h).
// A file of zero bytes is no error: it gives an empty (null, 0 x 0) image. The result
// is in QImage::Format_RGB32.
QImage LoadSkinFile(const std::string& path);

// The same for a skin file's content already in memory.
QImage DecodeSkin(const std::uint8_t* data, std::size_t size);
