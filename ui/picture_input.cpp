// The keyboard picture played with the mouse and by touch.
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTouchEvent>

#include "application.h"
#include "keyboard_geometry.h"
#include "keyboard_view.h"
#include "main_window.h"

namespace {
// Mouse events the window system makes from touches: the touch events play those already.
bool FromTouch(const QMouseEvent& event) {
  return event.pointingDevice() != nullptr &&
         event.pointingDevice()->type() == QInputDevice::DeviceType::TouchScreen;
}
}  // namespace

std::int32_t KeyboardView::KeyAtPoint(const QPointF& point) const {
  const QImage& skin = form_->SkinBitmap;
  if (skin.isNull()) return -1;
  const QPoint at = point.toPoint();
  return KeyAt(SkinMeasures::Of(skin.width(), skin.height()), at.x(), at.y());
}

void KeyboardView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || FromTouch(*event)) return;
  const std::int32_t key = KeyAtPoint(event->position());
  RunGuarded([this, key] { form_->Pointers.Press(PicturePointers::Mouse, key); });
}

void KeyboardView::mouseMoveEvent(QMouseEvent* event) {
  if ((event->buttons() & Qt::LeftButton) == 0 || FromTouch(*event)) return;
  // Off the picture there is no key: the note ends, and a glide back in plays again.
  const std::int32_t key = KeyAtPoint(event->position());
  RunGuarded([this, key] { form_->Pointers.Move(PicturePointers::Mouse, key); });
}

void KeyboardView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || FromTouch(*event)) return;
  RunGuarded([this] { form_->Pointers.Release(PicturePointers::Mouse); });
}

bool KeyboardView::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd: {
      auto* touch = static_cast<QTouchEvent*>(event);
      for (const QEventPoint& point : touch->points()) {
        if (point.state() == QEventPoint::Stationary) continue;
        const std::int64_t id = point.id();
        const std::int32_t key = KeyAtPoint(point.position());
        RunGuarded([this, id, key, &point] {
          switch (point.state()) {
            case QEventPoint::Pressed:
              form_->Pointers.Press(id, key);
              break;
            case QEventPoint::Released:
              form_->Pointers.Release(id);
              break;
            default:  // moved
              form_->Pointers.Move(id, key);
              break;
          }
        });
      }
      touch->accept();
      return true;
    }
    case QEvent::TouchCancel:
      RunGuarded([this] { form_->Pointers.ReleaseAll(); });
      event->accept();
      return true;
    default:
      return QWidget::event(event);
  }
}
