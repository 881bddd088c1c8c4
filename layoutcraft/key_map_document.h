#pragma once

#include <QObject>
#include <QString>
#include <QUndoStack>
#include <cstdint>
#include <string>
#include <vector>

#include "key_map.h"

// The key map being edited: its entries in file order, the file it belongs to and the
// undo history. Every change is one undo step. The first entry of a key is the one the
// main program plays; later entries of the same key are shadowed.
class KeyMapDocument : public QObject {
  Q_OBJECT

 public:
  explicit KeyMapDocument(QObject* parent = nullptr);

  const std::vector<TKeyMapEntry>& Entries() const { return entries_; }
  QUndoStack& UndoStack() { return undo_; }

  // The index of the first entry of key, or -1.
  int FirstEntryOf(std::int16_t key) const;
  // True when an earlier entry has the same key, so the main program never reaches it.
  bool IsShadowed(std::size_t index) const;
  std::size_t ShadowedCount() const { return shadowedCount_; }
  // The keys that play note (shadowed entries left out), in file order.
  std::vector<std::int16_t> KeysOf(std::uint8_t note) const;

  enum class BindResult { Added, Rebound, Unchanged };
  // key plays note from now on: a key without an entry gets a new one at the end; a
  // key that has one gets its first entry changed.
  BindResult Bind(std::int16_t key, std::uint8_t note);
  // Removes the entries at these indexes (one undo step); indexes out of range are
  // ignored.
  void Remove(std::vector<std::size_t> indexes);
  void RemoveShadowed();

  // An empty key map without a file.
  void New();
  // Replaces the document with the content of a key map file and gives the line the
  // status bar shows about it. Raises "Cannot open file %s"; the document is then
  // unchanged.
  QString Open(const std::string& path);
  // Writes the key map; raises "Cannot create file %s" or "Stream write error", and
  // the old file stays whole. On success the document belongs to path, unmodified.
  void SaveAs(const std::string& path);

  const std::string& FilePath() const { return path_; }
  QString DisplayName() const;  // the file's name, or "Untitled"
  bool IsModified() const { return !undo_.isClean(); }

 signals:
  void Changed();

 private:
  friend class ReplaceEntries;
  void SetEntries(std::vector<TKeyMapEntry> entries);
  void Change(std::vector<TKeyMapEntry> after, const QString& text);

  std::vector<TKeyMapEntry> entries_;
  std::vector<int> firstEntry_;  // by 16-bit key code: the index of its first entry, or -1
  std::size_t shadowedCount_ = 0;
  std::string path_;
  QUndoStack undo_;
};
