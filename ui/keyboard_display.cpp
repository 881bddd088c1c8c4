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
  // Every paint shows the player's keys up; what the MIDI input holds stays lit, at the
  // place the current octave gives it.
  shownPlayed_.reset();
  for (unsigned note = 0; note < 128; ++note) {
    if (incoming_.Lit(note)) DrawOnSurface(static_cast<std::uint8_t>(note), KeyLook::Lit);
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

void TForm1::DrawKeyDown(std::uint8_t note) {
  if (note < 128) shownPlayed_.set(note);
  DrawKey(note, KeyLook::Played);
}

void TForm1::DrawKeyUp(std::uint8_t note) {
  if (note < 128) shownPlayed_.reset(note);
  // A key the MIDI input still holds goes back to showing that.
  DrawKey(note, note < 128 && incoming_.Lit(note) ? KeyLook::Lit : KeyLook::Up);
}

void TForm1::DrawKey(std::uint8_t note, KeyLook look) {
  RepaintFromSurface(DrawOnSurface(note, look));
}

QRect TForm1::DrawOnSurface(std::uint8_t note, KeyLook look) {
  // Tints the keys-down picture toward blue: any skin's own key, told apart at a glance.
  constexpr std::uint32_t kIncomingTint = 0x3399FF;
  if (SkinBitmap.isNull() || surface_.isNull()) return {};
  const SkinMeasures skin = SkinMeasures::Of(SkinBitmap.width(), SkinBitmap.height());
  const std::int32_t relative = note - 12 * static_cast<std::int32_t>(Config.Octave);
  KeyCopy copy;
  if (!KeyHighlightCopy(skin, relative, look != KeyLook::Up, copy)) return {};
  CopyPixels(SourceView(SkinBitmap), copy.Source, ViewOf(surface_), copy.Destination);
  if (look == KeyLook::Lit) TintPixels(ViewOf(surface_), copy.Destination, kIncomingTint);
  return QRect(copy.Destination.Left, copy.Destination.Top, copy.Destination.Width(),
               copy.Destination.Height());
}
