// Program entry: the application, the main window and the About box, the message loop,
// and the teardown in reverse order with the device set freed last.
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "about_box.h"
#include "application.h"
#include "exit_signals.h"
#include "files.h"
#include "machine_midi.h"
#include "main_window.h"
#include "midi_devices.h"
#include "note_engine.h"

int main(int argc, char** argv) {
#ifndef _WIN32
  // No JACK server is ever started for this program (its synthesizer's audio output uses
  // one that runs). Set before any thread starts: the environment is not for threads to
  // change while others read it.
  setenv("JACK_NO_START_SERVER", "1", 0);
#endif
  // Reaching the MIDI server and listing its ports needs no window: it goes on on a thread
  // of its own once the window is shown (made at the same time, the two would share the
  // processor and the window would come later). The device lists are filled when the
  // ports are known; a note or a list wanted before that waits for them.
  InstallMidiBackEnds(std::function<MidiBackEnds()>(&CreateMachineMidiBackEnds));
  TApplication application(argc, argv);
  // Ended by a signal, the program ends as its close box ends it: with the exit save, and
  // nothing left sounding. Every menu and box closes first.
  EndOnSignals([] { QApplication::closeAllWindows(); });
  SetProgramFolder(QCoreApplication::applicationDirPath().toLocal8Bit().toStdString());

  auto mainWindow = std::make_unique<TForm1>();
  Form1 = mainWindow.get();
  RunGuarded([] { Form1->FormCreate(); });
  auto aboutBox = std::make_unique<TFormAbout>();
  FormAbout = aboutBox.get();

  Form1->CenterOnScreen();
  Form1->show();
  Form1->activateWindow();
  StartMakingMidiBackEnds();
  // A signal during the start (the first run's warning) has closed the window already.
  const int result = EndSignalled() ? 0 : application.exec();

  FormAbout = nullptr;
  aboutBox.reset();
  Form1->hide();
  RunGuarded([] { Form1->FormDestroy(); });
  Form1 = nullptr;
  mainWindow.reset();

  // Whatever is still open is closed so that nothing is left sounding: the device table
  // sends the note-offs of the notes still on when it closes a device.
  RunGuarded([] { CloseDevicesAtExit(); });
  FreeMidiOutput();
  InstallMidiBackEnds(MidiBackEnds{});
  return result;
}
