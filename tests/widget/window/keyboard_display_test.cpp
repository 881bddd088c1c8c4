#include <QMenuBar>

#include "window_fixture.h"

namespace {

// A skin of a single colour per half, to tell a highlighted pixel from a released one.
void WriteTwoColourSkin(const std::string& path, int width, int height) {
  QImage skin(width, height, QImage::Format_RGB32);
  skin.fill(qRgb(250, 250, 250));
  for (int y = height / 2; y < height; ++y) {
    for (int x = 0; x < width; ++x) skin.setPixel(x, y, qRgb(10, 20, 200));
  }
  SaveBmp(skin, path);
}

const QRgb Up = qRgb(250, 250, 250);
const QRgb Down = qRgb(10, 20, 200);

}  // namespace

class KeyboardDisplay : public WindowTest {
 protected:
  void UseSkin(const std::string& name, int width, int height) {
    WriteTwoColourSkin(folder / ("SKINS/" + name), width, height);
    Config.SkinFile = name;
    form->LoadSkin();
    form->FormPaint();
  }
  // Counts the highlighted pixels in a rectangle of the surface.
  int DownPixels(const QRect& area) const {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) count += SurfacePixel(x, y) == Down;
    }
    return count;
  }
  int AllDownPixels() const { return DownPixels(QRect(QPoint(0, 0), form->Surface().size())); }
};

TEST_F(KeyboardDisplay, HighlightsCopyExactlyTheKeysRectangle) {
  CreateWindow();
  UseSkin("Plain.bmp", 210, 120);
  EXPECT_EQ(form->ClientSize(), QSize(630, 60));
  form->DrawKeyDown(36 + 13);  // C sharp of the middle octave: window (226, 0)-(256, 30)
  EXPECT_EQ(DownPixels(QRect(226, 0, 30, 30)), 30 * 30);
  EXPECT_EQ(AllDownPixels(), 30 * 30);
  form->DrawKeyUp(36 + 13);
  EXPECT_EQ(AllDownPixels(), 0);
  form->DrawKeyDown(36 + 4);  // E of the first octave: window (60, 40)-(90, 60)
  EXPECT_EQ(DownPixels(QRect(60, 40, 30, 20)), 30 * 20);
  EXPECT_EQ(AllDownPixels(), 30 * 20);
}

TEST_F(KeyboardDisplay, OnlyRelativeKeysZeroTo31AreDrawn) {
  CreateWindow();
  UseSkin("Plain.bmp", 210, 120);
  form->DrawKeyDown(36 + 31);  // the G of the third octave
  EXPECT_EQ(DownPixels(QRect(420 + 120, 40, 30, 20)), 30 * 20);
  form->FormPaint();
  for (int note : {36 + 32, 36 + 33, 36 + 34, 36 + 35, 35, 0})
    form->DrawKeyDown(static_cast<std::uint8_t>(note));
  EXPECT_EQ(AllDownPixels(), 0);
}

TEST_F(KeyboardDisplay, OddHeightScalesTheWhiteKeyAndOddWidthLeavesColumnsAlone) {
  CreateWindow();
  UseSkin("Odd.bmp", 211, 121);  // ww 30, one spare column; bottom half one row taller
  EXPECT_EQ(form->ClientSize(), QSize(633, 60));
  for (int c = 0; c < 32; ++c) form->DrawKeyDown(static_cast<std::uint8_t>(36 + c));
  EXPECT_EQ(DownPixels(QRect(0, 40, 30, 20)), 30 * 20);  // the scaled white-key strip, whole
  for (int octave = 0; octave < 2; ++octave) {
    EXPECT_EQ(DownPixels(QRect(octave * 211 + 210, 0, 1, 60)), 0) << octave;  // never highlighted
  }
}

TEST_F(KeyboardDisplay, TinyAndEmptySkinsDrawNothingAndDoNotFail) {
  CreateWindow();
  UseSkin("Narrow.bmp", 6, 40);  // ww 0
  for (int c = 0; c < 32; ++c) form->DrawKeyDown(static_cast<std::uint8_t>(36 + c));
  EXPECT_EQ(AllDownPixels(), 0);
  UseSkin("Low.bmp", 70, 3);  // H div 4 = 0: no black-key strip
  form->DrawKeyDown(36 + 1);
  EXPECT_EQ(AllDownPixels(), 0);
  folder.WriteFile("SKINS/Empty.bmp", "");
  Config.SkinFile = "Empty.bmp";
  form->LoadSkin();
  form->FormPaint();
  form->DrawKeyDown(36);
  EXPECT_EQ(form->ClientSize(), QSize(0, 0));
  // The window keeps the designed width, so it is shown with a menu bar that can be used.
  QCoreApplication::processEvents();
  EXPECT_EQ(form->centralWidget()->size(), QSize(214, 0));
  EXPECT_GE(form->MainMenu1->width(), 214);
  EXPECT_GT(form->MainMenu1->height(), 0);
  EXPECT_EQ(form->width(), form->MainMenu1->width());
}

TEST_F(KeyboardDisplay, APaintBeforeAnySkinDrawsNothing) {
  form = std::make_unique<TForm1>();
  Form1 = form.get();
  const QImage before = form->Surface();
  form->FormPaint();
  form->DrawKeyDown(36);
  EXPECT_EQ(form->Surface(), before);
}
