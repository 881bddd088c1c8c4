// The machine changing under the running program: the JACK server stopped and started
// again, clients whose ports appear, vanish and come back.
#include "jack_fixture.h"

namespace {

using MachineChangesTest = JackTest;

constexpr char kNothing[] = "(nothing raised)";

TEST_F(MachineChangesTest, AServerThatStartsAgainIsReachedAgainAtTheNextMessage) {
  MachineMidi system(true);
  const std::int32_t id = IdOf(*system, "monitor:in");
  Send(*system, id, 0xC1, 7);
  Send(*system, id, 0x91, 60, 100);
  ASSERT_EQ(monitor_->WaitForEvents(2, 3s), (std::vector<Bytes>{{0xC1, 7}, {0x91, 60, 100}}));

  monitor_.reset();
  server_->Stop();
  // The client's own thread sees the server's end as its socket closes.
  std::this_thread::sleep_for(100ms);

  // One failure with a text that names the cause, then quiet: a box, not one per note.
  const std::string text = MessageOf([&] { Send(*system, id, 0x91, 62, 100); });
  EXPECT_NE(text.find("JACK server not running"), std::string::npos) << text;
  EXPECT_NE(text.find("monitor:in"), std::string::npos) << text;
  for (std::uint8_t note = 0; note < 50; ++note) {
    ASSERT_EQ(MessageOf([&] { Send(*system, id, 0x81, note); }), kNothing);
  }
  // Space: the device closes and opens again, still without the server; its new program is
  // kept for when the server is back.
  system->CloseDevice(id);
  system->OpenDevice(id);
  Send(*system, id, 0xC1, 9);
  const std::int32_t count = system->Count();
  system->ListNewDevices();
  EXPECT_EQ(system->Count(), count);

  ASSERT_TRUE(server_->Restart()) << server_->Failure();
  monitor_ = std::make_unique<JackMidiMonitor>("monitor");
  ASSERT_TRUE(monitor_->Ok());
  JackMidiMonitor listener("listener");
  ASSERT_TRUE(listener.Ok());

  // The first message after the server came back makes the client, its virtual port and
  // the connection again, and arrives after the program chosen while the server was away.
  Send(*system, id, 0x91, 64, 90);
  Send(*system, id, 0x91, 65, 91);
  system->CloseDevice(id);
  EXPECT_EQ(monitor_->WaitForEvents(5, 3s),
            (std::vector<Bytes>{
                {0xC1, 9}, {0x91, 64, 90}, {0x91, 65, 91}, {0x81, 64, 0}, {0x81, 65, 0}}));
  EXPECT_EQ(JackPorts("^Tessivar:").size(), 3u)
      << "the virtual port, the input and one output port";
  ASSERT_TRUE(listener.ConnectFrom("Tessivar:Tessivar"));
  Send(*system, 0, 0x92, 66, 1);
  EXPECT_EQ(listener.WaitForEvents(1, 3s), (std::vector<Bytes>{{0x92, 66, 1}}));

  // A later outage is reported again, once.
  monitor_.reset();
  listener.Close();
  server_->Stop();
  std::this_thread::sleep_for(100ms);
  EXPECT_NE(MessageOf([&] { Send(*system, 0, 0x82, 66); }), kNothing);
  EXPECT_EQ(MessageOf([&] { Send(*system, 0, 0x82, 66); }), kNothing);
  system->CloseDevice(0);
}

TEST_F(MachineChangesTest, PortsThatComeGoAndComeBackKeepTheirPlaceInTheList) {
  MachineMidi system(false);
  const std::vector<std::string> before = system->DeviceNames();
  auto late = std::make_unique<JackMidiMonitor>("late");
  ASSERT_TRUE(late->Ok());
  EXPECT_EQ(system->DeviceNames(), before) << "listed only when looked up again";
  system->ListNewDevices();
  std::vector<std::string> listed = before;
  listed.push_back("late:in");
  EXPECT_EQ(system->DeviceNames(), listed);
  const std::int32_t id = IdOf(*system, "late:in");

  Send(*system, id, 0xC3, 20);
  Send(*system, id, 0x93, 40, 50);
  EXPECT_EQ(late->WaitForEvents(2, 3s), (std::vector<Bytes>{{0xC3, 20}, {0x93, 40, 50}}));

  // The destination vanishes under the open device: its next message says so, once.
  late.reset();
  const std::string text = MessageOf([&] { Send(*system, id, 0x83, 40); });
  EXPECT_NE(text.find("late:in"), std::string::npos) << text;
  EXPECT_EQ(MessageOf([&] { Send(*system, id, 0x93, 41, 50); }), kNothing);
  system->ListNewDevices();
  EXPECT_EQ(system->DeviceNames(), listed) << "a port that went away keeps its place";

  // It comes back under its name: the same device, connected again at its next message.
  late = std::make_unique<JackMidiMonitor>("late");
  ASSERT_TRUE(late->Ok());
  system->ListNewDevices();
  EXPECT_EQ(system->DeviceNames(), listed);
  Send(*system, id, 0x93, 42, 51);
  EXPECT_EQ(late->WaitForEvents(2, 3s), (std::vector<Bytes>{{0xC3, 20}, {0x93, 42, 51}}));
  late->Clear();

  // Gone and back between two messages: the next one finds it without a failure.
  late.reset();
  late = std::make_unique<JackMidiMonitor>("late");
  ASSERT_TRUE(late->Ok());
  Send(*system, id, 0x93, 43, 52);
  EXPECT_EQ(late->WaitForEvents(2, 3s), (std::vector<Bytes>{{0xC3, 20}, {0x93, 43, 52}}));
  late->Clear();
  // Closing ends every note that went out, whichever connection carried it (one that was
  // only broken off still sounds), and none that was dropped.
  system->CloseDevice(id);
  EXPECT_EQ(late->WaitForEvents(3, 3s),
            (std::vector<Bytes>{{0x83, 40, 0}, {0x83, 42, 0}, {0x83, 43, 0}}));

  // A device opened while its destination is away fails once, then opens quietly.
  late.reset();
  EXPECT_NE(MessageOf([&] { system->OpenDevice(id); }), kNothing);
  EXPECT_EQ(MessageOf([&] { system->OpenDevice(id); }), kNothing);
  system->CloseDevice(id);
}

// Destinations appear in crowds and vanish while messages flow: the list grows under the
// server's process thread, which walks it every cycle (the thread sanitizer sees a race of
// the two; the monitor is left out, as it misses cycles under that sanitizer).
TEST_F(MachineChangesTest, TheListGrowsUnderTheProcessThreadInOrder) {
  constexpr int kRounds = 20;
  constexpr int kPortsPerRound = 60;
  MachineMidi system(true);
  std::vector<std::string> names = system->DeviceNames();
  system->OpenDevice(0);
  for (int round = 0; round < kRounds; ++round) {
    const std::string client = "crowd" + std::to_string(round);
    JackInputPorts crowd(client, kPortsPerRound);
    ASSERT_TRUE(crowd.Ok());
    for (int i = 0; i < 3; ++i) {
      system->ListNewDevices();
      Send(*system, 0, 0x90, static_cast<std::uint8_t>((round * 3 + i) % 128), 1);
    }
    for (int port = 1; port <= kPortsPerRound; ++port) {
      names.push_back(client + ":in_" + std::to_string(port));
    }
  }
  EXPECT_EQ(system->DeviceNames(), names) << "every crowd after the ones before, none twice";
  system->CloseDevice(0);
}

}  // namespace
