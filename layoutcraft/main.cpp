// The key-map editor: opens the key map in use and lets the user bind computer keys to
// notes, then save the map into KEYMAPS for the main program.
#include <QApplication>
#include <QIcon>

#include "editor_window.h"
#include "files.h"
#include "x11_auto_repeat.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  application.setWindowIcon(QIcon(QStringLiteral(":/tessivar.png")));
  SetProgramFolder(QCoreApplication::applicationDirPath().toLocal8Bit().toStdString());
  UseDetectableAutoRepeat(application);
  EditorWindow editor;
  editor.OpenStartupKeyMap();
  editor.show();
  editor.activateWindow();
  return application.exec();
}
