#include "key_viewer.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <memory>

#include "config_in_use.h"
#include "key_codes.h"
#include "key_map.h"
#include "key_names.h"
#include "keyboard_config.h"

namespace {

QLabel* MakeLabel(const QString& objectName, int pointSize, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(objectName);
  label->setAlignment(Qt::AlignCenter);
  label->setTextInteractionFlags(Qt::NoTextInteraction);
  QFont font = label->font();
  font.setPointSize(pointSize);
  font.setBold(pointSize >= 20);
  label->setFont(font);
  return label;
}

QString NoteText(const KeyReport& key, const std::string& keyMapName) {
  if (key.RelativeNote == 255) {
    if (keyMapName.empty()) return QStringLiteral("No note: no key map");
    return QStringLiteral("No note in %1").arg(QString::fromLocal8Bit(keyMapName.c_str()));
  }
  QString text = QStringLiteral("Note %1 (%2)   at octave %3: %4")
                     .arg(key.RelativeNote)
                     .arg(QString::fromStdString(PitchClassName(key.RelativeNote)))
                     .arg(Config.Octave)
                     .arg(key.AbsoluteNote);
  if (key.AbsoluteNote > 127) return text + QStringLiteral(", not played");
  return text + QStringLiteral(" (%1)").arg(QString::fromStdString(MidiNoteName(key.AbsoluteNote)));
}

}  // namespace

KeyViewer::KeyViewer(QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("Key Codes"));
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setFocusPolicy(Qt::StrongFocus);

  code_ = MakeLabel(QStringLiteral("code"), 48, this);
  name_ = MakeLabel(QStringLiteral("name"), 24, this);
  scanCode_ = MakeLabel(QStringLiteral("scanCode"), 12, this);
  note_ = MakeLabel(QStringLiteral("note"), 14, this);
  keyMap_ = MakeLabel(QStringLiteral("keyMap"), 9, this);
  history_ = new QListWidget(this);
  history_->setObjectName(QStringLiteral("history"));
  history_->setFocusPolicy(Qt::NoFocus);
  history_->setMaximumHeight(150);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(code_);
  layout->addWidget(name_);
  layout->addWidget(scanCode_);
  layout->addWidget(note_);
  layout->addWidget(history_);
  layout->addWidget(keyMap_);

  code_->setText(QStringLiteral("--"));
  name_->setText(QStringLiteral("Press a key"));
  LoadKeyMapInUse();
  resize(420, 420);
}

void KeyViewer::LoadKeyMapInUse() {
  // Read-only: the configuration and the key map are only read, never written.
  std::string path;
  try {
    path = LoadConfigInUse();
    keyMapName_ = Config.KeymapFile.str();
    LoadKeyMap(path);
    keyMap_->setText(QStringLiteral("Key map %1, octave %2")
                         .arg(QString::fromLocal8Bit(keyMapName_.c_str()))
                         .arg(Config.Octave));
  } catch (const std::exception& error) {
    KeyMap.clear();
    keyMapName_.clear();
    keyMap_->setText(QString::fromLocal8Bit(error.what()));
  }
}

bool KeyViewer::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
      Press(static_cast<const QKeyEvent&>(*event));
      return true;
    case QEvent::KeyRelease:
      Release(static_cast<const QKeyEvent&>(*event));
      return true;
    case QEvent::ShortcutOverride:
      event->accept();  // no shortcut takes a key away from the viewer
      return true;
    default:
      return QWidget::event(event);
  }
}

void KeyViewer::Press(const QKeyEvent& event) {
  if (event.isAutoRepeat()) return;
  const std::uint16_t code = VirtualKeyOf(event);
  // Without detectable auto-repeat a held key may come as press after press.
  if (code != 0 && std::find(held_.begin(), held_.end(), code) != held_.end()) return;
  if (code != 0) held_.push_back(code);
  ShowKey(code, event.nativeScanCode());
}

void KeyViewer::Release(const QKeyEvent& event) {
  if (event.isAutoRepeat()) return;
  std::erase(held_, VirtualKeyOf(event));
}

void KeyViewer::focusOutEvent(QFocusEvent* event) {
  held_.clear();  // releases that go to another window are never seen
  QWidget::focusOutEvent(event);
}

void KeyViewer::ShowKey(std::uint16_t code, std::uint32_t scanCode) {
  last_ = KeyReport{code, scanCode, LookupNote(code), -1};
  if (last_.RelativeNote != 255) last_.AbsoluteNote = last_.RelativeNote + 12 * Config.Octave;

  const QString hex = QString::fromStdString(HexCode(code));
  const std::string name = VirtualKeyName(code);
  const QString nameText =
      code == 0 ? QStringLiteral("no key code") : QString::fromStdString(name.empty() ? "?" : name);
  code_->setText(hex);
  name_->setText(nameText);
  scanCode_->setText(QStringLiteral("Scan code %1 (0x%2)")
                         .arg(scanCode)
                         .arg(QString::number(scanCode, 16).toUpper()));
  note_->setText(NoteText(last_, keyMapName_));

  QString line = hex + QStringLiteral("  ") + nameText;
  if (last_.RelativeNote != 255) line += QStringLiteral("  note %1").arg(last_.RelativeNote);
  history_->insertItem(0, line);
  while (history_->count() > HistoryLength)
    std::unique_ptr<QListWidgetItem>(history_->takeItem(history_->count() - 1));
}
