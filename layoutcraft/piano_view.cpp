#include "piano_view.h"

#include <QKeyEvent>
#include <QPainter>
#include <algorithm>

#include "key_codes.h"
#include "key_map_document.h"
#include "key_names.h"
#include "keyboard_geometry.h"

namespace {

constexpr int WhiteWidth = 30;
constexpr int WhiteHeight = 130;
constexpr int BlackWidth = 20;
constexpr int BlackHeight = 80;
constexpr int WhiteKeys = 21;

bool IsModifier(std::uint16_t code) {
  return code == 0x10 || code == 0x11 || code == 0x12 || code == 0x5B || code == 0x5C;
}

}  // namespace

PianoView::PianoView(const KeyMapDocument& document, QWidget* parent)
    : QWidget(parent), document_(document) {
  setObjectName(QStringLiteral("piano"));
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(sizeHint());
  connect(&document, &KeyMapDocument::Changed, this, qOverload<>(&QWidget::update));
}

QSize PianoView::sizeHint() const { return {WhiteKeys * WhiteWidth + 1, WhiteHeight + 1}; }

QRect PianoView::KeyRect(int note) const {
  if (note < 0 || note >= Keys) return {};
  const int column = (note / 12) * 7 + WhiteKeyIndex(note);
  if (!IsBlackKey(note)) return {column * WhiteWidth, 0, WhiteWidth, WhiteHeight};
  return {(column + 1) * WhiteWidth - BlackWidth / 2, 0, BlackWidth, BlackHeight};
}

int PianoView::NoteAt(QPoint point) const {
  for (int note = 0; note < Keys; ++note) {  // black keys lie on top
    if (IsBlackKey(note) && KeyRect(note).contains(point)) return note;
  }
  for (int note = 0; note < Keys; ++note) {
    if (!IsBlackKey(note) && KeyRect(note).contains(point)) return note;
  }
  return -1;
}

void PianoView::SetSelectedNote(int note) {
  note = std::clamp(note, 0, 255);
  if (note == selected_) return;
  selected_ = note;
  update();
}

void PianoView::Select(int note) {
  note = std::clamp(note, 0, 255);
  SetSelectedNote(note);
  emit NoteSelected(note);
}

void PianoView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QFont small = font();
  small.setPointSize(7);
  painter.setFont(small);
  const QColor selectedColour(255, 190, 60);
  const QColor boundWhite(205, 225, 255);
  const QColor boundBlack(40, 70, 130);

  auto drawKey = [&](int note) {
    const QRect rect = KeyRect(note);
    const bool black = IsBlackKey(note);
    const std::vector<std::int16_t> keys = document_.KeysOf(static_cast<std::uint8_t>(note));
    QColor fill = black ? QColor(20, 20, 20) : Qt::white;
    if (!keys.empty()) fill = black ? boundBlack : boundWhite;
    if (note == selected_) fill = selectedColour;
    painter.setPen(Qt::black);
    painter.setBrush(fill);
    painter.drawRect(rect.adjusted(0, 0, black ? -1 : 0, 0));
    painter.setPen(black && note != selected_ ? Qt::white : Qt::black);
    const int line = painter.fontMetrics().height();
    int y = rect.bottom() - 4 - line;
    for (auto it = keys.rbegin(); it != keys.rend() && y > rect.top() + (black ? 0 : BlackHeight);
         ++it) {
      painter.drawText(QRect(rect.left(), y, rect.width(), line), Qt::AlignCenter,
                       QString::fromStdString(VirtualKeyLabel(static_cast<std::uint16_t>(*it))));
      y -= line;
    }
  };
  for (int note = 0; note < Keys; ++note) {
    if (!IsBlackKey(note)) drawKey(note);
  }
  for (int note = 0; note < Keys; ++note) {
    if (IsBlackKey(note)) drawKey(note);
  }
  if (hasFocus()) {
    painter.setPen(QPen(palette().highlight().color(), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(1, 1, -1, -1));
  }
}

void PianoView::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  const int note = NoteAt(event->position().toPoint());
  if (note >= 0) Select(note);
}

bool PianoView::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    // A shortcut (Ctrl+Z, Alt+R) is about to take the key: the modifier held with it
    // is no key of its own.
    if (!IsModifier(VirtualKeyOf(*static_cast<QKeyEvent*>(event)))) pendingModifier_ = 0;
  }
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
      keyPressEvent(static_cast<QKeyEvent*>(event));
      return true;
    }
  }
  return QWidget::event(event);
}

void PianoView::keyPressEvent(QKeyEvent* event) {
  if (event->isAutoRepeat()) return;
  switch (event->key()) {
    case Qt::Key_Left:
      pendingModifier_ = 0;
      Select(selected_ - 1);
      return;
    case Qt::Key_Right:
      pendingModifier_ = 0;
      Select(selected_ + 1);
      return;
    case Qt::Key_Up:
      pendingModifier_ = 0;
      Select(selected_ + 12);
      return;
    case Qt::Key_Down:
      pendingModifier_ = 0;
      Select(selected_ - 12);
      return;
    default:
      break;
  }
  const std::uint16_t code = VirtualKeyOf(*event);
  if (code == 0) return;
  if (IsModifier(code)) {
    pendingModifier_ = code;
    return;
  }
  pendingModifier_ = 0;
  emit KeyCaptured(code);
}

void PianoView::keyReleaseEvent(QKeyEvent* event) {
  if (event->isAutoRepeat()) return;
  const std::uint16_t code = VirtualKeyOf(*event);
  if (code != 0 && code == pendingModifier_) {
    pendingModifier_ = 0;
    emit KeyCaptured(code);
  }
}

void PianoView::focusOutEvent(QFocusEvent* event) {
  pendingModifier_ = 0;
  update();
  QWidget::focusOutEvent(event);
}

void PianoView::focusInEvent(QFocusEvent* event) {
  update();
  QWidget::focusInEvent(event);
}
