#include "jack_fixture.h"
#include "machine_midi.h"
#include "rtmidi_system.h"

namespace {

using VirtualPortTest = JackTest;

TEST_F(VirtualPortTest, AConnectionToTheVirtualPortOutlivesClosingTheDevice) {
  auto system = CreateRtMidiSystem(true);
  ASSERT_TRUE(monitor_->ConnectFrom("Tessivar:Tessivar"));

  MidiHandle handle = 0;
  ASSERT_EQ(system->Open(0, handle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0x90, 60, 100)), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0x90, 62, 100)), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0x80, 62, 0)), MMSYSERR_NOERROR);
  EXPECT_EQ(monitor_->WaitForEvents(3, 3s),
            (std::vector<Bytes>{{0x90, 60, 100}, {0x90, 62, 100}, {0x80, 62, 0}}));
  monitor_->Clear();

  // Closing silences what went through it and keeps the port and its connection.
  ASSERT_EQ(system->Close(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(monitor_->WaitForEvents(1, 3s), (std::vector<Bytes>{{0x80, 60, 0}}));
  EXPECT_EQ(JackPorts("^Tessivar:Tessivar$").size(), 1u);
  EXPECT_TRUE(monitor_->IsConnectedTo("Tessivar:Tessivar"));
  monitor_->Clear();

  ASSERT_EQ(system->Open(0, handle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0x91, 64, 90)), MMSYSERR_NOERROR);
  EXPECT_EQ(monitor_->WaitForEvents(1, 3s), (std::vector<Bytes>{{0x91, 64, 90}}));
  ASSERT_EQ(system->Close(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(monitor_->WaitForEvents(2, 3s), (std::vector<Bytes>{{0x91, 64, 90}, {0x81, 64, 0}}));

  // The port lives as long as the system.
  system.reset();
  EXPECT_TRUE(JackPorts("^Tessivar:Tessivar$").empty());
}

TEST_F(VirtualPortTest, TheMachineListsTheSynthesizerThenTheVirtualPortThenThePorts) {
  auto system = CreateMachineMidiSystem();
  const std::vector<std::string> names = DeviceNames(*system);
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ(names[0], "Built-in synthesizer");
  EXPECT_EQ(names[1], "Tessivar virtual output");
  EXPECT_EQ(std::count(names.begin() + 2, names.end(), "monitor:in"), 1);

  // Devices of the RtMidi part are reached through the combination.
  ASSERT_TRUE(monitor_->ConnectFrom("Tessivar:Tessivar"));
  MidiHandle virtualHandle = 0, portHandle = 0;
  ASSERT_EQ(system->Open(1, virtualHandle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->Open(IdOf(*system, "monitor:in"), portHandle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(virtualHandle, Message(0x90, 50, 1)), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(portHandle, Message(0x90, 51, 2)), MMSYSERR_NOERROR);
  std::vector<Bytes> events = monitor_->WaitForEvents(2, 3s);
  std::sort(events.begin(), events.end());
  EXPECT_EQ(events, (std::vector<Bytes>{{0x90, 50, 1}, {0x90, 51, 2}}));
  EXPECT_EQ(system->Close(portHandle), MMSYSERR_NOERROR);
  EXPECT_EQ(system->Close(virtualHandle), MMSYSERR_NOERROR);
}

}  // namespace
