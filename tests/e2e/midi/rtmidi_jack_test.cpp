// The machine's back end against a real JACK graph (JACK through its own library).
#include "jack_fixture.h"

namespace {

using RtMidiJackTest = JackTest;

TEST_F(RtMidiJackTest, ListsTheJackPortsWithTheVirtualOutputFirst) {
  MachineMidi system(true);
  const std::vector<std::string> names = system->DeviceNames();
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names[0], "Tessivar virtual output");
  EXPECT_EQ(std::count(names.begin(), names.end(), "monitor:in"), 1);
  EXPECT_EQ(JackPorts("^Tessivar:Tessivar$").size(), 1u) << "the virtual port is in the graph";
  EXPECT_EQ(std::count(names.begin(), names.end(), "Tessivar:Tessivar input"), 0)
      << "the client's own input is no destination of its own";

  // To a second client, the first one's input is a destination like any other.
  MachineMidi plain(false);
  std::vector<std::string> others = plain->DeviceNames();
  EXPECT_EQ(std::count(others.begin(), others.end(), "Tessivar:Tessivar input"), 1);
  others.erase(std::remove(others.begin(), others.end(), "Tessivar:Tessivar input"), others.end());
  EXPECT_EQ(others, std::vector<std::string>(names.begin() + 1, names.end()));
}

TEST_F(RtMidiJackTest, MessagesArriveWithTheLengthTheirStatusImplies) {
  MachineMidi system(false);
  const std::int32_t id = IdOf(*system, "monitor:in");
  system->OpenDevice(id);
  ASSERT_TRUE(monitor_->IsConnectedTo(JackPorts("^Tessivar.*:output$").at(0)));

  Send(*system, id, 0x90, 60, 100);
  Send(*system, id, 0xC1, 5, 0x55);
  Send(*system, id, 0xD2, 40, 0x55);
  Send(*system, id, 0xE3, 0x00, 0x40);
  Send(*system, id, 0xB4, 7, 90);
  Send(*system, id, 0x80, 60, 64);
  EXPECT_EQ(monitor_->WaitForEvents(6, 3s), (std::vector<Bytes>{{0x90, 60, 100},
                                                                {0xC1, 5},
                                                                {0xD2, 40},
                                                                {0xE3, 0x00, 0x40},
                                                                {0xB4, 7, 90},
                                                                {0x80, 60, 64}}));
  system->CloseDevice(id);
}

TEST_F(RtMidiJackTest, ClosingSendsANoteOffForEveryNoteStillOn) {
  MachineMidi system(true);
  const std::int32_t id = IdOf(*system, "monitor:in");
  Send(*system, id, 0x90, 60, 100);                              // stays on
  Send(*system, id, 0x93, 64, 80);                               // stays on, channel 4
  Send(*system, id, 0x90, 67, 90), Send(*system, id, 0x80, 67);  // ended by a note-off
  Send(*system, id, 0x90, 70, 90), Send(*system, id, 0x90, 70);  // ended by velocity 0
  Send(*system, id, 0x91, 60, 0);                                // never sounded
  Send(*system, id, 0x93, 64, 90);  // struck again: one note-off is due
  ASSERT_EQ(monitor_->WaitForEvents(8, 3s).size(), 8u);
  monitor_->Clear();

  system->CloseDevice(id);
  EXPECT_EQ(monitor_->WaitForEvents(2, 3s), (std::vector<Bytes>{{0x80, 60, 0}, {0x83, 64, 0}}));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(monitor_->Events().size(), 2u) << "nothing else is sent on close";

  // A device reopened later owes nothing for the notes of the earlier opening.
  monitor_->Clear();
  system->OpenDevice(id);
  system->CloseDevice(id);
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(monitor_->Events().empty());
}

TEST_F(RtMidiJackTest, NotesStillOnWhenTheProgramEndsGetTheirNoteOffs) {
  MachineMidi system(true);
  Send(*system, IdOf(*system, "monitor:in"), 0x95, 72, 100);
  ASSERT_EQ(monitor_->WaitForEvents(1, 3s).size(), 1u);
  monitor_->Clear();
  system.End();
  EXPECT_EQ(monitor_->WaitForEvents(1, 3s), (std::vector<Bytes>{{0x85, 72, 0}}));
}

TEST_F(RtMidiJackTest, ADeviceIsOpenedByTheNameRecordedAtStartUp) {
  // Two ports before the monitor's; the first of them goes away after the listing, so
  // every later port number shifts down by one.
  monitor_.reset();
  auto early = std::make_unique<JackMidiMonitor>("early");
  JackMidiMonitor other("other");
  monitor_ = std::make_unique<JackMidiMonitor>("monitor");
  ASSERT_TRUE(early->Ok() && other.Ok() && monitor_->Ok());

  MachineMidi system(false);
  const std::int32_t id = IdOf(*system, "monitor:in");
  early.reset();

  Send(*system, id, 0x90, 61, 101);
  EXPECT_EQ(monitor_->WaitForEvents(1, 3s), (std::vector<Bytes>{{0x90, 61, 101}}));
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(other.Events().empty());
  system->CloseDevice(id);
}

TEST_F(RtMidiJackTest, APortOrAServerThatWentAwayFailsWithItsOwnText) {
  MachineMidi system(true);
  const std::int32_t id = IdOf(*system, "monitor:in");
  monitor_->Close();
  const std::string text = MessageOf([&] { system->OpenDevice(id); });
  EXPECT_NE(text.find("monitor:in"), std::string::npos) << text;
  EXPECT_FALSE(system->IsOpen(id));
  system->OpenDevice(0);  // the other devices are not affected
  system->CloseDevice(0);

  server_->Stop();
  std::this_thread::sleep_for(100ms);
  const std::string away = MessageOf([&] { system->OpenDevice(0); });
  EXPECT_NE(away.find("JACK server not running"), std::string::npos) << away;
}

TEST_F(RtMidiJackTest, WithoutAReachableBackEndThereIsNone) {
  monitor_.reset();
  server_->Stop();
  EXPECT_FALSE(MachineMidi(true).Reached());
}

}  // namespace
