// Devices closed and reopened, and the machine's MIDI made and ended, at full speed against
// a real JACK graph: nothing may crash, no note-off may be lost, no first note after a
// reopen may be lost.
#include "jack_fixture.h"

namespace {

using ConnectionStressTest = JackTest;

TEST_F(ConnectionStressTest, ReopeningAPortAtFullSpeedLosesNoNoteAndNoNoteOff) {
  constexpr int kRounds = 500;
  MachineMidi system(true);
  OpenStrikeClose(*system, IdOf(*system, "monitor:in"), kRounds, 0);
  EXPECT_EQ(monitor_->WaitForEvents(2 * kRounds, 10s), NoteRounds(kRounds, 0));
  EXPECT_EQ(JackPorts("^Tessivar.*:output").size(), 1u) << "one output port for the run";

  // The virtual port, which the monitor connects to itself, behaves the same.
  monitor_->Clear();
  ASSERT_TRUE(monitor_->ConnectFrom("Tessivar:Tessivar"));
  OpenStrikeClose(*system, 0, kRounds, 3);
  EXPECT_EQ(monitor_->WaitForEvents(2 * kRounds, 10s), NoteRounds(kRounds, 3));
}

TEST_F(ConnectionStressTest, EndingWithANoteOnSendsItsNoteOffFirst) {
  constexpr int kRounds = 200;
  for (int round = 0; round < kRounds; ++round) {
    MachineMidi system(true);
    ASSERT_NE(system->Count(), 0);
    Send(*system, IdOf(*system, "monitor:in"), 0x90, static_cast<std::uint8_t>(round % 128),
         static_cast<std::uint8_t>(1 + round % 127));
    system.End();
  }
  EXPECT_EQ(monitor_->WaitForEvents(2 * kRounds, 10s), NoteRounds(kRounds, 0));
}

TEST_F(ConnectionStressTest, ADestinationThatCameBackIsConnectedAgain) {
  MachineMidi system(false);
  const std::int32_t id = IdOf(*system, "monitor:in");
  system->OpenDevice(id);
  system->CloseDevice(id);

  monitor_.reset();
  EXPECT_NE(MessageOf([&] { system->OpenDevice(id); }), "(nothing raised)")
      << "the destination is gone";

  monitor_ = std::make_unique<JackMidiMonitor>("monitor");
  ASSERT_TRUE(monitor_->Ok());
  Send(*system, id, 0x92, 50, 60);
  EXPECT_EQ(monitor_->WaitForEvents(1, 3s), (std::vector<Bytes>{{0x92, 50, 60}}));
  system->CloseDevice(id);
  EXPECT_EQ(monitor_->WaitForEvents(2, 3s), (std::vector<Bytes>{{0x92, 50, 60}, {0x82, 50, 0}}));
}

}  // namespace
