#pragma once

#include <QWidget>
#include <cstdint>

class TForm1;

// The client area below the menu bar: shows the window's surface image. A paint that
// the window system asks for first redraws the surface with all keys up. The mouse and
// touch points play the keys they press (ui/picture_input.cpp).
class KeyboardView : public QWidget {
 public:
  KeyboardView(TForm1* form, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // The picture's key at a point of the view, or -1.
  std::int32_t KeyAtPoint(const QPointF& point) const;
  TForm1* form_;
};
