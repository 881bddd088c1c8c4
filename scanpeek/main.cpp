// The key-code viewer: one window that stays on top and shows every key pressed in it.
#include <QApplication>
#include <QIcon>

#include "files.h"
#include "key_viewer.h"
#include "x11_auto_repeat.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  application.setWindowIcon(QIcon(QStringLiteral(":/tessivar.png")));
  SetProgramFolder(QCoreApplication::applicationDirPath().toLocal8Bit().toStdString());
  UseDetectableAutoRepeat(application);
  KeyViewer viewer;
  viewer.show();
  viewer.activateWindow();
  return application.exec();
}
