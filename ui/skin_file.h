#pragma once

#include <QImage>
#include <string>

// Reads a skin bitmap (a Windows BMP file). The header is checked here so that a bad
// file gives the program's own messages (AppError):
//   "Cannot open file <path>"      the file cannot be opened;
//   "Bitmap image is not valid"    no "BM" signature, colour planes other than 1, or a
//                                  picture the decoder rejects;
//   "Stream read error"            the file ends before the picture data it declares.
// A file of zero bytes is no error: it gives an empty (null, 0 x 0) image. The result
// is in QImage::Format_RGB32.
QImage LoadSkinFile(const std::string& path);
