// The skin loader and the drawing of the keyboard from it: the three octaves of keys up,
// then every key down and up again, as the window draws them.
#include <QImage>
#include <cstdint>

#include "app_error.h"
#include "fuzz_folder.h"
#include "keyboard_geometry.h"
#include "pixel_views.h"
#include "skin_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WriteFuzzFile("SKINS/Fuzzed.bmp", data, size);
  QImage skin;
  try {
    skin = LoadSkinFile(FuzzProgramFolder() + "SKINS/Fuzzed.bmp");
  } catch (const AppError&) {
    return 0;
  }
  if (skin.isNull()) return 0;
  Require(skin.format() == QImage::Format_RGB32, "a skin not in 32-bit pixels");
  QImage surface(3 * skin.width(), skin.height() / 2, QImage::Format_RGB32);
  if (surface.isNull()) return 0;
  const SkinMeasures measures = SkinMeasures::Of(skin.width(), skin.height());
  const PixelRect keysUp{0, 0, measures.W, measures.H2};
  for (int octave = 0; octave < 3; ++octave) {
    CopyPixels(SourceView(skin), keysUp, ViewOf(surface),
               {octave * measures.W, 0, (octave + 1) * measures.W, measures.H2});
  }
  for (int key = -1; key <= 36; ++key) {
    for (const bool down : {true, false}) {
      KeyCopy copy;
      if (KeyHighlightCopy(measures, key, down, copy))
        CopyPixels(SourceView(skin), copy.Source, ViewOf(surface), copy.Destination);
    }
  }
  return 0;
}
