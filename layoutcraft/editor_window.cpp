#include "editor_window.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <exception>

#include "config_in_use.h"
#include "files.h"
#include "key_names.h"
#include "piano_view.h"

namespace {

const QString kFilter = QStringLiteral("Key maps (*.key)");

QString KeymapsFolder() { return QString::fromLocal8Bit((ProgramFolder() + "KEYMAPS").c_str()); }

std::string LocalPath(const QString& path) { return path.toLocal8Bit().toStdString(); }

QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);  // the table takes it
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

}  // namespace

EditorWindow::EditorWindow() {
  auto* central = new QWidget(this);
  piano_ = new PianoView(document_, central);
  note_ = new QSpinBox(central);
  note_->setObjectName(QStringLiteral("note"));
  note_->setRange(0, 255);
  noteName_ = new QLabel(central);
  auto* removeButton = new QPushButton(tr("&Remove"), central);
  auto* shadowedButton = new QPushButton(tr("Remove &Shadowed"), central);
  entries_ = new QTableWidget(0, 4, central);
  entries_->setObjectName(QStringLiteral("entries"));
  entries_->setHorizontalHeaderLabels({tr("Key"), tr("Code"), tr("Note"), tr("")});
  entries_->horizontalHeader()->setStretchLastSection(true);
  entries_->setColumnWidth(
      0, entries_->fontMetrics().horizontalAdvance(QStringLiteral("VK_OEM_COMMA")) + 24);
  entries_->setSelectionBehavior(QAbstractItemView::SelectRows);
  entries_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  entries_->verticalHeader()->setDefaultSectionSize(entries_->fontMetrics().height() + 6);

  auto* noteRow = new QHBoxLayout;
  noteRow->addWidget(new QLabel(tr("Note (semitones above the base octave's C):"), central));
  noteRow->addWidget(note_);
  noteRow->addWidget(noteName_);
  noteRow->addStretch();
  noteRow->addWidget(removeButton);
  noteRow->addWidget(shadowedButton);
  auto* layout = new QVBoxLayout(central);
  layout->addWidget(
      new QLabel(tr("Choose a note, then press the computer key that is to play it."), central));
  layout->addWidget(piano_, 0, Qt::AlignHCenter);
  layout->addLayout(noteRow);
  layout->addWidget(entries_);
  setCentralWidget(central);
  BuildMenus();

  connect(piano_, &PianoView::NoteSelected, note_, &QSpinBox::setValue);
  connect(piano_, &PianoView::KeyCaptured, this, &EditorWindow::BindKey);
  connect(note_, &QSpinBox::valueChanged, this, [this](int note) {
    piano_->SetSelectedNote(note);
    ShowNoteName();
  });
  connect(removeButton, &QPushButton::clicked, this, &EditorWindow::RemoveSelected);
  connect(shadowedButton, &QPushButton::clicked, &document_, &KeyMapDocument::RemoveShadowed);
  connect(removeShadowedAction_, &QAction::enabledChanged, shadowedButton,
          &QPushButton::setEnabled);
  connect(entries_, &QTableWidget::itemSelectionChanged, this, &EditorWindow::EntrySelected);
  connect(&document_, &KeyMapDocument::Changed, this, &EditorWindow::Refresh);

  ShowNoteName();
  Refresh();
  resize(sizeHint().width() + 40, 560);
  piano_->setFocus();
}

void EditorWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(tr("&New"), QKeySequence::New, this, &EditorWindow::NewClicked);
  file->addAction(tr("&Open..."), QKeySequence::Open, this, &EditorWindow::OpenClicked);
  file->addAction(tr("&Save"), QKeySequence::Save, this, &EditorWindow::SaveClicked);
  file->addAction(tr("Save &As..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), this,
                  &EditorWindow::SaveAsClicked);
  file->addSeparator();
  file->addAction(tr("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q), this, &QWidget::close);

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  QAction* undo = document_.UndoStack().createUndoAction(this, tr("&Undo"));
  undo->setShortcuts(QKeySequence::Undo);
  QAction* redo = document_.UndoStack().createRedoAction(this, tr("&Redo"));
  redo->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  edit->addAction(undo);
  edit->addAction(redo);
  edit->addSeparator();
  removeAction_ = edit->addAction(tr("Re&move Binding"), this, &EditorWindow::RemoveSelected);
  removeShadowedAction_ =
      edit->addAction(tr("Remove &Shadowed Entries"), &document_, &KeyMapDocument::RemoveShadowed);
}

void EditorWindow::OpenStartupKeyMap() {
  std::string path;
  try {
    path = LoadConfigInUse();
  } catch (const std::exception&) {
    path.clear();  // an unreadable configuration: the default key map
  }
  if (path.empty() || !FileExists(path))
    path = DataFilePath(ProgramFolder() + SubFolder("KEYMAPS"), "Tracker.key");
  if (FileExists(path)) {
    OpenFile(path);
  } else {
    document_.New();
    statusBar()->showMessage(tr("No key map found: a new one"));
  }
}

bool EditorWindow::OpenFile(const std::string& path) {
  try {
    statusBar()->showMessage(document_.Open(path));
    return true;
  } catch (const std::exception& error) {
    ShowFailure(QString::fromLocal8Bit(error.what()));
    return false;
  }
}

bool EditorWindow::SaveFile(const std::string& path) {
  try {
    document_.SaveAs(path);
    statusBar()->showMessage(
        tr("Saved %1: %2 entries").arg(document_.DisplayName()).arg(document_.Entries().size()));
    return true;
  } catch (const std::exception& error) {
    ShowFailure(QString::fromLocal8Bit(error.what()) + tr("; the file on disk was not changed"));
    return false;
  }
}

bool EditorWindow::MaybeSave() {
  if (!document_.IsModified()) return true;
  const auto answer = QMessageBox::question(
      this, windowTitle(),
      tr("The key map %1 has changed. Save the changes?").arg(document_.DisplayName()),
      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
  if (answer == QMessageBox::Save) return SaveClicked();
  return answer == QMessageBox::Discard;
}

void EditorWindow::closeEvent(QCloseEvent* event) {
  if (MaybeSave()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void EditorWindow::NewClicked() {
  if (!MaybeSave()) return;
  document_.New();
  statusBar()->showMessage(tr("A new, empty key map"));
}

void EditorWindow::OpenClicked() {
  if (!MaybeSave()) return;
  const QString path =
      QFileDialog::getOpenFileName(this, tr("Open Key Map"), KeymapsFolder(), kFilter);
  if (!path.isEmpty()) OpenFile(LocalPath(path));
}

bool EditorWindow::SaveClicked() {
  if (document_.FilePath().empty()) return SaveAsClicked();
  return SaveFile(document_.FilePath());
}

bool EditorWindow::SaveAsClicked() {
  QFileDialog dialog(this, tr("Save Key Map As"), KeymapsFolder(), kFilter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("key"));
  if (!document_.FilePath().empty())
    dialog.selectFile(QString::fromLocal8Bit(document_.FilePath().c_str()));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  return SaveFile(LocalPath(dialog.selectedFiles().constFirst()));
}

void EditorWindow::BindKey(std::uint16_t code) {
  const auto key = static_cast<std::int16_t>(code);
  const auto note = static_cast<std::uint8_t>(note_->value());
  const QString name = QString::fromStdString(VirtualKeyLabel(code));
  const int before = document_.FirstEntryOf(key);
  const int oldNote = before >= 0 ? document_.Entries()[static_cast<std::size_t>(before)].Note : -1;
  switch (document_.Bind(key, note)) {
    case KeyMapDocument::BindResult::Added:
      statusBar()->showMessage(tr("%1 plays note %2").arg(name).arg(note));
      break;
    case KeyMapDocument::BindResult::Rebound:
      statusBar()->showMessage(tr("%1 plays note %2 (was %3)").arg(name).arg(note).arg(oldNote));
      break;
    case KeyMapDocument::BindResult::Unchanged:
      statusBar()->showMessage(tr("%1 already plays note %2").arg(name).arg(note));
      break;
  }
}

void EditorWindow::RemoveSelected() {
  std::vector<std::size_t> rows;
  for (const QModelIndex& index : entries_->selectionModel()->selectedRows())
    rows.push_back(static_cast<std::size_t>(index.row()));
  if (rows.empty()) {
    statusBar()->showMessage(tr("Choose the entries to remove in the list"));
    return;
  }
  document_.Remove(std::move(rows));
}

void EditorWindow::EntrySelected() {
  const QList<QModelIndex> rows = entries_->selectionModel()->selectedRows();
  removeAction_->setEnabled(!rows.isEmpty());
  if (rows.size() != 1) return;
  const auto row = static_cast<std::size_t>(rows.front().row());
  if (row < document_.Entries().size()) note_->setValue(document_.Entries()[row].Note);
}

void EditorWindow::Refresh() {
  const std::vector<TKeyMapEntry>& entries = document_.Entries();
  entries_->setRowCount(static_cast<int>(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto row = static_cast<int>(i);
    const auto code = static_cast<std::uint16_t>(entries[i].KeyCode);
    const std::string name = VirtualKeyName(code);
    entries_->setItem(row, 0,
                      Cell(QString::fromStdString(name.empty() ? VirtualKeyLabel(code) : name)));
    entries_->setItem(row, 1, Cell(QStringLiteral("0x") + QString::fromStdString(HexCode(code))));
    entries_->setItem(row, 2, Cell(QString::number(entries[i].Note)));
    QString remark;
    if (document_.IsShadowed(i)) {
      remark = tr("shadowed by entry %1: never played")
                   .arg(document_.FirstEntryOf(entries[i].KeyCode) + 1);
    } else if (entries[i].Note >= PianoView::Keys) {
      remark = tr("beyond the picture");
    }
    entries_->setItem(row, 3, Cell(remark));
    if (document_.IsShadowed(i)) {
      for (int column = 0; column < 4; ++column)
        entries_->item(row, column)->setForeground(Qt::gray);
    }
  }
  removeAction_->setEnabled(entries_->selectionModel()->hasSelection());
  removeShadowedAction_->setEnabled(document_.ShadowedCount() > 0);
  setWindowTitle(tr("Key Map Editor - %1[*]").arg(document_.DisplayName()));
  setWindowModified(document_.IsModified());
}

void EditorWindow::ShowNoteName() {
  const int note = note_->value();
  noteName_->setText(
      note < PianoView::Keys
          ? QString::fromStdString(PitchClassName(note))
          : tr("%1, beyond the picture").arg(QString::fromStdString(PitchClassName(note))));
}

void EditorWindow::ShowFailure(const QString& message) {
  statusBar()->showMessage(message);
  QMessageBox::critical(this, windowTitle(), message);
}
