#include "application.h"

#include <QIcon>
#include <QMessageBox>

#include "main_window.h"
#include "x11_auto_repeat.h"

std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

namespace {
int OpenErrorBoxes = 0;

// Counts one error box for as long as it is on screen.
class OpenErrorBox {
 public:
  OpenErrorBox() { ++OpenErrorBoxes; }
  ~OpenErrorBox() { --OpenErrorBoxes; }
  OpenErrorBox(const OpenErrorBox&) = delete;
  OpenErrorBox& operator=(const OpenErrorBox&) = delete;
};
}  // namespace

bool ErrorBoxOpen() { return OpenErrorBoxes > 0; }

void ShowError(const std::string& message) {
  // The box belongs to the application; it is made transient for the main window only
  // so that it is not hidden behind that always-on-top window.
  QWidget* owner = (Form1 != nullptr && Form1->isVisible()) ? Form1 : nullptr;
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(ApplicationTitle),
                  QString::fromLocal8Bit(ErrorBoxText(message)), QMessageBox::Ok, owner);
  box.setObjectName("ErrorBox");
  box.setWindowModality(Qt::ApplicationModal);
  const OpenErrorBox counted;
  box.exec();
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QString::fromLatin1(ApplicationTitle));
  // The icon of every window of the program, and the desktop entry that shows it.
  setWindowIcon(QIcon(QStringLiteral(":/tessivar.png")));
  setDesktopFileName(QStringLiteral("org.example.tessivar"));
  UseDetectableAutoRepeat(*this);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  try {
    handled = QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowError(error.what());
  } catch (...) {
    ShowError("");
  }
  return handled;
}
