#include "jack_fixture.h"
#include "rtmidi_system.h"

namespace {

using RtMidiJackTest = JackTest;

TEST_F(RtMidiJackTest, ListsTheJackPortsWithTheVirtualOutputFirst) {
  auto system = CreateRtMidiSystem(true);
  const std::vector<std::string> names = DeviceNames(*system);
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names[0], "Tessivar virtual output");
  EXPECT_EQ(std::count(names.begin(), names.end(), "monitor:in"), 1);
  EXPECT_EQ(JackPorts("^Tessivar:Tessivar$").size(), 1u) << "the virtual port is in the graph";
  std::string name;
  EXPECT_EQ(system->DeviceName(static_cast<std::uint32_t>(names.size()), name),
            MMSYSERR_BADDEVICEID);
  MidiHandle handle = 0;
  EXPECT_EQ(system->Open(static_cast<std::uint32_t>(names.size()), handle), MMSYSERR_BADDEVICEID);

  auto plain = CreateRtMidiSystem(false);
  EXPECT_EQ(DeviceNames(*plain), std::vector<std::string>(names.begin() + 1, names.end()));
}

TEST_F(RtMidiJackTest, MessagesArriveWithTheLengthTheirStatusImplies) {
  auto system = CreateRtMidiSystem(false);
  MidiHandle handle = 0;
  ASSERT_EQ(system->Open(IdOf(*system, "monitor:in"), handle), MMSYSERR_NOERROR);
  ASSERT_NE(handle, 0u);
  ASSERT_TRUE(monitor_->IsConnectedTo(JackPorts("^Tessivar.*:output$").at(0)));

  const std::vector<std::uint32_t> messages = {Message(0x90, 60, 100),  Message(0xC1, 5, 0x55),
                                               Message(0xD2, 40, 0x55), Message(0xE3, 0x00, 0x40),
                                               Message(0xB4, 7, 90),    Message(0x80, 60, 64)};
  for (const std::uint32_t message : messages) {
    ASSERT_EQ(system->ShortMessage(handle, message), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(monitor_->WaitForEvents(6, 3s), (std::vector<Bytes>{{0x90, 60, 100},
                                                                {0xC1, 5},
                                                                {0xD2, 40},
                                                                {0xE3, 0x00, 0x40},
                                                                {0xB4, 7, 90},
                                                                {0x80, 60, 64}}));

  ASSERT_EQ(system->Close(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(system->ShortMessage(handle, Message(0x90, 60, 100)), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(system->Close(handle), MMSYSERR_INVALHANDLE);
}

TEST_F(RtMidiJackTest, ClosingSendsANoteOffForEveryNoteStillOn) {
  auto system = CreateRtMidiSystem(true);
  MidiHandle handle = 0;
  ASSERT_EQ(system->Open(IdOf(*system, "monitor:in"), handle), MMSYSERR_NOERROR);
  for (const std::uint32_t message : {
           Message(0x90, 60, 100),                       // stays on
           Message(0x93, 64, 80),                        // stays on, channel 4
           Message(0x90, 67, 90), Message(0x80, 67, 0),  // ended by a note-off
           Message(0x90, 70, 90), Message(0x90, 70, 0),  // ended by velocity 0
           Message(0x91, 60, 0),                         // never sounded
           Message(0x93, 64, 90),                        // struck again: one note-off is due
       }) {
    ASSERT_EQ(system->ShortMessage(handle, message), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(monitor_->WaitForEvents(8, 3s).size(), 8u);
  monitor_->Clear();

  ASSERT_EQ(system->Close(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(monitor_->WaitForEvents(2, 3s), (std::vector<Bytes>{{0x80, 60, 0}, {0x83, 64, 0}}));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(monitor_->Events().size(), 2u) << "nothing else is sent on close";

  // A device reopened later owes nothing for the notes of the earlier opening.
  monitor_->Clear();
  ASSERT_EQ(system->Open(IdOf(*system, "monitor:in"), handle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->Close(handle), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(monitor_->Events().empty());
}

TEST_F(RtMidiJackTest, NotesStillOnWhenTheSystemEndsGetTheirNoteOffs) {
  auto system = CreateRtMidiSystem(true);
  MidiHandle handle = 0;
  ASSERT_EQ(system->Open(IdOf(*system, "monitor:in"), handle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0x95, 72, 100)), MMSYSERR_NOERROR);
  ASSERT_EQ(monitor_->WaitForEvents(1, 3s).size(), 1u);
  monitor_->Clear();
  system.reset();
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

  auto system = CreateRtMidiSystem(false);
  const std::uint32_t id = IdOf(*system, "monitor:in");
  early.reset();

  MidiHandle handle = 0;
  ASSERT_EQ(system->Open(id, handle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0x90, 61, 101)), MMSYSERR_NOERROR);
  EXPECT_EQ(monitor_->WaitForEvents(1, 3s), (std::vector<Bytes>{{0x90, 61, 101}}));
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(other.Events().empty());
  EXPECT_EQ(system->Close(handle), MMSYSERR_NOERROR);
}

TEST_F(RtMidiJackTest, APortThatVanishedFailsToOpenWithAText) {
  auto system = CreateRtMidiSystem(true);
  const std::uint32_t id = IdOf(*system, "monitor:in");
  monitor_->Close();

  MidiHandle handle = 0;
  const MidiResult result = system->Open(id, handle);
  EXPECT_EQ(result, MIDIERR_NODEVICE);
  EXPECT_EQ(handle, 0u);
  std::string text;
  ASSERT_EQ(system->ErrorText(result, text), MMSYSERR_NOERROR);
  EXPECT_NE(text.find("monitor:in"), std::string::npos) << text;

  // The other devices are not affected.
  MidiHandle virtualHandle = 0;
  EXPECT_EQ(system->Open(0, virtualHandle), MMSYSERR_NOERROR);
  EXPECT_EQ(system->Close(virtualHandle), MMSYSERR_NOERROR);
}

TEST_F(RtMidiJackTest, AServerThatWentAwayGivesTheBackEndsOwnText) {
  auto system = CreateRtMidiSystem(false);
  const std::uint32_t id = IdOf(*system, "monitor:in");
  monitor_.reset();
  server_->Stop();

  MidiHandle handle = 0;
  const MidiResult result = system->Open(id, handle);
  EXPECT_NE(result, MMSYSERR_NOERROR);
  EXPECT_EQ(handle, 0u);
  std::string text;
  ASSERT_EQ(system->ErrorText(result, text), MMSYSERR_NOERROR);
  EXPECT_NE(text.find("JACK server not running"), std::string::npos) << text;

  std::string unknown;
  EXPECT_EQ(system->ErrorText(4242, unknown), MMSYSERR_BADERRNUM);
  ASSERT_EQ(system->ErrorText(MMSYSERR_BADDEVICEID, unknown), MMSYSERR_NOERROR);
  EXPECT_EQ(unknown, "The specified device identifier is out of range.");
}

TEST_F(RtMidiJackTest, WithoutAReachableBackEndThereAreNoDevices) {
  monitor_.reset();
  server_->Stop();
  auto system = CreateRtMidiSystem(true);
  EXPECT_EQ(system->DeviceCount(), 0u);
  MidiHandle handle = 0;
  EXPECT_EQ(system->Open(0, handle), MMSYSERR_BADDEVICEID);
}

}  // namespace
