#pragma once

#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QListWidget;

// What the viewer shows for one key: the code the main program gives the key, the
// platform's scan code and the note of the key map in use.
struct KeyReport {
  std::uint16_t Code = 0;
  std::uint32_t ScanCode = 0;
  std::uint8_t RelativeNote = 255;  // 255: the key map has no note for the key
  int AbsoluteNote = -1;            // relative + 12 x octave; -1 without a note
};

// A small window that stays on top. Each key pressed while it has the focus is shown
// large (code in hexadecimal, its name, scan code, note), with the last keys listed
// below. A held key shows once.
class KeyViewer : public QWidget {
 public:
  explicit KeyViewer(QWidget* parent = nullptr);

  // Shows one key as if it had been pressed.
  void ShowKey(std::uint16_t code, std::uint32_t scanCode);
  const KeyReport& LastKey() const { return last_; }

  static constexpr int HistoryLength = 12;

 protected:
  bool event(QEvent* event) override;  // every key, Tab and Alt included
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void Press(const class QKeyEvent& event);
  void Release(const class QKeyEvent& event);
  void LoadKeyMapInUse();

  KeyReport last_;
  std::vector<std::uint16_t> held_;  // keys down: a repeated press of one is not shown
  std::string keyMapName_;
  QLabel* code_;
  QLabel* name_;
  QLabel* scanCode_;
  QLabel* note_;
  QLabel* keyMap_;
  QListWidget* history_;
};
