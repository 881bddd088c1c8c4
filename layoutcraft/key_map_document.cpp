#include "key_map_document.h"

#include <QFileInfo>
#include <QUndoCommand>
#include <algorithm>

#include "key_names.h"

// One change of the entries: the table before and after. Tables are a few dozen
// entries, so keeping both whole is the simplest exact undo.
class ReplaceEntries : public QUndoCommand {
 public:
  ReplaceEntries(KeyMapDocument& document, std::vector<TKeyMapEntry> before,
                 std::vector<TKeyMapEntry> after, const QString& text)
      : QUndoCommand(text),
        document_(document),
        before_(std::move(before)),
        after_(std::move(after)) {}
  void undo() override { document_.SetEntries(before_); }
  void redo() override { document_.SetEntries(after_); }

 private:
  KeyMapDocument& document_;
  std::vector<TKeyMapEntry> before_, after_;
};

namespace {

QString KeyText(std::int16_t key) {
  return QString::fromStdString(VirtualKeyLabel(static_cast<std::uint16_t>(key)));
}

}  // namespace

KeyMapDocument::KeyMapDocument(QObject* parent) : QObject(parent), firstEntry_(0x10000, -1) {
  connect(&undo_, &QUndoStack::cleanChanged, this, &KeyMapDocument::Changed);
}

int KeyMapDocument::FirstEntryOf(std::int16_t key) const {
  return firstEntry_[static_cast<std::uint16_t>(key)];
}

bool KeyMapDocument::IsShadowed(std::size_t index) const {
  return index < entries_.size() && FirstEntryOf(entries_[index].KeyCode) < static_cast<int>(index);
}

std::vector<std::int16_t> KeyMapDocument::KeysOf(std::uint8_t note) const {
  std::vector<std::int16_t> keys;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].Note == note && !IsShadowed(i)) keys.push_back(entries_[i].KeyCode);
  }
  return keys;
}

KeyMapDocument::BindResult KeyMapDocument::Bind(std::int16_t key, std::uint8_t note) {
  std::vector<TKeyMapEntry> after = entries_;
  const int first = FirstEntryOf(key);
  if (first >= 0) {
    if (after[first].Note == note) return BindResult::Unchanged;
    after[first].Note = note;
    Change(std::move(after), tr("Bind %1 to note %2").arg(KeyText(key)).arg(note));
    return BindResult::Rebound;
  }
  after.push_back(TKeyMapEntry{key, note});
  Change(std::move(after), tr("Bind %1 to note %2").arg(KeyText(key)).arg(note));
  return BindResult::Added;
}

void KeyMapDocument::Remove(std::vector<std::size_t> indexes) {
  std::sort(indexes.begin(), indexes.end());
  indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
  std::erase_if(indexes, [this](std::size_t i) { return i >= entries_.size(); });
  if (indexes.empty()) return;
  std::vector<TKeyMapEntry> after;
  for (std::size_t i = 0, next = 0; i < entries_.size(); ++i) {
    if (next < indexes.size() && indexes[next] == i) {
      ++next;
      continue;
    }
    after.push_back(entries_[i]);
  }
  const QString text = indexes.size() == 1
                           ? tr("Remove %1").arg(KeyText(entries_[indexes.front()].KeyCode))
                           : tr("Remove %1 entries").arg(indexes.size());
  Change(std::move(after), text);
}

void KeyMapDocument::RemoveShadowed() {
  std::vector<std::size_t> shadowed;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (IsShadowed(i)) shadowed.push_back(i);
  }
  Remove(std::move(shadowed));
}

void KeyMapDocument::New() {
  undo_.clear();
  path_.clear();
  SetEntries({});
}

QString KeyMapDocument::Open(const std::string& path) {
  KeyMapFileReading reading = ReadKeyMapFile(path);  // raises before anything changes
  undo_.clear();
  path_ = path;
  SetEntries(std::move(reading.Entries));

  const QString name = DisplayName();
  switch (reading.State) {
    case KeyMapFileState::WrongMagic:
      return tr("%1 is not a key map (its first bytes are not \"%2\"): opened empty")
          .arg(name, QString::fromLatin1(KeyMapMagic));
    case KeyMapFileState::NoEntries:
      return tr("%1 declares %2 entries: opened empty").arg(name).arg(reading.DeclaredCount);
    case KeyMapFileState::Short:
      return tr("%1 ends after %2 of the %3 entries it declares: opened those %2")
          .arg(name)
          .arg(entries_.size())
          .arg(reading.DeclaredCount);
    case KeyMapFileState::Whole:
      break;
  }
  QString text = tr("Opened %1: %2 entries").arg(name).arg(entries_.size());
  if (const std::size_t shadowed = ShadowedCount(); shadowed > 0)
    text += tr(", %1 shadowed by an earlier entry of their key (Edit > Remove Shadowed Entries)")
                .arg(shadowed);
  return text;
}

void KeyMapDocument::SaveAs(const std::string& path) {
  SaveKeyMap(path, entries_);
  path_ = path;
  undo_.setClean();
  emit Changed();
}

QString KeyMapDocument::DisplayName() const {
  if (path_.empty()) return tr("Untitled");
  return QFileInfo(QString::fromLocal8Bit(path_.c_str())).fileName();
}

void KeyMapDocument::SetEntries(std::vector<TKeyMapEntry> entries) {
  entries_ = std::move(entries);
  // A damaged file may hold many thousands of entries: the first entry of every key is
  // found once here, not by a scan per question.
  std::fill(firstEntry_.begin(), firstEntry_.end(), -1);
  shadowedCount_ = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    int& first = firstEntry_[static_cast<std::uint16_t>(entries_[i].KeyCode)];
    if (first < 0) {
      first = static_cast<int>(i);
    } else {
      ++shadowedCount_;
    }
  }
  emit Changed();
}

void KeyMapDocument::Change(std::vector<TKeyMapEntry> after, const QString& text) {
  undo_.push(new ReplaceEntries(*this, entries_, std::move(after), text));  // the stack owns it
}
