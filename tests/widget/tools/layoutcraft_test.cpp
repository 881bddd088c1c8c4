#include <gtest/gtest.h>

#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>

#include "editor_window.h"
#include "piano_view.h"
#include "tools_fixture.h"

namespace {

using Entries = std::vector<std::pair<int, int>>;  // key code, note

Entries Table(const KeyMapDocument& document) {
  Entries entries;
  for (const TKeyMapEntry& entry : document.Entries())
    entries.emplace_back(entry.KeyCode, entry.Note);
  return entries;
}

class LayoutcraftTest : public ::testing::Test {
 protected:
  void ClickNote(int note) {
    QTest::mouseClick(&editor.Piano(), Qt::LeftButton, {},
                      editor.Piano().KeyRect(note).center() + QPoint(0, 20));
  }
  void Press(int qtKey) { QTest::keyClick(&editor.Piano(), static_cast<Qt::Key>(qtKey)); }
  QString Status() { return editor.statusBar()->currentMessage(); }

  TempProgramFolder folder;
  EditorWindow editor;
};

}  // namespace

TEST_F(LayoutcraftTest, BindRebindRemoveUndoAndRedo) {
  editor.Document().New();
  ClickNote(0);
  EXPECT_EQ(editor.NoteField().value(), 0);
  Press(Qt::Key_Z);
  ClickNote(1);  // a black key, hit over the white keys around it
  EXPECT_EQ(editor.NoteField().value(), 1);
  Press(Qt::Key_S);
  Press(Qt::Key_Comma);
  EXPECT_EQ(Table(editor.Document()), (Entries{{'Z', 0}, {'S', 1}, {0xBC, 1}}));
  EXPECT_TRUE(editor.Document().IsModified());
  EXPECT_TRUE(editor.isWindowModified());

  // The arrows move the chosen note; binding a bound key changes its entry in place.
  Press(Qt::Key_Right);
  Press(Qt::Key_Up);
  EXPECT_EQ(editor.NoteField().value(), 14);
  Press(Qt::Key_Z);
  EXPECT_EQ(Table(editor.Document()), (Entries{{'Z', 14}, {'S', 1}, {0xBC, 1}}));
  EXPECT_TRUE(Status().contains(QStringLiteral("was 0"))) << Status().toStdString();
  Press(Qt::Key_Z);
  EXPECT_EQ(editor.Document().UndoStack().count(), 4)
      << "binding a key to its own note is no change";

  // Notes beyond the picture come from the note field.
  editor.NoteField().setValue(40);
  Press(Qt::Key_Q);
  ASSERT_EQ(editor.EntryList().rowCount(), 4);
  EXPECT_EQ(editor.EntryList().item(3, 0)->text(), QStringLiteral("Q"));
  EXPECT_EQ(editor.EntryList().item(3, 2)->text(), QStringLiteral("40"));
  EXPECT_EQ(editor.EntryList().item(2, 0)->text(), QStringLiteral("VK_OEM_COMMA"));

  editor.EntryList().selectRow(1);
  EXPECT_EQ(editor.NoteField().value(), 1) << "choosing an entry chooses its note";
  editor.RemoveSelected();
  EXPECT_EQ(Table(editor.Document()), (Entries{{'Z', 14}, {0xBC, 1}, {'Q', 40}}));

  QUndoStack& undo = editor.Document().UndoStack();
  undo.undo();
  EXPECT_EQ(Table(editor.Document()), (Entries{{'Z', 14}, {'S', 1}, {0xBC, 1}, {'Q', 40}}));
  undo.undo();
  undo.undo();
  EXPECT_EQ(Table(editor.Document()), (Entries{{'Z', 0}, {'S', 1}, {0xBC, 1}}));
  undo.redo();
  EXPECT_EQ(Table(editor.Document()), (Entries{{'Z', 14}, {'S', 1}, {0xBC, 1}}));
  while (undo.canUndo()) undo.undo();
  EXPECT_TRUE(editor.Document().Entries().empty());
  EXPECT_FALSE(editor.Document().IsModified());
  EXPECT_EQ(editor.EntryList().rowCount(), 0);
}

TEST_F(LayoutcraftTest, ModifierKeysBindOnlyWhenPressedAlone) {
  editor.Document().New();
  ClickNote(5);
  QTest::keyPress(&editor.Piano(), Qt::Key_Shift);
  QTest::keyClick(&editor.Piano(), Qt::Key_A, Qt::ShiftModifier);
  QTest::keyRelease(&editor.Piano(), Qt::Key_Shift);
  EXPECT_EQ(Table(editor.Document()), (Entries{{'A', 5}}));
  QTest::keyPress(&editor.Piano(), Qt::Key_Control);
  QTest::keyRelease(&editor.Piano(), Qt::Key_Control);
  QTest::keyClick(&editor.Piano(), Qt::Key_Tab);
  EXPECT_EQ(Table(editor.Document()), (Entries{{'A', 5}, {0x11, 5}, {0x09, 5}}));
}

TEST_F(LayoutcraftTest, ShadowedDuplicatesAreShownAndCanBeRemoved) {
  SaveKeyMap(folder / "KEYMAPS/Twice.key", {{'A', 0}, {'B', 2}, {'A', 4}, {'A', 7}});
  ASSERT_TRUE(editor.OpenFile(folder / "KEYMAPS/Twice.key"));
  EXPECT_TRUE(Status().contains(QStringLiteral("2 shadowed"))) << Status().toStdString();
  EXPECT_FALSE(editor.Document().IsShadowed(0));
  EXPECT_TRUE(editor.Document().IsShadowed(2));
  EXPECT_TRUE(
      editor.EntryList().item(3, 3)->text().startsWith(QStringLiteral("shadowed by entry 1")));
  EXPECT_TRUE(editor.Document().KeysOf(4).empty()) << "the picture shows only the keys that play";
  EXPECT_EQ(editor.Document().KeysOf(0), std::vector<std::int16_t>{'A'});

  // Rebinding changes the entry that plays, not a shadowed one.
  editor.NoteField().setValue(9);
  editor.BindKey('A');
  EXPECT_EQ(Table(editor.Document()), (Entries{{'A', 9}, {'B', 2}, {'A', 4}, {'A', 7}}));

  editor.Document().RemoveShadowed();
  EXPECT_EQ(Table(editor.Document()), (Entries{{'A', 9}, {'B', 2}}));
  editor.Document().UndoStack().undo();
  EXPECT_EQ(editor.Document().ShadowedCount(), 2u);
}

TEST_F(LayoutcraftTest, SaveAndReopen) {
  editor.Document().New();
  EXPECT_TRUE(editor.windowTitle().contains(QStringLiteral("Untitled")));
  ClickNote(0);
  Press(Qt::Key_Z);
  ClickNote(12);
  Press(Qt::Key_Q);
  editor.NoteField().setValue(200);
  Press(Qt::Key_BracketLeft);
  const std::string path = folder / "KEYMAPS/Mine.key";
  ASSERT_TRUE(editor.SaveFile(path));
  EXPECT_FALSE(editor.Document().IsModified());
  EXPECT_TRUE(editor.windowTitle().contains(QStringLiteral("Mine.key")));
  EXPECT_EQ(folder.ReadFile("KEYMAPS/Mine.key"),
            std::string("\x0FZVQ_KEYMAPPING1\x03\0\0\0\0Z\0\x0CQ\0\xC8\xDB\0", 29));

  editor.Document().New();
  ASSERT_TRUE(editor.OpenFile(path));
  EXPECT_EQ(Table(editor.Document()), (Entries{{'Z', 0}, {'Q', 12}, {0xDB, 200}}));
  EXPECT_TRUE(Status().startsWith(QStringLiteral("Opened Mine.key: 3 entries")))
      << Status().toStdString();
  LoadKeyMap(path);
  EXPECT_EQ(LookupNote('Q'), 12);
  EXPECT_EQ(LookupNote(0xDB), 200);
}

TEST_F(LayoutcraftTest, BadFilesOpenAsWhatTheyHoldAndFailedSavesSayWhy) {
  folder.WriteFile("KEYMAPS/Text.key", "not a key map at all");
  ASSERT_TRUE(editor.OpenFile(folder / "KEYMAPS/Text.key"));
  EXPECT_TRUE(editor.Document().Entries().empty());
  EXPECT_TRUE(Status().contains(QStringLiteral("is not a key map"))) << Status().toStdString();

  folder.WriteFile("KEYMAPS/Cut.key", std::string("\x0FZVQ_KEYMAPPING1\x05\0\0\0\x07Z\0\x09", 24));
  ASSERT_TRUE(editor.OpenFile(folder / "KEYMAPS/Cut.key"));
  EXPECT_EQ(Table(editor.Document()), (Entries{{'Z', 7}}));
  EXPECT_TRUE(Status().contains(QStringLiteral("ends after 1 of the 5 entries")))
      << Status().toStdString();

  BoxAnswerer answerer(QMessageBox::Ok);
  EXPECT_FALSE(editor.OpenFile(folder / "KEYMAPS/Missing.key"));
  EXPECT_EQ(Table(editor.Document()), (Entries{{'Z', 7}}))
      << "a file that cannot be opened changes nothing";
  editor.BindKey('X');
  EXPECT_FALSE(editor.SaveFile(folder / "NOWHERE/Cut.key"));
  ASSERT_EQ(answerer.Texts().size(), 2u);
  EXPECT_TRUE(answerer.Texts()[1].startsWith(QStringLiteral("Cannot create file ")));
  EXPECT_TRUE(editor.Document().IsModified());
  EXPECT_EQ(editor.Document().FilePath(), folder / "KEYMAPS/Cut.key");
}

TEST_F(LayoutcraftTest, UnsavedChangesAreAskedAbout) {
  editor.Document().New();
  EXPECT_TRUE(editor.MaybeSave()) << "nothing to lose, nothing asked";
  editor.BindKey('Z');
  {
    BoxAnswerer cancel(QMessageBox::Cancel);
    EXPECT_FALSE(editor.MaybeSave());
    ASSERT_EQ(cancel.Texts().size(), 1u);
    EXPECT_TRUE(cancel.Texts()[0].contains(QStringLiteral("Save the changes?")));
  }
  BoxAnswerer discard(QMessageBox::Discard);
  EXPECT_TRUE(editor.MaybeSave());
}

TEST_F(LayoutcraftTest, StartsWithTheKeyMapOfTheConfigurationInUse) {
  SaveKeyMap(folder / "KEYMAPS/Tracker.key", {{'Z', 0}});
  SaveKeyMap(folder / "KEYMAPS/Piano.key", {{'A', 0}, {'W', 1}});
  UseConfiguration(folder, "piano.KEY", 4);  // names compare without regard to case
  editor.OpenStartupKeyMap();
  EXPECT_EQ(Table(editor.Document()), (Entries{{'A', 0}, {'W', 1}}));

  UseConfiguration(folder, "Gone.key", 4);
  editor.OpenStartupKeyMap();
  EXPECT_EQ(Table(editor.Document()), (Entries{{'Z', 0}}));
}
