#include <QFileDialog>
#include <QFocusEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "application.h"
#include "window_fixture.h"

namespace {
const std::string WarningText = "Pleace config output devices in setup menu.";
}

TEST(ErrorBox, FullStopRule) {
  EXPECT_EQ(ErrorBoxText("Cannot open file /x/Classic.bmp"), "Cannot open file /x/Classic.bmp.");
  EXPECT_EQ(ErrorBoxText("Range check error"), "Range check error.");
  EXPECT_EQ(ErrorBoxText("Device index out of bounds! (5)"), "Device index out of bounds! (5)");
  EXPECT_EQ(ErrorBoxText("Stop!"), "Stop!");
  EXPECT_EQ(ErrorBoxText("Done."), "Done.");
  EXPECT_EQ(ErrorBoxText("Ends in a dash -"), "Ends in a dash -");  // '-' is below '.'
  EXPECT_EQ(ErrorBoxText("Slash/"), "Slash/.");                     // '/' is above '.'
  EXPECT_EQ(ErrorBoxText(""), "");
}

TEST_F(WindowTest, MenuBarHoldsEveryItemInOrderWithItsName) {
  form = std::make_unique<TForm1>();
  Form1 = form.get();
  EXPECT_EQ(form->windowTitle(), "Tessivar v1.5");
  EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(form->ClientSize(), QSize(214, 30));

  std::vector<std::string> menus;
  for (QAction* action : form->MainMenu1->actions()) menus.push_back(action->text().toStdString());
  EXPECT_EQ(menus, (std::vector<std::string>{"File", "Setup", "Devices", "Tools", "Help"}));
  for (const char* name : {"MainMenu1",
                           "File1",
                           "Setup1",
                           "Devices2",
                           "ools1",
                           "Help1",
                           "NewConfig1",
                           "LoadConfig1",
                           "SaveConfig1",
                           "Configs1",
                           "Exit1",
                           "Skin1",
                           "Midi1",
                           "PlayOutputDevice1",
                           "KEymapping1",
                           "Instruments1",
                           "BaseOctave1",
                           "OutputInstrument1",
                           "PlayingInstrument1",
                           "OutputChannal1",
                           "PlayedChannal1",
                           "Freealldevices1",
                           "AllNotesOff1",
                           "EditKeymapping1",
                           "GetKEyboardScancode1",
                           "Context1",
                           "Homepage1",
                           "About1"}) {
    EXPECT_NE(form->findChild<QObject*>(name), nullptr) << name;
  }
  EXPECT_EQ(Captions(form->File1),
            (std::vector<std::string>{"New Config", "Open Config", "Save Config As..", "Configs",
                                      "&Exit"}));
  EXPECT_EQ(Captions(form->Setup1),
            (std::vector<std::string>{"Skin", "Recording Output Device", "Playing Output Device",
                                      "Keymapping", "Instruments"}));
  EXPECT_EQ(Captions(form->Devices2),
            (std::vector<std::string>{"Octave [F1..F9]", "Output Instrument", "Playing Instrument",
                                      "Output Channal", "Playing Channal", "&Close All Devices",
                                      "All Notes Off [SPACE]"}));
  EXPECT_EQ(Captions(form->ools1),
            (std::vector<std::string>{"Edit &Keyboard", "Get Keyboard Scancode"}));
  EXPECT_EQ(Captions(form->Help1), (std::vector<std::string>{"Content", "&Homepage", "&About"}));
  for (QMenu* submenu :
       {form->Configs1, form->Skin1, form->Midi1, form->BaseOctave1, form->PlayedChannal1}) {
    EXPECT_TRUE(submenu->actions().isEmpty());  // filled by the first build
  }
}

TEST_F(WindowTest, FirstRunWarnsThenComesUpWithTheDefaultsAndTheSkinsSize) {
  CreateWindow();
  ASSERT_EQ(boxes->Boxes.size(), 1u);
  EXPECT_EQ(boxes->Boxes[0].Caption, "Attention!");
  EXPECT_EQ(boxes->Boxes[0].Text, WarningText);
  EXPECT_EQ(boxes->Boxes[0].Icon, QMessageBox::NoIcon);
  EXPECT_EQ(form->ClientSize(), QSize(630, 60));
  EXPECT_EQ(Captions(form->Midi1), (std::vector<std::string>{"Synth", "Port A", "Port B"}));
  EXPECT_EQ(CheckedPosition(form->Midi1), -1);
  EXPECT_EQ(CheckedPosition(form->BaseOctave1), 3);
  EXPECT_EQ(form->BaseOctave1->actions().size(), 9);
  EXPECT_EQ(form->OutputChannal1->actions().size(), 16);
  EXPECT_EQ(CheckedPosition(form->OutputChannal1), 0);
  EXPECT_EQ(Captions(form->OutputInstrument1),
            (std::vector<std::string>{"Piano", "Organ", "Flute"}));
  EXPECT_EQ(Captions(form->Skin1), (std::vector<std::string>{"Classic.bmp", "Small.bmp"}));
  EXPECT_EQ(CheckedPosition(form->Skin1), 0);
  EXPECT_EQ(CheckedPosition(form->KEymapping1), 1);  // Other.key, Tracker.key
  EXPECT_EQ(KeyMap.size(), 3u);
  // The surface shows three keys-up octaves.
  const QImage skin = MakeTestSkin(210, 120);
  EXPECT_EQ(SurfacePixel(5, 5), skin.pixel(5, 5));
  EXPECT_EQ(SurfacePixel(215, 50), skin.pixel(5, 50));
  EXPECT_EQ(SurfacePixel(629, 59), skin.pixel(209, 59));
}

TEST_F(WindowTest, KeysPlayAndLightTheirKeys) {
  CreateWindow();
  Config.RecordingDevice = 1;
  const QImage skin = MakeTestSkin(210, 120);
  const QRgb upPixel = SurfacePixel(10, 50);  // C of the first octave, white-key strip
  PressKey(Qt::Key_Z);
  EXPECT_EQ(fake->MessagesTo(1), std::vector<std::uint32_t>{ShortMessageOf(0x90, 36, 100)});
  EXPECT_EQ(SurfacePixel(10, 50), skin.pixel(10, 110));  // copied from the keys-down half
  EXPECT_EQ(SurfacePixel(10, 10), skin.pixel(10, 10));   // the upper part never changes
  ReleaseKey(Qt::Key_Z);
  EXPECT_EQ(fake->MessagesTo(1).back(), ShortMessageOf(0x80, 36, 100));
  EXPECT_EQ(SurfacePixel(10, 50), upPixel);
  // A full paint shows every key up, also while one is held.
  PressKey(Qt::Key_Q);
  EXPECT_NE(SurfacePixel(220, 50), skin.pixel(10, 50));
  form->FormPaint();
  EXPECT_EQ(SurfacePixel(220, 50), skin.pixel(10, 50));
}

TEST_F(WindowTest, AutoRepeatGivesOneNoteOnAndOneNoteOff) {
  CreateWindow();
  Config.RecordingDevice = 0;
  PressKey(Qt::Key_Z);
  for (int i = 0; i < 5; ++i) {
    ReleaseKey(Qt::Key_Z, true);
    PressKey(Qt::Key_Z, true);
  }
  ReleaseKey(Qt::Key_Z);
  EXPECT_EQ(fake->MessagesTo(0), (std::vector<std::uint32_t>{ShortMessageOf(0x90, 36, 100),
                                                             ShortMessageOf(0x80, 36, 100)}));
}

TEST_F(WindowTest, LosingTheFocusReleasesHeldNotes) {
  CreateWindow();
  Config.RecordingDevice = 0;
  PressKey(Qt::Key_Z);
  PressKey(Qt::Key_Q);
  QFocusEvent focusOut(QEvent::FocusOut, Qt::PopupFocusReason);
  QCoreApplication::sendEvent(form.get(), &focusOut);
  EXPECT_EQ(
      fake->MessagesTo(0),
      (std::vector<std::uint32_t>{ShortMessageOf(0x90, 36, 100), ShortMessageOf(0x90, 48, 100),
                                  ShortMessageOf(0x80, 36, 100), ShortMessageOf(0x80, 48, 100)}));
  EXPECT_EQ(PressedNotes[36] + PressedNotes[48], 0);
  const QImage skin = MakeTestSkin(210, 120);
  EXPECT_EQ(SurfacePixel(10, 50), skin.pixel(10, 50));
}

TEST_F(WindowTest, AFailingKeyShowsOneBoxPerPressAndWorkingDevicesGetTheirNoteOffs) {
  CreateWindow();
  boxes->Boxes.clear();
  Config.RecordingDevice = 1;
  Config.PlayingDevice = 9;  // beyond the three devices
  for (std::size_t press = 1; press <= 3; ++press) {
    // The box takes the focus, which releases the held note: the working device gets its
    // note-off, and the same failure at the other device is not reported a second time.
    Reactivate();  // as a user's next press finds it
    PressKey(Qt::Key_Z);
    ASSERT_EQ(boxes->Boxes.size(), press);
    EXPECT_EQ(boxes->Boxes.back().Text, "TMidiOutput: Device index out of bounds! (9)");
    EXPECT_EQ(boxes->Boxes.back().Caption, "Tessivar v1.5");
    EXPECT_EQ(boxes->Boxes.back().Icon, QMessageBox::Critical);
    EXPECT_EQ(fake->MessagesTo(1).back(), ShortMessageOf(0x80, 36, 100));
    EXPECT_EQ(PressedNotes[36], 0);
  }
  EXPECT_EQ(fake->MessagesTo(1).size(), 6u);

  // A port that vanished: its open fails at the note-on and again at the note-off.
  boxes->Boxes.clear();
  fake->OpenFailure[2] = "The driver is gone";
  Config.PlayingDevice = 2;
  Reactivate();
  PressKey(Qt::Key_Q);
  ASSERT_EQ(boxes->Boxes.size(), 1u);
  EXPECT_EQ(boxes->Boxes[0].Text, "The driver is gone.");
  EXPECT_EQ(fake->MessagesTo(1).back(), ShortMessageOf(0x80, 48, 100));

  // Once the box is gone, a failing focus-loss release is reported as usual, once, when
  // the event that took the keyboard is done.
  fake->OpenFailure.clear();
  Reactivate();
  PressKey(Qt::Key_Q);
  fake->SendFailure[2] = "The driver is gone";
  QFocusEvent focusOut(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
  QCoreApplication::sendEvent(form.get(), &focusOut);
  EXPECT_EQ(boxes->Boxes.size(), 1u);
  QCoreApplication::processEvents();
  ASSERT_EQ(boxes->Boxes.size(), 2u);
  EXPECT_EQ(boxes->Boxes[1].Text, "The driver is gone.");
  EXPECT_EQ(fake->MessagesTo(1).back(), ShortMessageOf(0x80, 48, 100));
}

TEST_F(WindowTest, NoDeviceKeyShowsTheWarning) {
  CreateWindow();
  boxes->Boxes.clear();
  PressKey(Qt::Key_Z);
  ASSERT_EQ(boxes->Boxes.size(), 1u);
  EXPECT_EQ(boxes->Boxes[0].Text, WarningText);
  EXPECT_TRUE(fake->CallsOf("open").empty());
}

TEST_F(WindowTest, FunctionKeysRebuildTheOctaveMenu) {
  CreateWindow();
  Config.RecordingDevice = 0;
  PressKey(Qt::Key_F6);
  EXPECT_EQ(Config.Octave, 5);
  EXPECT_EQ(CheckedPosition(form->BaseOctave1), 5);
  form->BaseOctave1->actions().at(2)->trigger();
  EXPECT_EQ(Config.Octave, 2);
  form->BaseOctave1->actions().at(2)->trigger();  // clicking the checked item keeps it
  EXPECT_EQ(CheckedPosition(form->BaseOctave1), 2);
}

TEST_F(WindowTest, F10ReachesTheKeyHandlerThenOpensTheMenuBar) {
  CreateWindow();
  Config.RecordingDevice = 0;
  KeyMap.push_back({0x79, 7});  // F10 plays like any mapped key
  PressKey(Qt::Key_F10);
  ASSERT_FALSE(fake->MessagesTo(0).empty());
  EXPECT_EQ(fake->MessagesTo(0).front(), ShortMessageOf(0x90, 43, 100));
  EXPECT_EQ(QApplication::activePopupWidget(), form->File1);
  EXPECT_EQ(form->MainMenu1->activeAction(), form->File1->menuAction());
  // A letter typed next is no command of the menu F10 opened ("&Exit" here).
  bool exited = false;
  QObject::connect(form->Exit1, &QAction::triggered, [&exited] { exited = true; });
  QTest::keyClick(form->File1, Qt::Key_E);
  EXPECT_FALSE(exited);
  EXPECT_EQ(QApplication::activePopupWidget(), form->File1);
  // Escape closes it, and the keys are the window's again at once: the menu bar keeps no
  // keyboard mode in which Space or Enter would open a menu.
  QTest::keyClick(form->File1, Qt::Key_Escape);
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  EXPECT_FALSE(form->MainMenu1->hasFocus());
  EXPECT_TRUE(form->KeysGoToWindow());
  PressKey(Qt::Key_Space);
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  // A closed menu can still be sent keys when its focus-in reaches the toolkit late, after
  // it closed: they are the window's then, and none of its letters is a command.
  const std::pair<QMenu*, QAction*> commands[] = {{form->File1, form->Exit1},
                                                  {form->Devices2, form->Freealldevices1},
                                                  {form->ools1, form->EditKeymapping1},
                                                  {form->Help1, form->About1}};
  for (const auto& [menu, action] : commands) {
    bool triggered = false;
    QObject::connect(action, &QAction::triggered, [&triggered] { triggered = true; });
    QTest::keyClicks(menu, "echka");
    EXPECT_FALSE(triggered) << action->objectName().toStdString();
  }
  // F10 among them: it plays and opens the menu bar as at the window.
  fake->ClearLog();
  QTest::keyClick(form->Help1, Qt::Key_F10);
  EXPECT_EQ(QApplication::activePopupWidget(), form->File1);
  ASSERT_FALSE(fake->MessagesTo(0).empty());
  EXPECT_EQ(fake->MessagesTo(0).front(), ShortMessageOf(0x90, 43, 100));
}

TEST_F(WindowTest, MissingSkinAtStartUpGivesOneBoxAndTheDesignedSize) {
  folder.WriteFile("setup.ini", Counted("Default.cfg"));
  std::filesystem::remove(folder / "SKINS/Classic.bmp");
  CreateWindow();
  ASSERT_EQ(boxes->Boxes.size(), 1u);
  EXPECT_EQ(boxes->Boxes[0].Text, "Cannot open file " + (folder / "SKINS/Classic.bmp"));
  EXPECT_EQ(form->ClientSize(), QSize(214, 30));
  EXPECT_TRUE(KeyMap.empty());  // the key map comes after the skin
}

TEST_F(WindowTest, AboutBoxLayoutAndPlacement) {
  CreateWindow();
  EXPECT_EQ(about->windowTitle(), "About Tessivar v1.5");
  EXPECT_EQ(about->size(), QSize(273, 89));
  EXPECT_EQ(about->Picture().size(), QSize(277, 91));
  EXPECT_EQ(about->Picture().depth(), 24);
  EXPECT_EQ(about->HomepageButton->geometry(), QRect(96, 72, 73, 17));
  EXPECT_EQ(about->CloseButton->geometry(), QRect(168, 72, 105, 17));
  EXPECT_FALSE(about->CloseButton->isDefault() || about->HomepageButton->isDefault());
  // Tab order: from "Close" the next button is "Homepage".
  QWidget* next = about->CloseButton->nextInFocusChain();
  while (next != about->CloseButton && qobject_cast<QPushButton*>(next) == nullptr) {
    next = next->nextInFocusChain();
  }
  EXPECT_EQ(next, about->HomepageButton);

  int result = -1;
  boxes->OtherModal = [&](QWidget* modal) {
    if (modal == about.get()) about->CloseButton->click();
  };
  result = about->exec();
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(about->isVisible());
  const QRect main = form->frameGeometry();
  EXPECT_EQ(about->frameGeometry().left(),
            main.left() + (main.width() - about->frameGeometry().width()) / 2);
  about->move(about->pos() + QPoint(17, 9));
  const QPoint moved = about->pos();
  about->exec();
  EXPECT_EQ(about->pos(), moved);
}

TEST_F(WindowTest, OnlyCloseAndTheCloseBoxEndTheAboutBox) {
  CreateWindow();
  bool escapeLeftItOpen = false;
  boxes->OtherModal = [&](QWidget* modal) {
    if (modal != about.get()) return;
    QTest::keyClick(about.get(), Qt::Key_Escape);
    QTest::keyClick(about->CloseButton, Qt::Key_Escape);  // also with a button focused
    escapeLeftItOpen = about->isVisible();
    about->close();  // the close box
  };
  EXPECT_EQ(about->exec(), QDialog::Rejected);
  EXPECT_TRUE(escapeLeftItOpen);
  EXPECT_FALSE(about->isVisible());
}

TEST_F(WindowTest, EveryWindowHasTheKeyboardIcon) {
  CreateWindow();
  const QIcon icon = QApplication::windowIcon();
  ASSERT_FALSE(icon.isNull());
  const QImage picture = icon.pixmap(48, 48).toImage().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(picture.size(), QSize(48, 48));
  EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0);  // a transparent corner
  const QColor white = picture.pixelColor(7, 35), black = picture.pixelColor(10, 25),
               pressed = picture.pixelColor(17, 35);
  EXPECT_GT(white.lightness(), 200);
  EXPECT_LT(black.lightness(), 40);
  EXPECT_GT(pressed.blue(), pressed.red() + 80);  // the pressed key is blue
  for (QWidget* window : {static_cast<QWidget*>(form.get()), static_cast<QWidget*>(about.get())}) {
    EXPECT_EQ(window->windowIcon().cacheKey(), icon.cacheKey())
        << window->objectName().toStdString();
  }
  // The configuration dialogs, as their commands show them.
  for (QAction* command : {form->LoadConfig1, form->SaveConfig1}) {
    std::string shown;
    boxes->OtherModal = [&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (dialog == nullptr) return;
      shown = dialog->objectName().toStdString();
      EXPECT_EQ(dialog->windowIcon().cacheKey(), icon.cacheKey()) << shown;
      dialog->reject();
      boxes->OtherModal = nullptr;
    };
    command->trigger();
    EXPECT_FALSE(shown.empty()) << command->text().toStdString();
  }
}

TEST_F(WindowTest, APressWhileAMenuIsOpenIsNotPlayed) {
  CreateWindow();
  Config.RecordingDevice = 0;
  form->File1->popup(QPoint(10, 10));
  QCoreApplication::processEvents();
  ASSERT_NE(QApplication::activePopupWidget(), nullptr);
  PressKey(Qt::Key_Z);  // queued before the menu took the keyboard
  form->File1->close();
  QCoreApplication::processEvents();
  EXPECT_TRUE(fake->MessagesTo(0).empty());
  EXPECT_EQ(PressedNotes[36], 0);
  PressKey(Qt::Key_Z);
  EXPECT_EQ(fake->MessagesTo(0).size(), 1u);
}
