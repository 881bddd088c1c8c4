#include "radio_menus.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QKeySequence>
#include <QMenu>
#include <QPointer>
#include <QTemporaryDir>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Captions(const QMenu& menu) {
  std::vector<std::string> captions;
  for (const QAction* action : menu.actions()) captions.push_back(ItemCaption(action));
  return captions;
}

// Positions of the checked items.
std::vector<int> Checked(const QMenu& menu) {
  std::vector<int> checked;
  for (const QAction* action : menu.actions()) {
    if (action->isChecked()) checked.push_back(ItemPosition(action));
  }
  return checked;
}

void ProcessDeferredDeletes() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The items the menu owns as Qt children, its own menu action left out.
int OwnedItems(const QMenu& menu) {
  int count = 0;
  for (const QAction* action : menu.findChildren<QAction*>(Qt::FindDirectChildrenOnly)) {
    if (action != menu.menuAction()) ++count;
  }
  return count;
}

void ExpectRadioItems(const QMenu& menu, int group) {
  const QList<QAction*> actions = menu.actions();
  ASSERT_FALSE(actions.isEmpty());
  QActionGroup* shared = actions.first()->actionGroup();
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(shared->exclusionPolicy(), QActionGroup::ExclusionPolicy::ExclusiveOptional);
  for (const QAction* action : actions) {
    EXPECT_TRUE(action->isCheckable());
    EXPECT_EQ(action->actionGroup(), shared);
    EXPECT_EQ(action->property("radioGroup").toInt(), group);
    EXPECT_EQ(action->parent(), &menu);
  }
}

const ChoiceHandler kNoHandler = [](QAction*) {};

// ---- List menus ---------------------------------------------------------------------

TEST(FillListMenu, OneRadioItemPerEntryWithTheCheckedOne) {
  QMenu menu;
  FillListMenu(&menu, {"Piano", "Organ", "Strings"}, 7, 1, kNoHandler);
  EXPECT_EQ(Captions(menu), (std::vector<std::string>{"Piano", "Organ", "Strings"}));
  EXPECT_EQ(Checked(menu), std::vector<int>{1});
  ExpectRadioItems(menu, 7);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ItemPosition(menu.actions()[i]), i);
}

TEST(FillListMenu, ACheckedIndexOutsideTheListChecksNothing) {
  QMenu menu;
  for (std::int32_t checked : {-1, 3, 4, 1000, -2}) {
    FillListMenu(&menu, {"a", "b", "c"}, 1, checked, kNoHandler);
    EXPECT_EQ(menu.actions().size(), 3);
    EXPECT_TRUE(Checked(menu).empty()) << "checked " << checked;
  }
}

TEST(FillListMenu, AnEmptyListLeavesTheMenuEmpty) {
  QMenu menu;
  FillListMenu(&menu, {"old 1", "old 2"}, 1, 0, kNoHandler);
  FillListMenu(&menu, {}, 1, 0, kNoHandler);
  EXPECT_TRUE(menu.actions().isEmpty());
  ProcessDeferredDeletes();
  EXPECT_EQ(OwnedItems(menu), 0);
}

TEST(FillListMenu, CaptionsAreTextInThePlatformsEightBitEncoding) {
  // "Café" and "Zürich" in the platform's encoding (the Western ANSI code page on Windows,
  // UTF-8 elsewhere); the bytes of the other encoding are still a name, and go back
  // unchanged.
#ifdef _WIN32
  const std::string cafe = "Caf\xE9", other = "Caf\xC3\xA9", zurich = "Z\xFCrich";
#else
  const std::string cafe = "Caf\xC3\xA9", other = "Caf\xE9", zurich = "Z\xC3\xBCrich";
#endif
  QMenu menu;
  FillListMenu(&menu, {cafe, other, "&Bass"}, 1, -1, kNoHandler);
  EXPECT_EQ(menu.actions()[0]->text(), QString::fromUtf8("Caf\xC3\xA9"));
  EXPECT_EQ(Captions(menu), (std::vector<std::string>{cafe, other, "&Bass"}));
  // A caption changed after the build is read as it now stands.
  menu.actions()[0]->setText(QString::fromUtf8("Z\xC3\xBCrich"));
  EXPECT_EQ(ItemCaption(menu.actions()[0]), zurich);
}

TEST(FillListMenu, RebuildingReplacesTheItemsAndKeepsOneGroup) {
  QMenu menu;
  FillListMenu(&menu, {"a", "b", "c", "d"}, 2, 3, kNoHandler);
  QPointer<QAction> old = menu.actions()[3];
  for (int round = 0; round < 5; ++round) FillListMenu(&menu, {"x", "y"}, 2, 0, kNoHandler);
  EXPECT_EQ(Captions(menu), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(Checked(menu), std::vector<int>{0});
  EXPECT_EQ(menu.findChildren<QActionGroup*>().size(), 1);
  ASSERT_FALSE(old.isNull());  // deletion waits for the event loop
  EXPECT_EQ(ItemPosition(old), -1);
  EXPECT_EQ(old->actionGroup(), nullptr);
  ProcessDeferredDeletes();
  EXPECT_TRUE(old.isNull());
  EXPECT_EQ(OwnedItems(menu), 2);
}

// ---- Number menus -------------------------------------------------------------------

TEST(FillNumberMenu, OneToSixteenWithTheFirstChecked) {
  QMenu menu;
  FillNumberMenu(&menu, 1, 16, 4, 1, kNoHandler);
  std::vector<std::string> expected;
  for (int v = 1; v <= 16; ++v) expected.push_back(std::to_string(v));
  EXPECT_EQ(Captions(menu), expected);
  EXPECT_EQ(Checked(menu), std::vector<int>{0});
  ExpectRadioItems(menu, 4);
}

TEST(FillNumberMenu, RangesAndChecks) {
  QMenu menu;
  FillNumberMenu(&menu, -2, 1, 1, 0, kNoHandler);
  EXPECT_EQ(Captions(menu), (std::vector<std::string>{"-2", "-1", "0", "1"}));
  EXPECT_EQ(Checked(menu), std::vector<int>{2});

  FillNumberMenu(&menu, 0, 8, 1, 9, kNoHandler);
  EXPECT_EQ(menu.actions().size(), 9);
  EXPECT_TRUE(Checked(menu).empty());

  FillNumberMenu(&menu, 5, 5, 1, 5, kNoHandler);
  EXPECT_EQ(Captions(menu), std::vector<std::string>{"5"});
  EXPECT_EQ(Checked(menu), std::vector<int>{0});

  FillNumberMenu(&menu, 2147483646, 2147483647, 1, 2147483647, kNoHandler);
  EXPECT_EQ(Captions(menu), (std::vector<std::string>{"2147483646", "2147483647"}));
  EXPECT_EQ(Checked(menu), std::vector<int>{1});
}

TEST(FillNumberMenu, ToBelowFromLeavesTheMenuEmpty) {
  QMenu menu;
  FillNumberMenu(&menu, 0, 3, 1, 0, kNoHandler);
  FillNumberMenu(&menu, 5, 4, 1, 4, kNoHandler);
  EXPECT_TRUE(menu.actions().isEmpty());
}

// ---- File menus ---------------------------------------------------------------------

class FillFileMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    for (const char* name : {"b.BMP", "Classic.bmp", "R&B.bmp", "a.bmp", "notes.txt", "bmp"}) {
      std::ofstream(Folder() + "/" + name) << "x";
    }
    ASSERT_TRUE(QDir(dir_.path()).mkdir("x.bmp"));  // a folder: never listed
  }
  std::string Folder() const { return dir_.path().toStdString(); }

 private:
  QTemporaryDir dir_;
};

TEST_F(FillFileMenuTest, ListsMatchingFilesSortedIgnoringCaseWithoutFolders) {
  QMenu menu;
  FillFileMenu(&menu, Folder() + "/*.bmp", 3, "", kNoHandler);
  EXPECT_EQ(Captions(menu), (std::vector<std::string>{"a.bmp", "b.BMP", "Classic.bmp", "R&B.bmp"}));
  EXPECT_TRUE(Checked(menu).empty());
  ExpectRadioItems(menu, 3);
}

TEST_F(FillFileMenuTest, TheCurrentNameIsCheckedIgnoringCase) {
  QMenu menu;
  FillFileMenu(&menu, Folder() + "/*.bmp", 3, "B.bmp", kNoHandler);
  EXPECT_EQ(Checked(menu), std::vector<int>{1});
  FillFileMenu(&menu, Folder() + "/*.BMP", 3, "CLASSIC.BMP", kNoHandler);
  EXPECT_EQ(Checked(menu), std::vector<int>{2});
  FillFileMenu(&menu, Folder() + "/*.bmp", 3, "Classic", kNoHandler);
  EXPECT_TRUE(Checked(menu).empty());
}

TEST_F(FillFileMenuTest, NoMatchOrNoFolderLeavesTheMenuEmpty) {
  QMenu menu;
  FillFileMenu(&menu, Folder() + "/*.bmp", 3, "", kNoHandler);
  ASSERT_FALSE(menu.actions().isEmpty());
  FillFileMenu(&menu, Folder() + "/*.cfg", 3, "", kNoHandler);
  EXPECT_TRUE(menu.actions().isEmpty());
  FillFileMenu(&menu, Folder() + "/missing/*.bmp", 3, "", kNoHandler);
  EXPECT_TRUE(menu.actions().isEmpty());
}

TEST_F(FillFileMenuTest, AnAmpersandInANameMarksTheMnemonic) {
  QMenu menu;
  FillFileMenu(&menu, Folder() + "/R*", 3, "r&b.BMP", kNoHandler);
  ASSERT_EQ(menu.actions().size(), 1);
  const QAction* item = menu.actions()[0];
  EXPECT_EQ(ItemCaption(item), "R&B.bmp");
  EXPECT_TRUE(item->isChecked());
  EXPECT_EQ(QKeySequence::mnemonic(item->text()), QKeySequence(Qt::ALT | Qt::Key_B));
  EXPECT_EQ(item->iconText(), QString("RB.bmp"));  // what a menu shows: without the "&"
  EXPECT_EQ(StripAmpersands(ItemCaption(item)), "RB.bmp");
}

TEST(StripAmpersands, RemovesEveryAmpersand) {
  EXPECT_EQ(StripAmpersands("R&B.bmp"), "RB.bmp");
  EXPECT_EQ(StripAmpersands("&&a&b&"), "ab");
  EXPECT_EQ(StripAmpersands("&"), "");
  EXPECT_EQ(StripAmpersands(""), "");
  EXPECT_EQ(StripAmpersands("Classic.bmp"), "Classic.bmp");
}

// ---- Clicks -------------------------------------------------------------------------

struct Click {
  QAction* sender;
  bool checkedInHandler;
  int position;
};

TEST(RadioItemClicks, CheckingOneUnchecksItsSiblingsAndClickingTheCheckedOneClearsAll) {
  QMenu menu;
  std::vector<Click> clicks;
  const ChoiceHandler record = [&](QAction* sender) {
    clicks.push_back({sender, sender->isChecked(), ItemPosition(sender)});
  };
  FillListMenu(&menu, {"a", "b", "c"}, 1, 0, record);
  QAction* third = menu.actions()[2];

  third->trigger();
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].sender, third);
  EXPECT_TRUE(clicks[0].checkedInHandler);
  EXPECT_EQ(clicks[0].position, 2);
  EXPECT_EQ(Checked(menu), std::vector<int>{2});

  third->trigger();
  ASSERT_EQ(clicks.size(), 2u);
  EXPECT_FALSE(clicks[1].checkedInHandler);
  EXPECT_TRUE(Checked(menu).empty());

  menu.actions()[1]->trigger();
  ASSERT_EQ(clicks.size(), 3u);
  EXPECT_TRUE(clicks[2].checkedInHandler);
  EXPECT_EQ(clicks[2].position, 1);
  EXPECT_EQ(Checked(menu), std::vector<int>{1});
}

TEST(RadioItemClicks, EverySubmenuIsItsOwnRadioGroup) {
  QMenu first;
  QMenu second;
  FillNumberMenu(&first, 0, 2, 5, 0, kNoHandler);
  FillNumberMenu(&second, 0, 2, 5, 1, kNoHandler);
  first.actions()[2]->trigger();
  EXPECT_EQ(Checked(first), std::vector<int>{2});
  EXPECT_EQ(Checked(second), std::vector<int>{1});
}

TEST(RadioItemClicks, ASubmenuRebuiltInsideTheHandlerOfItsOwnItemIsSafe) {
  QMenu menu;
  std::vector<int> chosen;
  ChoiceHandler rebuild;
  rebuild = [&](QAction* sender) {
    const int position = ItemPosition(sender);
    chosen.push_back(position);
    FillNumberMenu(&menu, 10, 10 + position, 2, 10 + position, rebuild);
  };
  FillNumberMenu(&menu, 1, 4, 2, -1, rebuild);
  QPointer<QAction> clicked = menu.actions()[3];
  clicked->trigger();
  EXPECT_EQ(chosen, std::vector<int>{3});
  EXPECT_EQ(Captions(menu), (std::vector<std::string>{"10", "11", "12", "13"}));
  EXPECT_EQ(Checked(menu), std::vector<int>{3});

  ProcessDeferredDeletes();
  EXPECT_TRUE(clicked.isNull());
  EXPECT_EQ(OwnedItems(menu), 4);
  EXPECT_EQ(menu.findChildren<QActionGroup*>().size(), 1);

  // The new items work the same way, and the rebuild again inside their handler.
  menu.actions()[1]->trigger();
  EXPECT_EQ(chosen, (std::vector<int>{3, 1}));
  EXPECT_EQ(Captions(menu), (std::vector<std::string>{"10", "11"}));
  EXPECT_EQ(Checked(menu), std::vector<int>{1});
  ProcessDeferredDeletes();
  EXPECT_EQ(OwnedItems(menu), 2);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
