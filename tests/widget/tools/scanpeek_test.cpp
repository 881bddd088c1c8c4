#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include "files.h"
#include "key_viewer.h"
#include "tools_fixture.h"

namespace {

class ScanpeekTest : public ::testing::Test {
 protected:
  ScanpeekTest() {
    SaveKeyMap(folder / "KEYMAPS/Mine.key", {{'Z', 0}, {'Q', 12}, {'X', 200}, {'Z', 5}});
    UseConfiguration(folder, "Mine.key", 3);
    viewer = std::make_unique<KeyViewer>();
  }
  QString Text(const char* name) { return viewer->findChild<QLabel*>(QLatin1String(name))->text(); }
  int HistoryCount() { return viewer->findChild<QListWidget*>(QStringLiteral("history"))->count(); }
  void Send(QEvent::Type type, int qtKey, bool autoRepeat = false) {
    QKeyEvent event(type, qtKey, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(viewer.get(), &event);
  }

  TempProgramFolder folder;
  std::unique_ptr<KeyViewer> viewer;
};

}  // namespace

TEST_F(ScanpeekTest, ShowsCodeNameAndNoteOfTheKeyMapInUse) {
  EXPECT_TRUE(viewer->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(Text("keyMap").contains(QStringLiteral("Mine.key")));

  QTest::keyClick(viewer.get(), Qt::Key_Z);
  EXPECT_EQ(Text("code"), QStringLiteral("5A"));
  EXPECT_EQ(Text("name"), QStringLiteral("Z"));
  EXPECT_EQ(Text("note"), QStringLiteral("Note 0 (C)   at octave 3: 36 (C2)"));

  QTest::keyClick(viewer.get(), Qt::Key_Q);
  EXPECT_EQ(viewer->LastKey().AbsoluteNote, 48);
  QTest::keyClick(viewer.get(), Qt::Key_X);
  EXPECT_EQ(Text("note"), QStringLiteral("Note 200 (G#)   at octave 3: 236, not played"));
  QTest::keyClick(viewer.get(), Qt::Key_Comma);
  EXPECT_EQ(Text("code"), QStringLiteral("BC"));
  EXPECT_EQ(Text("name"), QStringLiteral("VK_OEM_COMMA"));
  EXPECT_EQ(Text("note"), QStringLiteral("No note in Mine.key"));
  QTest::keyClick(viewer.get(), Qt::Key_Tab);  // no focus change: Tab is a key like any other
  EXPECT_EQ(Text("name"), QStringLiteral("VK_TAB"));

  auto* history = viewer->findChild<QListWidget*>(QStringLiteral("history"));
  ASSERT_EQ(history->count(), 5);
  EXPECT_EQ(history->item(0)->text(), QStringLiteral("09  VK_TAB"));
  EXPECT_EQ(history->item(4)->text(), QStringLiteral("5A  Z  note 0"));
  for (int i = 0; i < 20; ++i) QTest::keyClick(viewer.get(), Qt::Key_A);
  EXPECT_EQ(HistoryCount(), KeyViewer::HistoryLength);
}

TEST_F(ScanpeekTest, AHeldKeyShowsOnce) {
  Send(QEvent::KeyPress, Qt::Key_Z);
  Send(QEvent::KeyPress, Qt::Key_Z, true);  // auto-repeat as Qt marks it
  Send(QEvent::KeyRelease, Qt::Key_Z, true);
  Send(QEvent::KeyPress, Qt::Key_Z);  // a repeat Qt could not tell from a press
  EXPECT_EQ(HistoryCount(), 1);
  Send(QEvent::KeyRelease, Qt::Key_Z);
  Send(QEvent::KeyPress, Qt::Key_Z);
  EXPECT_EQ(HistoryCount(), 2);
}

TEST_F(ScanpeekTest, WithoutAConfigurationTheDefaultsAndTheirKeyMapAreUsed) {
  viewer.reset();
  DeleteFileAt(folder / "setup.ini");
  SaveKeyMap(folder / "KEYMAPS/Tracker.key", {{'Z', 0}});
  viewer = std::make_unique<KeyViewer>();
  QTest::keyClick(viewer.get(), Qt::Key_Z);
  EXPECT_TRUE(Text("keyMap").contains(QStringLiteral("Tracker.key")));
  EXPECT_EQ(viewer->LastKey().RelativeNote, 0);
}
