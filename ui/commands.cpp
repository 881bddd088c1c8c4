// Creation and destruction of the main window, and the plain commands of the menu bar.
#include <QDir>
#include <QFileDialog>

#include "about_box.h"
#include "config_file.h"
#include "files.h"
#include "key_map.h"
#include "keyboard_config.h"
#include "main_window.h"
#include "radio_menus.h"

namespace {

std::string ConfigsFolder() { return ProgramFolder() + "CONFIGS"; }

// Prepares a configuration dialog and shows it; the chosen full path, or empty when
// the user cancelled. The dialog offers the file it accepted last.
std::string RunConfigDialog(QFileDialog* dialog, std::string& lastAccepted) {
  dialog->setDirectory(QString::fromLocal8Bit(ConfigsFolder().c_str()));
  // One filter, shown by its description alone: "Configs", matching *.cfg.
  dialog->setNameFilter(QStringLiteral("Configs (*.cfg)"));
  dialog->setOption(QFileDialog::HideNameFilterDetails, true);
  dialog->setDefaultSuffix(QStringLiteral("cfg"));
  if (!lastAccepted.empty()) dialog->selectFile(QString::fromLocal8Bit(lastAccepted.c_str()));
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return {};
  // The dialog answers with "/" everywhere; the program's paths (and its error boxes) use
  // the platform's own separator.
  const QString chosen = QDir::toNativeSeparators(dialog->selectedFiles().constFirst());
  lastAccepted = chosen.toLocal8Bit().toStdString();
  return lastAccepted;
}

}  // namespace

void TForm1::FormCreate() {
  InstrumentNames.clear();
  SkinBitmap = QImage();
  LoadStartupConfig([] { WarnNoDevices(); });
  BuildChoiceMenus();
  LoadSkin();
  LoadConfiguredKeyMap();
  PressedNotes.fill(0);
}

void TForm1::FormDestroy() {
  SaveSessionConfig();
  SkinBitmap = QImage();
  InstrumentNames.clear();
}

void TForm1::LoadConfiguredKeyMap() {
  LoadKeyMap(DataFilePath(ProgramFolder() + SubFolder("KEYMAPS"), Config.KeymapFile));
}

void TForm1::ReloadingKeyMap(const std::function<void()>& steps) {
  try {
    steps();
  } catch (...) {
    // The first failure is the one reported; the key map still follows Config.
    try {
      LoadConfiguredKeyMap();
    } catch (...) {
    }
    throw;
  }
  LoadConfiguredKeyMap();
}

void TForm1::NewConfig1Click() {
  AllNotesOff();
  const std::string pointer = ProgramFolder() + "setup.ini";
  if (FileExists(pointer)) DeleteFileAt(pointer);
  LoadStartupConfig([] { WarnNoDevices(); });
  ReloadingKeyMap([this] {
    LoadSkin();
    BuildChoiceMenus();
    FormPaint();
  });
}

void TForm1::LoadConfig1Click() {
  const std::string fileName = RunConfigDialog(ConfigDialog(false), lastOpenedFile_);
  if (fileName.empty()) return;
  AllNotesOff();
  ReadConfigFile(fileName);
  ReloadingKeyMap([this] {
    BuildChoiceMenus();
    LoadSkin();
    FormPaint();
  });
}

void TForm1::SaveConfig1Click() {
  const std::string fileName = RunConfigDialog(ConfigDialog(true), lastSavedFile_);
  if (fileName.empty()) return;
  WriteConfigFile(fileName);
  FillFileMenu(Configs1, ProgramFolder() + SubFolder("CONFIGS") + "*.cfg", 9, Config.ConfigName,
               Guarded(&TForm1::ConfigChosen));
}

void TForm1::Exit1Click() { close(); }

void TForm1::Freealldevices1Click() { AllNotesOff(); }

void TForm1::AllNotesOff1Click() { AllNotesOff(); }

void TForm1::EditKeymapping1Click() { ShellOpen("layoutcraft.exe", ProgramFolder()); }

void TForm1::GetKEyboardScancode1Click() { ShellOpen("scanpeek.exe", ProgramFolder()); }

void TForm1::Context1Click() { ShellOpen("help.hlp", ProgramFolder() + SubFolder("HELP")); }

void TForm1::Homepage1Click() { ShellOpen("zembrell.url", ProgramFolder()); }

void TForm1::About1Click() {
  if (FormAbout != nullptr) FormAbout->exec();
}
