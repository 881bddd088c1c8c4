// The choice submenus of the menu bar and their click handlers.
#include <QAction>
#include <QMenu>

#include "application.h"
#include "config_file.h"
#include "files.h"
#include "instrument_list.h"
#include "key_map.h"
#include "keyboard_config.h"
#include "main_window.h"
#include "midi_devices.h"
#include "radio_menus.h"

namespace {

std::string InFolder(const char* folder, const std::string& name) {
  return DataFilePath(ProgramFolder() + SubFolder(folder), name);
}

std::string MaskIn(const char* folder, const char* pattern) {
  return ProgramFolder() + SubFolder(folder) + pattern;
}

// Value lists accept "none": an unchecked item stands for -1.
std::int32_t ValueOf(QAction* sender) { return sender->isChecked() ? ItemPosition(sender) : -1; }

// The other lists keep their clicked item checked and repeat the action.
void CheckAgain(QAction* sender) {
  if (!sender->isChecked()) sender->setChecked(true);
}

// The file name a file-list item stands for (the record's fields cut it to 255).
std::string FileNameOf(QAction* sender) { return StripAmpersands(ItemCaption(sender)); }

}  // namespace

void TForm1::BuildChoiceMenus() {
  FillFileMenu(Skin1, MaskIn("SKINS", "*.bmp"), 1, Config.SkinFile, Guarded(&TForm1::SkinChosen));
  FillDeviceMenus(false);
  FillKeymapMenu();
  FillNumberMenu(BaseOctave1, 0, 8, 6, Config.Octave, Guarded(&TForm1::OctaveMenuChosen));
  FillNumberMenu(OutputChannal1, 1, 16, 7, Config.RecordingChannel,
                 Guarded(&TForm1::RecordingChannelChosen));
  FillNumberMenu(PlayedChannal1, 1, 16, 8, Config.PlayingChannel,
                 Guarded(&TForm1::PlayingChannelChosen));
  FillFileMenu(Configs1, MaskIn("CONFIGS", "*.cfg"), 9, Config.ConfigName,
               Guarded(&TForm1::ConfigChosen));
  FillFileMenu(Instruments1, MaskIn("PATCHES", "*.kit"), 10, Config.PatchFile,
               Guarded(&TForm1::PatchFileChosen));
  LoadInstrumentNames();
  FillListMenu(OutputInstrument1, InstrumentNames, 11, Config.RecordingInstrument,
               Guarded(&TForm1::RecordingInstrumentChosen));
  FillListMenu(PlayingInstrument1, InstrumentNames, 12, Config.PlayingInstrument,
               Guarded(&TForm1::PlayingInstrumentChosen));
}

void TForm1::FillDeviceMenus(bool waitForTheList) {
  if (!waitForTheList && !MidiBackEndsReady()) {
    // The MIDI server is still being reached: the window does not wait for it. The two
    // lists are filled as soon as its ports are known, or when one of them opens first.
    if (!deviceMenusPending_) {
      deviceMenusPending_ = true;
      CallWhenMidiBackEndsReady([] {
        QMetaObject::invokeMethod(
            qApp,
            [] {
              if (Form1 != nullptr && Form1->deviceMenusPending_) {
                RunGuarded([] { Form1->FillDeviceMenus(true); });
              }
            },
            Qt::QueuedConnection);
      });
    }
    return;
  }
  deviceMenusPending_ = false;
  // A list already made takes the ports that came since, after the ones it holds: the
  // positions the configuration stores keep naming the same ports.
  const bool listed = MidiOutputExists();
  TMidiOutput& output = MidiOutput();
  if (listed) output.ListNewDevices();
  const std::vector<std::string> devices = output.DeviceNames();
  PrepareMidiDevices(Config.RecordingDevice, Config.PlayingDevice);
  FillListMenu(Midi1, devices, 3, Config.RecordingDevice, Guarded(&TForm1::RecordingDeviceChosen));
  FillListMenu(PlayOutputDevice1, devices, 4, Config.PlayingDevice,
               Guarded(&TForm1::PlayingDeviceChosen));
}

void TForm1::FillKeymapMenu() {
  FillFileMenu(KEymapping1, MaskIn("KEYMAPS", "*.key"), 5, Config.KeymapFile,
               Guarded(&TForm1::KeymapChosen));
}

void TForm1::LoadInstrumentNames() {
  InstrumentNames = ReadInstrumentList(InFolder("PATCHES", Config.PatchFile));
}

void TForm1::RecordingDeviceChosen(QAction* sender) {
  AllNotesOff();
  Config.RecordingDevice = ValueOf(sender);
  PrepareMidiDevices(Config.RecordingDevice, -1);
}

void TForm1::PlayingDeviceChosen(QAction* sender) {
  AllNotesOff();
  Config.PlayingDevice = ValueOf(sender);
  PrepareMidiDevices(-1, Config.PlayingDevice);
}

void TForm1::RecordingInstrumentChosen(QAction* sender) {
  Config.RecordingInstrument = ValueOf(sender);
  AllNotesOff();
}

void TForm1::PlayingInstrumentChosen(QAction* sender) {
  Config.PlayingInstrument = ValueOf(sender);
  AllNotesOff();
}

void TForm1::RecordingChannelChosen(QAction* sender) {
  CheckAgain(sender);
  Config.RecordingChannel = static_cast<std::uint8_t>(ItemPosition(sender) + 1);
  AllNotesOff();
}

void TForm1::PlayingChannelChosen(QAction* sender) {
  CheckAgain(sender);
  Config.PlayingChannel = static_cast<std::uint8_t>(ItemPosition(sender) + 1);
  AllNotesOff();
}

void TForm1::SkinChosen(QAction* sender) {
  CheckAgain(sender);
  Config.SkinFile = FileNameOf(sender);
  LoadSkin();
  FormPaint();
}

void TForm1::KeymapChosen(QAction* sender) {
  CheckAgain(sender);
  Config.KeymapFile = FileNameOf(sender);
  LoadConfiguredKeyMap();
}

void TForm1::PatchFileChosen(QAction* sender) {
  CheckAgain(sender);
  Config.PatchFile = FileNameOf(sender);
  LoadInstrumentNames();
  FillListMenu(OutputInstrument1, InstrumentNames, 11, Config.RecordingInstrument,
               Guarded(&TForm1::RecordingInstrumentChosen));
  FillListMenu(PlayingInstrument1, InstrumentNames, 12, Config.PlayingInstrument,
               Guarded(&TForm1::PlayingInstrumentChosen));
}

void TForm1::ConfigChosen(QAction* sender) {
  CheckAgain(sender);
  // The caption is taken now: the rebuild below replaces the clicked item.
  const std::string fileName = InFolder("CONFIGS", FileNameOf(sender));
  ReadConfigFile(fileName);
  ReloadingKeyMap([this] {
    AllNotesOff();
    BuildChoiceMenus();
    LoadSkin();
    FormPaint();
  });
}
