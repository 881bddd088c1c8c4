#pragma once

#include <QImage>
#include <QMainWindow>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lit_notes.h"
#include "note_engine.h"
#include "picture_pointers.h"

class QAbstractNativeEventFilter;
class QAction;
class QFileDialog;
class QKeyEvent;
class QMenu;
class QMenuBar;
class TFormAbout;

// The program's one working window: the keyboard picture under the menu bar.
// Its methods are split by concern: main_window.cpp (window, menus, events),
// keyboard_display.cpp (skin and drawing), choice_menus.cpp (choice submenus and their
// handlers), commands.cpp (creation, destruction and the menu commands).
class TForm1 : public QMainWindow, public NoteDisplay {
  Q_OBJECT

 public:
  TForm1();  // builds the window, its menu bar and dialogs; FormCreate runs separately
  ~TForm1() override;

  // Creation and destruction handlers, run by the program entry.
  void FormCreate();
  void FormDestroy();

  // Keyboard display.
  void LoadSkin();
  void FormPaint() override;
  void DrawKeyDown(std::uint8_t note) override;
  void DrawKeyUp(std::uint8_t note) override;
  const QImage& Surface() const { return surface_; }  // what the window shows
  QImage SkinBitmap;
  // Lights and puts out the keys that the program's MIDI input has received notes for
  // since the last look (input_lights.cpp); run by a timer, and by tests.
  void TakeIncomingMidi();

  // Note engine hooks.
  void ShowNoDevicesWarning() override;
  void RebuildOctaveMenu() override;

  // Choice menus.
  void BuildChoiceMenus();
  // The two device lists. Unless told to wait, a MIDI system still being made leaves them
  // empty until it is ready (they are filled before they are ever shown).
  void FillDeviceMenus(bool waitForTheList);
  // The key maps of the program folder, looked up again each time the list opens: the
  // key map editor of the Tools menu adds maps while the program runs.
  void FillKeymapMenu();
  void LoadInstrumentNames();
  std::vector<std::string> InstrumentNames;
  void SkinChosen(QAction* sender);
  void RecordingDeviceChosen(QAction* sender);
  void PlayingDeviceChosen(QAction* sender);
  void KeymapChosen(QAction* sender);
  void PatchFileChosen(QAction* sender);
  void OctaveMenuChosen(QAction* sender);
  void RecordingInstrumentChosen(QAction* sender);
  void PlayingInstrumentChosen(QAction* sender);
  void RecordingChannelChosen(QAction* sender);
  void PlayingChannelChosen(QAction* sender);
  void ConfigChosen(QAction* sender);

  // Commands of the menu bar.
  void NewConfig1Click();
  void LoadConfig1Click();
  void SaveConfig1Click();
  void Exit1Click();
  void Freealldevices1Click();
  void AllNotesOff1Click();
  void EditKeymapping1Click();
  void GetKEyboardScancode1Click();
  void Context1Click();
  void Homepage1Click();
  void About1Click();

  // Size of the keyboard picture below the menu bar (the client area, which is never
  // narrower than designed).
  void SetClientSize(int width, int height);
  QSize ClientSize() const;
  // Places the window in the middle of its screen (at its first showing).
  void CenterOnScreen();
  // Draws the three keys-up octaves onto the surface (nothing before a skin is loaded).
  void RedrawSurface();
  // True while a highlight or FormPaint repaints the view from the surface as it is.
  bool RepaintingFromSurface() const { return repaintingFromSurface_; }
  // Loads the key map that Config names.
  void LoadConfiguredKeyMap();

  // Whether a key of the window goes to its own key handlers: no menu, box or menu bar
  // has taken the keyboard.
  bool KeysGoToWindow() const;
  // The mouse and the touch points on the picture.
  PicturePointers Pointers;

  // The one place where a key of the window is played: a press or release of the key with
  // this code, unless a menu or a box has the keyboard. Run from the window's key event, or
  // on X11 from the X server's (x11_keys.h).
  void PlayKey(bool press, std::uint16_t key);
  // The window has lost the keyboard (another window, a menu, a box, a grab): every held
  // note ends now, the picture's too. A failing device keeps no other from its note-offs; the
  // failure is shown once the event at hand is done.
  void KeyboardLost();

  // Components, named as their Qt object names.
  QMenuBar* MainMenu1 = nullptr;
  QMenu* File1 = nullptr;
  QMenu* Setup1 = nullptr;
  QMenu* Devices2 = nullptr;
  QMenu* ools1 = nullptr;
  QMenu* Help1 = nullptr;
  QAction* NewConfig1 = nullptr;
  QAction* LoadConfig1 = nullptr;
  QAction* SaveConfig1 = nullptr;
  QMenu* Configs1 = nullptr;
  QAction* Exit1 = nullptr;
  QMenu* Skin1 = nullptr;
  QMenu* Midi1 = nullptr;
  QMenu* PlayOutputDevice1 = nullptr;
  QMenu* KEymapping1 = nullptr;
  QMenu* Instruments1 = nullptr;
  QMenu* BaseOctave1 = nullptr;
  QMenu* OutputInstrument1 = nullptr;
  QMenu* PlayingInstrument1 = nullptr;
  QMenu* OutputChannal1 = nullptr;
  QMenu* PlayedChannal1 = nullptr;
  QAction* Freealldevices1 = nullptr;
  QAction* AllNotesOff1 = nullptr;
  QAction* EditKeymapping1 = nullptr;
  QAction* GetKEyboardScancode1 = nullptr;
  QAction* Context1 = nullptr;
  QAction* Homepage1 = nullptr;
  QAction* About1 = nullptr;
  // The configuration dialogs, made when their command first runs (a file dialog is slow
  // to make, and the window need not wait for it), then kept for the run.
  QFileDialog* OpenDialog1 = nullptr;
  QFileDialog* SaveDialog1 = nullptr;

 protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  // A click handler that runs method under the default error handler.
  std::function<void(QAction*)> Guarded(void (TForm1::*method)(QAction*));
  void AddCommand(QMenu* menu, QAction*& action, const char* caption, const char* name,
                  void (TForm1::*command)());
  QMenu* AddSubmenu(QMenu* menu, const char* caption, const char* name);
  QFileDialog* ConfigDialog(bool saving);
  // How a key is drawn: up, down as the player plays it, or down and tinted as the MIDI
  // input has it.
  enum class KeyLook { Up, Played, Lit };
  void DrawKey(std::uint8_t note, KeyLook look);
  // Draws the key of note onto the surface only; the area changed (empty for none).
  QRect DrawOnSurface(std::uint8_t note, KeyLook look);
  // Starts the timer that takes what the MIDI input received.
  void WatchIncomingMidi();
  void RepaintFromSurface(const QRect& area);
  // Runs steps that may load another configuration; the key map it names is loaded
  // afterwards, also when a step fails, so the table in use always matches Config.
  void ReloadingKeyMap(const std::function<void()>& steps);

  QImage surface_;
  QWidget* clientArea_ = nullptr;    // below the menu bar
  QWidget* keyboardView_ = nullptr;  // paints surface_, at the top left of clientArea_
  bool repaintingFromSurface_ = false;
  LitNotes incoming_;                 // what the MIDI input holds on
  std::bitset<128> shownPlayed_;      // notes drawn down by the player since the last paint
  bool deviceMenusPending_ = false;   // the device lists wait for the MIDI system
  bool fileMenuOpenedByF10_ = false;  // its letters are no commands then
  std::unique_ptr<QAbstractNativeEventFilter> x11Keys_;  // null but on X11
  std::string lastOpenedFile_;
  std::string lastSavedFile_;
};

// The one main window and the About box of the run.
extern TForm1* Form1;
extern TFormAbout* FormAbout;

// Opens a file or program by name through the platform's shell, with a working folder.
// Failures are silent.
void ShellOpen(const std::string& fileName, const std::string& workingFolder);
