#pragma once

#include <QWidget>
#include <cstdint>

class KeyMapDocument;

// The three octaves of the key map (relative notes 0..35) with, on each piano key, the
// computer keys that play it. A click or the arrow keys choose a note (Left/Right a
// semitone, Up/Down an octave); any other key pressed here is captured by its physical
// position, exactly as the main program reads it, and reported for binding.
class PianoView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int Keys = 36;

  explicit PianoView(const KeyMapDocument& document, QWidget* parent = nullptr);

  int SelectedNote() const { return selected_; }
  void SetSelectedNote(int note);  // 0..255; notes above 35 have no key in the picture

  // The note under a point of the widget, or -1.
  int NoteAt(QPoint point) const;
  QRect KeyRect(int note) const;

  QSize sizeHint() const override;

 signals:
  void NoteSelected(int note);
  void KeyCaptured(std::uint16_t code);

 protected:
  bool event(QEvent* event) override;  // Tab and Backtab are keys to bind here
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void Select(int note);

  const KeyMapDocument& document_;
  int selected_ = 0;
  // A modifier key is bound when it is released without another key in between, so
  // that Ctrl+Z and the like stay shortcuts.
  std::uint16_t pendingModifier_ = 0;
};
