#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "about_box.h"
#include "fake_midi_system.h"
#include "field_stream.h"
#include "key_map.h"
#include "keyboard_config.h"
#include "main_window.h"
#include "midi_devices.h"
#include "temp_program_folder.h"

// Answers every modal box the program opens while a test runs: records its caption
// and text (and icon) and presses its default way out.
class BoxWatcher {
 public:
  struct Box {
    std::string Caption, Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
  };
  BoxWatcher();
  std::vector<Box> Boxes;
  // What to do with a modal widget that is not a message box (a file dialog).
  std::function<void(QWidget*)> OtherModal;

 private:
  void Poll();
  QTimer timer_;
};

// A skin whose pixels tell the halves apart: keys up light, keys down dark, so that a
// highlighted key shows in the window's surface.
QImage MakeTestSkin(int width, int height);
void SaveBmp(const QImage& image, const std::string& path);

std::string Counted(const std::string& s);
std::string KeyMapBytes(const std::vector<std::pair<std::uint8_t, std::int16_t>>& entries);

// A program folder with a skin, a key map (Z -> 0, Q -> 12), an instrument list and a
// fake machine with three MIDI devices; the main window built on it.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Builds the window and runs its creation handler.
  void CreateWindow();
  void DestroyWindow();
  // Gives the main window the focus back (after a box, as the window system does).
  void Reactivate();
  QAction* Item(QMenu* menu, int position) const;
  std::vector<std::string> Captions(QMenu* menu) const;
  int CheckedPosition(QMenu* menu) const;  // -1 when none
  void PressKey(int qtKey, bool autoRepeat = false);
  void ReleaseKey(int qtKey, bool autoRepeat = false);
  QRgb SurfacePixel(int x, int y) const { return form->Surface().pixel(x, y); }

  TempProgramFolder folder;
  FakeMidiSystem* fake = nullptr;
  std::unique_ptr<TForm1> form;
  std::unique_ptr<TFormAbout> about;
  std::unique_ptr<BoxWatcher> boxes;
};
