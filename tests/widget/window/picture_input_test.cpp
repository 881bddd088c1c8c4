// The keyboard picture played with the mouse and by touch, on the real window.
#include <QPointingDevice>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "window_fixture.h"

using Messages = std::vector<std::uint32_t>;

namespace {

constexpr std::uint8_t On = 0x90, Off = 0x80;

// The centre of a key of the picture as a player sees it: a white key's lower part, below
// the black keys; a black key's upper part. Columns of ww = width / 7, a black key off =
// ww / 2 + 1 to the right of the white key on its left.
QPoint KeyCentre(int skinWidth, int skinHeight, int relativeKey) {
  static constexpr int whiteColumn[12] = {0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6};
  static constexpr bool black[12] = {false, true,  false, true,  false, false,
                                     true,  false, true,  false, true,  false};
  const int ww = skinWidth / 7, half = skinHeight / 2;
  const int left = (relativeKey / 12) * skinWidth + whiteColumn[relativeKey % 12] * ww;
  if (black[relativeKey % 12]) return {left + ww / 2 + 1 + ww / 2, half / 4};
  return {left + ww / 2, half - 3};
}

}  // namespace

class PictureTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    CreateWindow();
    Config.RecordingDevice = 0;
    Config.PlayingDevice = 2;
    Config.PlayingChannel = 2;
    fake->ClearLog();
  }
  QWidget* View() const { return form->findChild<QWidget*>("KeyboardView"); }
  void Press(QPoint at) { QTest::mousePress(View(), Qt::LeftButton, Qt::NoModifier, at); }
  void Drag(QPoint to) {
    // QTest's moves carry no button; the window system's do.
    QMouseEvent move(QEvent::MouseMove, to, View()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(View(), &move);
  }
  void Release(QPoint at) { QTest::mouseRelease(View(), Qt::LeftButton, Qt::NoModifier, at); }
  Messages Recorded() const { return fake->MessagesTo(0); }
};

// Every key of a shipped skin and of a foreign one (odd sizes, columns left over) plays its
// own note at the base octave, on both devices, and lights where it was pressed.
TEST_F(PictureTest, EveryKeyPlaysItsNoteAndLightsWhereItWasPressed) {
  const std::string shipped = std::string(TESSIVAR_SOURCE_DIR) + "/data/SKINS/Classic.bmp";
  std::filesystem::copy_file(shipped, folder / "SKINS/Shipped.bmp");
  SaveBmp(MakeTestSkin(213, 131), folder / "SKINS/Foreign.bmp");
  for (const std::string skin : {"Shipped.bmp", "Foreign.bmp"}) {
    SCOPED_TRACE(skin);
    Config.SkinFile = skin;
    form->LoadSkin();
    form->FormPaint();
    const int width = form->SkinBitmap.width(), height = form->SkinBitmap.height();
    for (int key = 0; key < 36; ++key) {
      SCOPED_TRACE(key);
      const QPoint at = KeyCentre(width, height, key);
      const QRgb before = SurfacePixel(at.x(), at.y());
      fake->ClearLog();
      Press(at);
      const auto note = static_cast<std::uint8_t>(36 + key);
      EXPECT_EQ(Recorded(), (Messages{ShortMessageOf(On, note, 100)}));
      EXPECT_EQ(fake->MessagesTo(2), (Messages{ShortMessageOf(On + 1, note, 100)}));
      if (key < 32) {
        EXPECT_NE(SurfacePixel(at.x(), at.y()), before) << "not lit";
      }
      Release(at);
      EXPECT_EQ(Recorded().back(), ShortMessageOf(Off, note, 100));
      EXPECT_EQ(SurfacePixel(at.x(), at.y()), before);
    }
  }
}

// The test skin of 210 x 120: white columns of 30, a black key 16 right of its white key's
// edge, 30 high. Near the top a black key wins over the white keys it lies on; below it,
// the white key.
TEST_F(PictureTest, BlackKeysWinWhereTheyOverlapAndADragGlides) {
  Press({29, 5});   // the right edge of C, within C sharp (16..45)
  Drag({31, 5});    // still C sharp: nothing new
  Drag({31, 50});   // D, below the black keys
  Drag({700, 50});  // off the picture: the note ends
  Drag({5, 50});    // back in, at C
  Release({5, 50});
  EXPECT_EQ(Recorded(), (Messages{ShortMessageOf(On, 37, 100), ShortMessageOf(Off, 37, 100),
                                  ShortMessageOf(On, 38, 100), ShortMessageOf(Off, 38, 100),
                                  ShortMessageOf(On, 36, 100), ShortMessageOf(Off, 36, 100)}));
}

// A note held by the mouse and by a key is one note, ended by the last of them; every note
// of the picture ends with all notes off or the loss of the keyboard, and the button held
// since plays nothing until it is pressed again.
TEST_F(PictureTest, MouseAndKeysShareANoteAndEverythingEndsTheMouse) {
  Press({5, 50});  // C, 36: the note of Z at octave 3
  PressKey(Qt::Key_Z);
  ReleaseKey(Qt::Key_Z);
  EXPECT_EQ(Recorded(), (Messages{ShortMessageOf(On, 36, 100)}));
  PressKey(Qt::Key_Z);
  Release({5, 50});
  EXPECT_EQ(Recorded(), (Messages{ShortMessageOf(On, 36, 100)}));
  ReleaseKey(Qt::Key_Z);
  EXPECT_EQ(Recorded().back(), ShortMessageOf(Off, 36, 100));

  for (const auto& takeAway : std::vector<std::function<void()>>{
           [this] { PressKey(Qt::Key_Space); }, [this] { PressKey(Qt::Key_F5); },
           [this] {
             QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
             QCoreApplication::sendEvent(form.get(), &out);
           }}) {
    Reactivate();
    fake->ClearLog();
    Press({5, 50});
    ASSERT_FALSE(Recorded().empty());
    takeAway();
    EXPECT_TRUE(
        std::all_of(PointerHolds.begin(), PointerHolds.end(), [](auto h) { return h == 0; }));
    fake->ClearLog();
    Drag({65, 50});  // E: the button held since plays nothing
    Release({65, 50});
    EXPECT_TRUE(Recorded().empty());
    Press({65, 50});
    EXPECT_EQ(Recorded().size(), 1u) << "a new press plays again";
    Release({65, 50});
  }
}

TEST_F(PictureTest, EveryTouchPointPlaysItsOwnNote) {
  QPointingDevice* screen = QTest::createTouchDevice();
  QTest::touchEvent(View(), screen).press(0, {5, 50}).press(1, {65, 50}).press(2, {60, 5});
  EXPECT_EQ(Recorded(), (Messages{ShortMessageOf(On, 36, 100), ShortMessageOf(On, 40, 100),
                                  ShortMessageOf(On, 39, 100)}));
  // One finger slides to F, one leaves the picture, one lifts.
  QTest::touchEvent(View(), screen).move(0, {95, 50}).move(1, {65, 500}).stationary(2);
  QTest::touchEvent(View(), screen).stationary(0).stationary(1).release(2, {60, 5});
  fake->ClearLog();
  QTest::touchEvent(View(), screen).release(0, {95, 50}).release(1, {65, 500});
  EXPECT_EQ(Recorded(), (Messages{ShortMessageOf(Off, 41, 100)}));
  EXPECT_TRUE(std::all_of(PointerHolds.begin(), PointerHolds.end(), [](auto h) { return h == 0; }));
}

TEST_F(PictureTest, WithoutADeviceAPressWarnsAsAKeyDoes) {
  Config.RecordingDevice = Config.PlayingDevice = -1;
  boxes->Boxes.clear();
  Press({5, 50});
  Release({5, 50});
  ASSERT_EQ(boxes->Boxes.size(), 1u);
  EXPECT_EQ(boxes->Boxes[0].Text, "Pleace config output devices in setup menu.");
  EXPECT_TRUE(fake->CallsOf("short").empty());
}
