// The keyboard picture: the skin bitmap, the surface the window shows, and the key
// highlights the note engine asks for.
#include <QPaintEvent>
#include <QPainter>

#include "files.h"
#include "keyboard_config.h"
#include "keyboard_geometry.h"
#include "keyboard_view.h"
#include "main_window.h"
#include "pixel_views.h"
#include "skin_file.h"

KeyboardView::KeyboardView(TForm1* form, QWidget* parent) : QWidget(parent), form_(form) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_AcceptTouchEvents);
}

void KeyboardView::paintEvent(QPaintEvent* event) {
  if (!form_->RepaintingFromSurface()) form_->RedrawSurface();
  QPainter painter(this);
  painter.drawImage(event->rect(), form_->Surface(), event->rect());
}

void TForm1::LoadSkin() {
  const std::string path = DataFilePath(ProgramFolder() + SubFolder("SKINS"), Config.SkinFile);
  SkinBitmap = LoadSkinFile(path);  // 32-bit pixels, as the copies read them
  SetClientSize(3 * SkinBitmap.width(), SkinBitmap.height() / 2);
}

void TForm1::RedrawSurface() {
  if (SkinBitmap.isNull() || surface_.isNull()) return;
  const SkinMeasures skin = SkinMeasures::Of(SkinBitmap.width(), SkinBitmap.height());
  const PixelRect keysUp{0, 0, skin.W, skin.H2};
  for (int octave = 0; octave < 3; ++octave) {
    CopyPixels(SourceView(SkinBitmap), keysUp, ViewOf(surface_),
               {octave * skin.W, 0, (octave + 1) * skin.W, skin.H2});
  }
}

void TForm1::FormPaint() {
  RedrawSurface();
  RepaintFromSurface(keyboardView_->rect());
}

void TForm1::RepaintFromSurface(const QRect& area) {
  if (area.isEmpty()) return;
  repaintingFromSurface_ = true;
  keyboardView_->repaint(area);  // at once, inside the event that changed the picture
  repaintingFromSurface_ = false;
}

void TForm1::DrawKeyDown(std::uint8_t note) { DrawKey(note, true); }

void TForm1::DrawKeyUp(std::uint8_t note) { DrawKey(note, false); }

void TForm1::DrawKey(std::uint8_t note, bool down) {
  if (SkinBitmap.isNull() || surface_.isNull()) return;
  const SkinMeasures skin = SkinMeasures::Of(SkinBitmap.width(), SkinBitmap.height());
  const std::int32_t relative = note - 12 * static_cast<std::int32_t>(Config.Octave);
  KeyCopy copy;
  if (!KeyHighlightCopy(skin, relative, down, copy)) return;
  CopyPixels(SourceView(SkinBitmap), copy.Source, ViewOf(surface_), copy.Destination);
  RepaintFromSurface(QRect(copy.Destination.Left, copy.Destination.Top, copy.Destination.Width(),
                           copy.Destination.Height()));
}
