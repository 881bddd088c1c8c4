#include "tools_fixture.h"

#include <QAbstractButton>
#include <QApplication>

#include "config_file.h"
#include "field_stream.h"
#include "keyboard_config.h"

void UseConfiguration(const TempProgramFolder& folder, const std::string& keyMapFile, int octave) {
  SetDefaults();
  Config.ConfigName = "Tools.cfg";
  Config.KeymapFile = keyMapFile;
  Config.Octave = static_cast<std::uint8_t>(octave);
  WriteConfigFile(folder / "CONFIGS/Tools.cfg");
  MemoryBuffer pointer;
  WriteShortString(pointer, "Tools.cfg");
  SaveFileWhole(pointer, folder / "setup.ini");
  SetDefaults();  // the programs must read it themselves
}

BoxAnswerer::BoxAnswerer(QMessageBox::StandardButton button) : button_(button) {
  timer_.setInterval(20);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (box == nullptr || !box->isVisible()) continue;
      texts_.push_back(box->text());
      if (QAbstractButton* answer = box->button(button_)) {
        answer->click();
      } else {
        box->reject();
      }
    }
  });
  timer_.start();
}
