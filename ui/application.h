#pragma once

#include <QApplication>
#include <exception>
#include <string>

inline constexpr const char* ApplicationTitle = "Tessivar v1.5";

// The text of an error box: the message, with a full stop added when it does not end
// in "." or a character below it (so ")" and "!" get none either).
std::string ErrorBoxText(const std::string& message);

// The default error handler: a modal box with the stop icon, one OK button and the
// application title as caption; the program then goes on.
void ShowError(const std::string& message);

// True while an error box is on screen (its owner has just lost the focus to it).
bool ErrorBoxOpen();

// Runs one handler; a failure inside it ends the handler and is shown by the default
// error handler, so that no exception ever reaches Qt.
template <typename Handler>
void RunGuarded(Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowError(error.what());
  } catch (...) {
    ShowError("");
  }
}

// Dispatches every event of the program. Handlers guard themselves; this is the last
// line, so that a failure in any event still ends as an error box.
class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};
