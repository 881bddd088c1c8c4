// A bare Qt main window with a menu bar: what start-up time and memory are measured against.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QMainWindow window;
  window.setWindowTitle("Bare window");
  for (const char* title : {"&File", "&Setup", "&Devices", "&Tools", "&Help"}) {
    window.menuBar()->addMenu(title)->addAction("Item");
  }
  window.resize(640, 200);
  window.show();
  return application.exec();
}
