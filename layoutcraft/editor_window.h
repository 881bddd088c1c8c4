#pragma once

#include <QMainWindow>
#include <string>

#include "key_map_document.h"

class PianoView;
class QLabel;
class QSpinBox;
class QTableWidget;
class QAction;

// The key-map editor: the piano picture with the keys bound to each note, the note
// field for notes beyond the picture, the list of entries, and the File and Edit menus.
class EditorWindow : public QMainWindow {
  Q_OBJECT

 public:
  EditorWindow();

  // At start: the key map of the configuration in use, else Tracker.key, else a new
  // empty one.
  void OpenStartupKeyMap();
  // Open and save without dialogs; failures are reported to the user and give false.
  bool OpenFile(const std::string& path);
  bool SaveFile(const std::string& path);
  // Asks before unsaved changes are lost; false when the user cancels.
  bool MaybeSave();

  KeyMapDocument& Document() { return document_; }
  PianoView& Piano() { return *piano_; }
  QSpinBox& NoteField() { return *note_; }
  QTableWidget& EntryList() { return *entries_; }

  // Binds a key to the chosen note, as pressing it on the piano does.
  void BindKey(std::uint16_t code);
  // Removes the entries selected in the list.
  void RemoveSelected();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void Refresh();
  void ShowNoteName();
  void NewClicked();
  void OpenClicked();
  bool SaveClicked();
  bool SaveAsClicked();
  void EntrySelected();
  void ShowFailure(const QString& message);

  KeyMapDocument document_;
  PianoView* piano_;
  QSpinBox* note_;
  QLabel* noteName_;
  QTableWidget* entries_;
  QAction* removeAction_ = nullptr;
  QAction* removeShadowedAction_ = nullptr;
};
