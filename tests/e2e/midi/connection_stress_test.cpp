// Devices closed and reopened, and whole MIDI systems made and ended, at full speed against
// a real JACK graph: nothing may crash, no note-off may be lost, no first note after a
// reopen may be lost.
#include "jack_fixture.h"
#include "rtmidi_system.h"

namespace {

using ConnectionStressTest = JackTest;

TEST_F(ConnectionStressTest, ReopeningAPortAtFullSpeedLosesNoNoteAndNoNoteOff) {
  constexpr int kRounds = 500;
  auto system = CreateRtMidiSystem(true);
  const std::uint32_t id = IdOf(*system, "monitor:in");
  OpenStrikeClose(*system, id, kRounds, 0);
  EXPECT_EQ(monitor_->WaitForEvents(2 * kRounds, 10s), NoteRounds(kRounds, 0));
  EXPECT_EQ(JackPorts("^Tessivar.*:output").size(), 1u) << "one output port for the run";

  // The virtual port, which the monitor connects to itself, behaves the same.
  monitor_->Clear();
  ASSERT_TRUE(monitor_->ConnectFrom("Tessivar:Tessivar"));
  OpenStrikeClose(*system, 0, kRounds, 3);
  EXPECT_EQ(monitor_->WaitForEvents(2 * kRounds, 10s), NoteRounds(kRounds, 3));
}

TEST_F(ConnectionStressTest, EndingTheSystemWithANoteOnSendsItsNoteOffFirst) {
  constexpr int kRounds = 200;
  for (int round = 0; round < kRounds; ++round) {
    auto system = CreateRtMidiSystem(true);
    ASSERT_NE(system->DeviceCount(), 0u);
    MidiHandle handle = 0;
    ASSERT_EQ(system->Open(IdOf(*system, "monitor:in"), handle), MMSYSERR_NOERROR);
    ASSERT_EQ(system->ShortMessage(handle, Message(0x90, round % 128, 1 + round % 127)),
              MMSYSERR_NOERROR);
    system.reset();
  }
  EXPECT_EQ(monitor_->WaitForEvents(2 * kRounds, 10s), NoteRounds(kRounds, 0));
}

TEST_F(ConnectionStressTest, ADestinationThatCameBackIsConnectedAgain) {
  auto system = CreateRtMidiSystem(false);
  const std::uint32_t id = IdOf(*system, "monitor:in");
  MidiHandle handle = 0;
  ASSERT_EQ(system->Open(id, handle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->Close(handle), MMSYSERR_NOERROR);

  monitor_.reset();
  ASSERT_EQ(system->Open(id, handle), MIDIERR_NODEVICE) << "the destination is gone";

  monitor_ = std::make_unique<JackMidiMonitor>("monitor");
  ASSERT_TRUE(monitor_->Ok());
  ASSERT_EQ(system->Open(id, handle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0x92, 50, 60)), MMSYSERR_NOERROR);
  EXPECT_EQ(monitor_->WaitForEvents(1, 3s), (std::vector<Bytes>{{0x92, 50, 60}}));
  ASSERT_EQ(system->Close(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(monitor_->WaitForEvents(2, 3s), (std::vector<Bytes>{{0x92, 50, 60}, {0x82, 50, 0}}));
}

}  // namespace
