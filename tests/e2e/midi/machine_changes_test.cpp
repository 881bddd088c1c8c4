// The machine changing under a running MIDI system: the JACK server stopped and started
// again, clients whose ports appear, vanish and come back.
#include "jack_fixture.h"
#include "rtmidi_system.h"

namespace {

using MachineChangesTest = JackTest;

TEST_F(MachineChangesTest, AServerThatStartsAgainIsReachedAgainAtTheNextMessage) {
  auto system = CreateRtMidiSystem(true);
  const std::uint32_t id = IdOf(*system, "monitor:in");
  MidiHandle handle = 0;
  ASSERT_EQ(system->Open(id, handle), MMSYSERR_NOERROR);
  for (const std::uint32_t message : {Message(0xC1, 7), Message(0x91, 60, 100)}) {
    ASSERT_EQ(system->ShortMessage(handle, message), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(monitor_->WaitForEvents(2, 3s), (std::vector<Bytes>{{0xC1, 7}, {0x91, 60, 100}}));

  monitor_.reset();
  server_->Stop();
  // The client's own thread sees the server's end as its socket closes.
  std::this_thread::sleep_for(100ms);

  // One failure with a text that names the cause, then quiet: a box, not one per note.
  const MidiResult away = system->ShortMessage(handle, Message(0x91, 62, 100));
  EXPECT_EQ(away, MMSYSERR_NODRIVER);
  const std::string text = TextOf(*system, away);
  EXPECT_NE(text.find("JACK server not running"), std::string::npos) << text;
  EXPECT_NE(text.find("monitor:in"), std::string::npos) << text;
  for (std::uint8_t note = 0; note < 50; ++note) {
    ASSERT_EQ(system->ShortMessage(handle, Message(0x81, note, 0)), MMSYSERR_NOERROR);
  }
  // Space: the device closes and opens again, still without the server; its new program is
  // kept for when the server is back.
  ASSERT_EQ(system->Close(handle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->Open(id, handle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0xC1, 9)), MMSYSERR_NOERROR);
  const std::uint32_t count = system->DeviceCount();
  system->ListNewDevices();
  EXPECT_EQ(system->DeviceCount(), count);

  ASSERT_TRUE(server_->Restart()) << server_->Failure();
  monitor_ = std::make_unique<JackMidiMonitor>("monitor");
  ASSERT_TRUE(monitor_->Ok());
  JackMidiMonitor listener("listener");
  ASSERT_TRUE(listener.Ok());

  // The first message after the server came back makes the client, its virtual port and
  // the connection again, and arrives after the program chosen while the server was away.
  ASSERT_EQ(system->ShortMessage(handle, Message(0x91, 64, 90)), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0x91, 65, 91)), MMSYSERR_NOERROR);
  ASSERT_EQ(system->Close(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(monitor_->WaitForEvents(5, 3s),
            (std::vector<Bytes>{
                {0xC1, 9}, {0x91, 64, 90}, {0x91, 65, 91}, {0x81, 64, 0}, {0x81, 65, 0}}));
  EXPECT_EQ(JackPorts("^Tessivar:").size(), 2u) << "the virtual port and one output port";
  ASSERT_TRUE(listener.ConnectFrom("Tessivar:Tessivar"));
  MidiHandle virtualHandle = 0;
  ASSERT_EQ(system->Open(0, virtualHandle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(virtualHandle, Message(0x92, 66, 1)), MMSYSERR_NOERROR);
  EXPECT_EQ(listener.WaitForEvents(1, 3s), (std::vector<Bytes>{{0x92, 66, 1}}));

  // A later outage is reported again, once.
  monitor_.reset();
  listener.Close();
  server_->Stop();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(system->ShortMessage(virtualHandle, Message(0x82, 66, 0)), MMSYSERR_NODRIVER);
  EXPECT_EQ(system->ShortMessage(virtualHandle, Message(0x82, 66, 0)), MMSYSERR_NOERROR);
  EXPECT_EQ(system->Close(virtualHandle), MMSYSERR_NOERROR);
}

TEST_F(MachineChangesTest, PortsThatComeGoAndComeBackKeepTheirPlaceInTheList) {
  auto system = CreateRtMidiSystem(false);
  const std::vector<std::string> before = DeviceNames(*system);
  auto late = std::make_unique<JackMidiMonitor>("late");
  ASSERT_TRUE(late->Ok());
  EXPECT_EQ(DeviceNames(*system), before) << "listed only when looked up again";
  system->ListNewDevices();
  std::vector<std::string> listed = before;
  listed.push_back("late:in");
  EXPECT_EQ(DeviceNames(*system), listed);
  const std::uint32_t id = IdOf(*system, "late:in");

  MidiHandle handle = 0;
  ASSERT_EQ(system->Open(id, handle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0xC3, 20)), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0x93, 40, 50)), MMSYSERR_NOERROR);
  EXPECT_EQ(late->WaitForEvents(2, 3s), (std::vector<Bytes>{{0xC3, 20}, {0x93, 40, 50}}));

  // The destination vanishes under the open device: its next message says so, once.
  late.reset();
  const MidiResult gone = system->ShortMessage(handle, Message(0x83, 40, 0));
  EXPECT_EQ(gone, MIDIERR_NODEVICE);
  const std::string text = TextOf(*system, gone);
  EXPECT_NE(text.find("late:in"), std::string::npos) << text;
  EXPECT_EQ(system->ShortMessage(handle, Message(0x93, 41, 50)), MMSYSERR_NOERROR);
  system->ListNewDevices();
  EXPECT_EQ(DeviceNames(*system), listed) << "a port that went away keeps its place";

  // It comes back under its name: the same device, connected again at its next message.
  late = std::make_unique<JackMidiMonitor>("late");
  ASSERT_TRUE(late->Ok());
  system->ListNewDevices();
  EXPECT_EQ(DeviceNames(*system), listed);
  ASSERT_EQ(system->ShortMessage(handle, Message(0x93, 42, 51)), MMSYSERR_NOERROR);
  EXPECT_EQ(late->WaitForEvents(2, 3s), (std::vector<Bytes>{{0xC3, 20}, {0x93, 42, 51}}));
  late->Clear();

  // Gone and back between two messages: the next one finds it without a failure.
  late.reset();
  late = std::make_unique<JackMidiMonitor>("late");
  ASSERT_TRUE(late->Ok());
  ASSERT_EQ(system->ShortMessage(handle, Message(0x93, 43, 52)), MMSYSERR_NOERROR);
  EXPECT_EQ(late->WaitForEvents(2, 3s), (std::vector<Bytes>{{0xC3, 20}, {0x93, 43, 52}}));
  late->Clear();
  // Closing ends every note that went out, whichever connection carried it (one that was
  // only broken off still sounds), and none that was dropped.
  ASSERT_EQ(system->Close(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(late->WaitForEvents(3, 3s),
            (std::vector<Bytes>{{0x83, 40, 0}, {0x83, 42, 0}, {0x83, 43, 0}}));

  // A device opened while its destination is away fails once, then opens quietly.
  late.reset();
  EXPECT_EQ(system->Open(id, handle), MIDIERR_NODEVICE);
  EXPECT_EQ(system->Open(id, handle), MMSYSERR_NOERROR);
  EXPECT_EQ(system->Close(handle), MMSYSERR_NOERROR);
}

// Destinations appear in crowds and vanish while messages flow: the list grows under the
// server's process thread, which walks it every cycle (the thread sanitizer sees a race of
// the two; the monitor is left out, as it misses cycles under that sanitizer).
TEST_F(MachineChangesTest, TheListGrowsUnderTheProcessThreadInOrder) {
  constexpr int kRounds = 20;
  constexpr int kPortsPerRound = 60;
  auto system = CreateRtMidiSystem(true);
  std::vector<std::string> names = DeviceNames(*system);
  MidiHandle handle = 0;
  ASSERT_EQ(system->Open(0, handle), MMSYSERR_NOERROR);
  for (int round = 0; round < kRounds; ++round) {
    const std::string client = "crowd" + std::to_string(round);
    JackInputPorts crowd(client, kPortsPerRound);
    ASSERT_TRUE(crowd.Ok());
    for (int i = 0; i < 3; ++i) {
      system->ListNewDevices();
      const auto note = static_cast<std::uint8_t>((round * 3 + i) % 128);
      ASSERT_EQ(system->ShortMessage(handle, Message(0x90, note, 1)), MMSYSERR_NOERROR);
    }
    for (int port = 1; port <= kPortsPerRound; ++port) {
      names.push_back(client + ":in_" + std::to_string(port));
    }
  }
  EXPECT_EQ(DeviceNames(*system), names) << "every crowd after the ones before, none twice";
  EXPECT_EQ(system->Close(handle), MMSYSERR_NOERROR);
}

}  // namespace
