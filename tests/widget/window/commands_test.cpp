#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <filesystem>
#include <fstream>
#include <thread>

#include "config_file.h"
#include "files.h"
#include "window_fixture.h"

namespace {

// Answers the next file dialog with a typed name (empty: cancel).
void AnswerFileDialog(BoxWatcher& boxes, const std::string& typed,
                      std::string* shownFolder = nullptr) {
  boxes.OtherModal = [&boxes, typed, shownFolder](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) return;
    if (shownFolder != nullptr) {
      *shownFolder = QDir::toNativeSeparators(dialog->directory().absolutePath()).toStdString();
    }
    if (typed.empty()) {
      dialog->reject();
    } else {
      // A file still selected in the list would win over the typed name; typing drops
      // that selection only while the name field has the focus, which the dialog may not
      // have got yet. Drop it first, as a user typing into the field would.
      dialog->findChild<QListView*>("listView")->selectionModel()->clear();
      auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
      edit->setText(QString::fromStdString(typed));
      QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    }
    boxes.OtherModal = nullptr;
  };
}

}  // namespace

TEST_F(WindowTest, NewConfigForgetsThePointerAndWarns) {
  folder.WriteFile("setup.ini", Counted("Default.cfg"));
  SetDefaults();
  Config.Octave = 6;
  Config.KeymapFile = "Other.key";
  WriteConfigFile(folder / "CONFIGS/Default.cfg");
  CreateWindow();
  EXPECT_TRUE(boxes->Boxes.empty());
  EXPECT_EQ(LookupNote('Z'), 5);
  form->NewConfig1->trigger();
  EXPECT_FALSE(FileExists(folder / "setup.ini"));
  ASSERT_EQ(boxes->Boxes.size(), 1u);
  EXPECT_EQ(boxes->Boxes[0].Caption, "Attention!");
  EXPECT_EQ(Config.Octave, 3);
  EXPECT_EQ(CheckedPosition(form->BaseOctave1), 3);
  EXPECT_EQ(LookupNote('Z'), 0);  // the default key map is in use again
  // The exit then saves the defaults as Default.cfg and points at it.
  DestroyWindow();
  form = std::make_unique<TForm1>();
  form->FormDestroy();
  EXPECT_EQ(folder.ReadFile("setup.ini"), Counted("Default.cfg"));
  EXPECT_EQ(folder.ReadFile("CONFIGS/Default.cfg").size(), 94u);
}

TEST_F(WindowTest, OpenConfigCancelledChangesNothing) {
  CreateWindow();
  Item(form->Midi1, 0)->trigger();
  PressKey(Qt::Key_Z);
  std::string shown;
  AnswerFileDialog(*boxes, "", &shown);
  form->LoadConfig1->trigger();
  EXPECT_EQ(shown, std::filesystem::path(folder / "CONFIGS").lexically_normal().string());
  // The devices stay open; the held note was released when the dialog took the focus.
  EXPECT_TRUE(fake->IsOpen(0));
  EXPECT_EQ(fake->MessagesTo(0).back(), ShortMessageOf(0x80, 36, 100));
  EXPECT_EQ(fake->CallsOf("close").size(), 0u);
}

TEST_F(WindowTest, OpenConfigFromAnywhereKeepsItsStoredName) {
  SetDefaults();
  Config.Octave = 1;
  Config.SkinFile = "Small.bmp";
  WriteConfigFile(folder / "mine.cfg");  // stored name: Default.cfg
  CreateWindow();
  AnswerFileDialog(*boxes, folder / "mine");  // no extension typed
  form->LoadConfig1->trigger();
  EXPECT_EQ(Config.Octave, 1);
  EXPECT_EQ(form->ClientSize(), QSize(420, 40));
  EXPECT_EQ(CheckedPosition(form->BaseOctave1), 1);

  // A typed name that does not exist: the open error, nothing changed.
  boxes->Boxes.clear();
  AnswerFileDialog(*boxes, folder / "none.cfg");
  form->LoadConfig1->trigger();
  ASSERT_EQ(boxes->Boxes.size(), 1u);
  EXPECT_EQ(boxes->Boxes[0].Text, "Cannot open file " + (folder / "none.cfg") + ".");
  EXPECT_EQ(Config.Octave, 1);
}

TEST_F(WindowTest, SaveConfigAsWritesACopyAndListsIt) {
  CreateWindow();
  Config.Octave = 7;
  AnswerFileDialog(*boxes, folder / "CONFIGS/Copy");
  form->SaveConfig1->trigger();
  EXPECT_TRUE(FileExists(folder / "CONFIGS/Copy.cfg"));
  EXPECT_EQ(Config.ConfigName, "Default.cfg");
  EXPECT_EQ(Captions(form->Configs1), (std::vector<std::string>{"Copy.cfg"}));
  EXPECT_EQ(CheckedPosition(form->Configs1), -1);
  // Onto an existing file: replaced without a question.
  Config.Octave = 2;
  AnswerFileDialog(*boxes, folder / "CONFIGS/Copy.cfg");
  form->SaveConfig1->trigger();
  TKeyboardConfig saved = Config;
  ReadConfigFile(folder / "CONFIGS/Copy.cfg");
  EXPECT_EQ(Config.Octave, 2);
  Config = saved;
}

TEST_F(WindowTest, BothConfigDialogsShowTheFilterConfigs) {
  CreateWindow();
  for (QAction* command : {form->LoadConfig1, form->SaveConfig1}) {
    std::vector<std::string> filters;
    boxes->OtherModal = [&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (dialog == nullptr) return;
      const auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo");
      for (int i = 0; i < combo->count(); ++i) filters.push_back(combo->itemText(i).toStdString());
      dialog->reject();
      boxes->OtherModal = nullptr;
    };
    command->trigger();
    EXPECT_EQ(filters, std::vector<std::string>{"Configs"}) << command->text().toStdString();
  }
}

TEST_F(WindowTest, ConfigDialogsAreMadeAtTheirFirstUseAndKept) {
  CreateWindow();
  EXPECT_TRUE(form->findChildren<QFileDialog*>().isEmpty());
  std::vector<QFileDialog*> shown;
  for (int round = 0; round < 2; ++round) {
    for (QAction* command : {form->LoadConfig1, form->SaveConfig1}) {
      boxes->OtherModal = [&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (dialog == nullptr) return;
        shown.push_back(dialog);
        dialog->reject();
        boxes->OtherModal = nullptr;
      };
      command->trigger();
    }
  }
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0]->objectName(), "OpenDialog1");
  EXPECT_EQ(shown[0]->acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(shown[1]->objectName(), "SaveDialog1");
  EXPECT_EQ(shown[1]->acceptMode(), QFileDialog::AcceptSave);
  EXPECT_TRUE(shown[1]->testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_EQ(shown[2], shown[0]);
  EXPECT_EQ(shown[3], shown[1]);
  EXPECT_EQ(form->findChildren<QFileDialog*>().size(), 2);
}

TEST_F(WindowTest, StopCommandsCloseEverything) {
  CreateWindow();
  Item(form->Midi1, 0)->trigger();
  Item(form->PlayOutputDevice1, 1)->trigger();
  for (QAction* command : {form->Freealldevices1, form->AllNotesOff1}) {
    PressKey(Qt::Key_Z);
    command->trigger();
    EXPECT_FALSE(fake->IsOpen(0) || fake->IsOpen(1));
    EXPECT_EQ(PressedNotes[36], 0);
  }
}

TEST_F(WindowTest, ToolLaunchesStartTheProgramOfThatNameAndFailSilently) {
  CreateWindow();
  std::filesystem::copy_file(LAUNCHED_TOOL, folder / LAUNCHED_TOOL_NAME);
  form->EditKeymapping1->trigger();
  for (int i = 0; i < 100 && folder.ReadFile("launched.txt").empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(folder.ReadFile("launched.txt").empty());  // ran in the program folder
  boxes->Boxes.clear();
  form->GetKEyboardScancode1->trigger();  // missing: nothing visible happens
  form->Context1->trigger();
  EXPECT_TRUE(boxes->Boxes.empty());
}

TEST_F(WindowTest, ExitClosesTheWindowAndTheSaveGoesToTheStoredName) {
  CreateWindow();
  form->Exit1->trigger();
  EXPECT_FALSE(form->isVisible());
  Config.ConfigName = "../escape.cfg";
  form->FormDestroy();
  EXPECT_TRUE(FileExists(folder / "CONFIGS/escape.cfg"));
  EXPECT_FALSE(FileExists(folder / "../escape.cfg"));
  EXPECT_EQ(folder.ReadFile("setup.ini"), Counted("escape.cfg"));
}

TEST_F(WindowTest, FailuresOfTheFileCommandsLeaveTheStateAlone) {
  CreateWindow();
  boxes->Boxes.clear();
  // Save Config As.. into a folder that does not exist.
  AnswerFileDialog(*boxes, folder / "NOWHERE/x.cfg");
  form->SaveConfig1->trigger();
  ASSERT_EQ(boxes->Boxes.size(), 1u);
  EXPECT_EQ(boxes->Boxes[0].Text, "Cannot create file " + (folder / "NOWHERE/x.cfg") + ".");
  EXPECT_TRUE(form->Configs1->actions().isEmpty());

  // Open Config of a configuration whose instrument list is missing: the menus stop
  // before the instrument submenus, which keep their entries; the skin is not reloaded.
  SetDefaults();
  Config.PatchFile = "Gone.kit";
  Config.SkinFile = "Small.bmp";
  WriteConfigFile(folder / "gone.cfg");
  SetDefaults();
  boxes->Boxes.clear();
  AnswerFileDialog(*boxes, folder / "gone.cfg");
  form->LoadConfig1->trigger();
  ASSERT_EQ(boxes->Boxes.size(), 1u);
  EXPECT_EQ(boxes->Boxes[0].Text, "Cannot open file " + (folder / "PATCHES/Gone.kit") + ".");
  EXPECT_EQ(Captions(form->OutputInstrument1),
            (std::vector<std::string>{"Piano", "Organ", "Flute"}));
  EXPECT_EQ(form->ClientSize(), QSize(630, 60));
  EXPECT_EQ(Config.SkinFile, "Small.bmp");
}
