#include <QTest>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "config_file.h"
#include "window_fixture.h"

TEST_F(WindowTest, DeviceListsAcceptNone) {
  CreateWindow();
  Item(form->Midi1, 1)->trigger();
  EXPECT_EQ(Config.RecordingDevice, 1);
  EXPECT_EQ(CheckedPosition(form->Midi1), 1);
  PressKey(Qt::Key_Z);
  EXPECT_TRUE(fake->IsOpen(1));
  Item(form->Midi1, 1)->trigger();  // clicking the checked device: none
  EXPECT_EQ(Config.RecordingDevice, -1);
  EXPECT_EQ(CheckedPosition(form->Midi1), -1);
  EXPECT_FALSE(fake->IsOpen(1));  // every change turns notes off
  EXPECT_EQ(PressedNotes[36], 0);
  boxes->Boxes.clear();
  PressKey(Qt::Key_Z);
  ASSERT_EQ(boxes->Boxes.size(), 1u);
  EXPECT_EQ(boxes->Boxes[0].Caption, "Attention!");

  Item(form->PlayOutputDevice1, 2)->trigger();
  EXPECT_EQ(Config.PlayingDevice, 2);
}

TEST_F(WindowTest, InstrumentsAndChannels) {
  CreateWindow();
  Item(form->Midi1, 0)->trigger();
  Item(form->OutputInstrument1, 2)->trigger();
  EXPECT_EQ(Config.RecordingInstrument, 2);
  Item(form->OutputChannal1, 9)->trigger();
  EXPECT_EQ(Config.RecordingChannel, 10);
  Item(form->OutputChannal1, 9)->trigger();  // re-checked, not cleared
  EXPECT_EQ(Config.RecordingChannel, 10);
  EXPECT_EQ(CheckedPosition(form->OutputChannal1), 9);
  fake->ClearLog();
  PressKey(Qt::Key_Z);
  EXPECT_EQ(fake->MessagesTo(0), (std::vector<std::uint32_t>{ShortMessageOf(0xC9, 2, 0),
                                                             ShortMessageOf(0x99, 36, 100)}));
  Item(form->PlayingInstrument1, 1)->trigger();
  EXPECT_EQ(Config.PlayingInstrument, 1);
  Item(form->PlayingInstrument1, 1)->trigger();
  EXPECT_EQ(Config.PlayingInstrument, -1);
  Item(form->PlayedChannal1, 15)->trigger();
  EXPECT_EQ(Config.PlayingChannel, 16);
}

TEST_F(WindowTest, AnotherInstrumentListKeepsThePositionsAndTheNotes) {
  CreateWindow();
  Item(form->Midi1, 0)->trigger();
  Item(form->OutputInstrument1, 2)->trigger();
  PressKey(Qt::Key_Z);
  Item(form->Instruments1, 1)->trigger();  // Two.kit
  EXPECT_EQ(Config.PatchFile, "Two.kit");
  EXPECT_EQ(Captions(form->OutputInstrument1), (std::vector<std::string>{"First", "", "Third"}));
  EXPECT_EQ(CheckedPosition(form->OutputInstrument1), 2);
  EXPECT_EQ(PressedNotes[36], 1);  // no notes off for a list change
  EXPECT_TRUE(fake->IsOpen(0));
}

TEST_F(WindowTest, SkinChoiceReloadsResizesAndRepaints) {
  CreateWindow();
  Item(form->Skin1, 1)->trigger();
  EXPECT_EQ(Config.SkinFile, "Small.bmp");
  EXPECT_EQ(form->ClientSize(), QSize(420, 40));
  Item(form->Skin1, 1)->trigger();  // the checked skin stays checked and reloads
  EXPECT_EQ(CheckedPosition(form->Skin1), 1);
  // A skin that is not a bitmap: the error, the name kept, the size unchanged.
  folder.WriteFile("SKINS/Broken.bmp", "not a bitmap");
  form->BuildChoiceMenus();
  boxes->Boxes.clear();
  Item(form->Skin1, 0)->trigger();  // Broken.bmp sorts first
  ASSERT_EQ(boxes->Boxes.size(), 1u);
  EXPECT_EQ(boxes->Boxes[0].Text, "Bitmap image is not valid.");
  EXPECT_EQ(Config.SkinFile, "Broken.bmp");
  EXPECT_EQ(form->ClientSize(), QSize(420, 40));
}

TEST_F(WindowTest, KeymapChoiceLoadsTheTableWithoutStoppingNotes) {
  CreateWindow();
  Item(form->Midi1, 0)->trigger();
  PressKey(Qt::Key_Z);
  Item(form->KEymapping1, 0)->trigger();  // Other.key: Z -> 5
  EXPECT_EQ(Config.KeymapFile, "Other.key");
  EXPECT_EQ(LookupNote('Z'), 5);
  EXPECT_EQ(PressedNotes[36], 1);
  // Released through the new table: note 41 goes off, 36 stays held.
  ReleaseKey(Qt::Key_Z);
  EXPECT_EQ(fake->MessagesTo(0).back(), ShortMessageOf(0x80, 41, 100));
  EXPECT_EQ(PressedNotes[36], 1);
}

TEST_F(WindowTest, ConfigChoiceLoadsRebuildsAndReloadsTheKeyMap) {
  SetDefaults();
  Config.ConfigName = "Stored.cfg";
  Config.SkinFile = "Small.bmp";
  Config.KeymapFile = "Other.key";
  Config.RecordingDevice = 2;
  WriteConfigFile(folder / "CONFIGS/B.cfg");
  SetDefaults();
  WriteConfigFile(folder / "CONFIGS/A.cfg");
  folder.WriteFile("setup.ini", Counted("A.cfg"));
  CreateWindow();
  EXPECT_EQ(Captions(form->Configs1), (std::vector<std::string>{"A.cfg", "B.cfg"}));
  Item(form->Midi1, 0)->trigger();
  PressKey(Qt::Key_Z);

  Item(form->Configs1, 1)->trigger();  // rebuilds the very submenu of the clicked item
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(Config.ConfigName, "Stored.cfg");
  EXPECT_EQ(Config.RecordingDevice, 2);
  EXPECT_EQ(CheckedPosition(form->Midi1), 2);
  EXPECT_EQ(form->ClientSize(), QSize(420, 40));
  EXPECT_FALSE(fake->IsOpen(0));
  EXPECT_EQ(PressedNotes[36], 0);
  EXPECT_EQ(LookupNote('Z'), 5);  // the key map the configuration names is in use
  EXPECT_EQ(CheckedPosition(form->KEymapping1), 0);
  EXPECT_EQ(Captions(form->Configs1), (std::vector<std::string>{"A.cfg", "B.cfg"}));
  EXPECT_EQ(CheckedPosition(form->Configs1), -1);  // no file is named Stored.cfg
}

TEST_F(WindowTest, AMissingInstrumentListStopsTheBuildBeforeTheInstrumentMenus) {
  CreateWindow();
  Config.PatchFile = "Gone.kit";
  EXPECT_THROW(form->BuildChoiceMenus(), std::exception);
  EXPECT_EQ(Captions(form->OutputInstrument1),
            (std::vector<std::string>{"Piano", "Organ", "Flute"}));
  EXPECT_EQ(form->InstrumentNames.size(), 3u);
}

TEST_F(WindowTest, ListsShowWhatTheFilesHold) {
  std::string many;
  for (int i = 0; i < 130; ++i) many += "Program " + std::to_string(i) + "\n";
  folder.WriteFile("PATCHES/Many.kit", many);
  SaveBmp(MakeTestSkin(140, 80), folder / "SKINS/R&B.bmp");
  SetDefaults();
  Config.SkinFile = "SMALL.BMP";  // differs only in letter case
  Config.RecordingDevice = 7;     // beyond the three devices
  WriteConfigFile(folder / "CONFIGS/Default.cfg");
  folder.WriteFile("setup.ini", Counted("Default.cfg"));
  CreateWindow();
  EXPECT_EQ(Captions(form->Skin1),
            (std::vector<std::string>{"Classic.bmp", "R&B.bmp", "Small.bmp"}));
  EXPECT_EQ(CheckedPosition(form->Skin1), 2);
  EXPECT_EQ(CheckedPosition(form->Midi1), -1);
  EXPECT_EQ(form->ClientSize(), QSize(420, 40));

  Item(form->Skin1, 1)->trigger();  // the "&" marks the accelerator; the name keeps none
  EXPECT_EQ(Config.SkinFile, "RB.bmp");
  ASSERT_FALSE(boxes->Boxes.empty());
  EXPECT_EQ(boxes->Boxes.back().Text, "Cannot open file " + (folder / "SKINS/RB.bmp") + ".");

  Item(form->Instruments1, 1)->trigger();  // Many.kit
  ASSERT_EQ(form->OutputInstrument1->actions().size(), 130);
  Item(form->OutputInstrument1, 129)->trigger();
  EXPECT_EQ(Config.RecordingInstrument, 129);
}

// The window does not wait for the MIDI server: the device lists follow once it is
// reached, or are filled, waiting for it, when one of them is opened before that.
TEST_F(WindowTest, DeviceListsFollowAMidiSystemStillBeingMade) {
  SetDefaults();
  Config.RecordingDevice = 2;
  Config.PlayingDevice = 0;
  WriteConfigFile(folder / "CONFIGS/Default.cfg");
  folder.WriteFile("setup.ini", Counted("Default.cfg"));
  const std::vector<std::string> names{"Synth", "Port A", "Port B"};
  for (const bool openedFirst : {false, true}) {
    SCOPED_TRACE(openedFirst ? "list opened first" : "list filled when ready");
    std::atomic<bool> release{false};
    InstallMidiBackEnds(std::function<MidiBackEnds()>([&release, &names] {
      while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      MidiBackEnds backEnds;
      backEnds.push_back(std::make_unique<FakeMidiSystem>(names));
      return backEnds;
    }));
    fake = nullptr;
    CreateWindow();
    EXPECT_TRUE(form->Midi1->isEmpty());
    EXPECT_TRUE(form->PlayOutputDevice1->isEmpty());
    EXPECT_EQ(Config.RecordingDevice, 2);
    StartMakingMidiBackEnds();
    if (openedFirst) {
      std::thread releaser([&release] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        release = true;
      });
      form->PlayOutputDevice1->popup(form->mapToGlobal(QPoint(0, 0)));
      EXPECT_EQ(Captions(form->PlayOutputDevice1), names);  // before it is shown
      form->PlayOutputDevice1->hide();
      releaser.join();
    } else {
      QCoreApplication::processEvents();
      EXPECT_TRUE(form->Midi1->isEmpty());
      release = true;
      EXPECT_TRUE(QTest::qWaitFor([this] { return !form->Midi1->isEmpty(); }, 5000));
    }
    EXPECT_EQ(Captions(form->Midi1), names);
    EXPECT_EQ(CheckedPosition(form->Midi1), 2);
    EXPECT_EQ(CheckedPosition(form->PlayOutputDevice1), 0);
    // Filled once: the notice that comes after a list was opened adds nothing.
    QTest::qWait(20);
    EXPECT_EQ(Captions(form->PlayOutputDevice1), names);
    Item(form->Midi1, 1)->trigger();
    EXPECT_EQ(Config.RecordingDevice, 1);
    DestroyWindow();
  }
}

// A synthesizer started while the program runs is offered when a device list opens, after
// the ports listed before, so that every stored position keeps its port.
TEST_F(WindowTest, DeviceListsTakeNewPortsAfterTheOnesListedWhenTheyOpen) {
  CreateWindow();
  Item(form->Midi1, 2)->trigger();
  fake->Devices.push_back("Late synth");
  EXPECT_EQ(Captions(form->Midi1), (std::vector<std::string>{"Synth", "Port A", "Port B"}));
  form->PlayOutputDevice1->popup(form->mapToGlobal(QPoint(0, 0)));
  const std::vector<std::string> names{"Synth", "Port A", "Port B", "Late synth"};
  EXPECT_EQ(Captions(form->PlayOutputDevice1), names);
  EXPECT_EQ(Captions(form->Midi1), names);
  EXPECT_EQ(CheckedPosition(form->Midi1), 2);
  Item(form->PlayOutputDevice1, 3)->trigger();
  form->PlayOutputDevice1->hide();
  EXPECT_EQ(Config.PlayingDevice, 3);
  PressKey(Qt::Key_Z);
  EXPECT_TRUE(fake->IsOpen(2));
  EXPECT_TRUE(fake->IsOpen(3));
  EXPECT_EQ(fake->MessagesTo(3), (std::vector<std::uint32_t>{ShortMessageOf(0x90, 36, 100)}));
}

// A key map saved while the program runs (the editor of the Tools menu) is offered the
// next time the list opens; one that went away is no longer offered.
TEST_F(WindowTest, TheKeymapListIsLookedUpAgainWhenItOpens) {
  CreateWindow();
  EXPECT_EQ(Captions(form->KEymapping1), (std::vector<std::string>{"Other.key", "Tracker.key"}));
  folder.WriteFile("KEYMAPS/Mine.key", KeyMapBytes({{7, 'Z'}}));
  std::filesystem::remove(folder / "KEYMAPS/Other.key");
  form->KEymapping1->popup(form->mapToGlobal(QPoint(0, 0)));
  EXPECT_EQ(Captions(form->KEymapping1), (std::vector<std::string>{"Mine.key", "Tracker.key"}));
  EXPECT_EQ(CheckedPosition(form->KEymapping1), 1);  // the map in use stays checked
  Item(form->KEymapping1, 0)->trigger();
  form->KEymapping1->hide();
  EXPECT_EQ(Config.KeymapFile, "Mine.key");
  EXPECT_EQ(LookupNote('Z'), 7);
}
