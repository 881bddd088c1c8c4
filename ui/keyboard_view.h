#pragma once

#include <QWidget>

class TForm1;

// The client area below the menu bar: shows the window's surface image. A paint that
// the window system asks for first redraws the surface with all keys up.
class KeyboardView : public QWidget {
 public:
  KeyboardView(TForm1* form, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TForm1* form_;
};
