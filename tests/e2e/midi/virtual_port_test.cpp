#include "jack_fixture.h"

namespace {

using VirtualPortTest = JackTest;

TEST_F(VirtualPortTest, AConnectionToTheVirtualPortOutlivesClosingTheDevice) {
  MachineMidi system(true);
  ASSERT_TRUE(monitor_->ConnectFrom("Tessivar:Tessivar"));

  Send(*system, 0, 0x90, 60, 100);
  Send(*system, 0, 0x90, 62, 100);
  Send(*system, 0, 0x80, 62, 0);
  EXPECT_EQ(monitor_->WaitForEvents(3, 3s),
            (std::vector<Bytes>{{0x90, 60, 100}, {0x90, 62, 100}, {0x80, 62, 0}}));
  monitor_->Clear();

  // Closing silences what went through it and keeps the port and its connection.
  system->CloseDevice(0);
  EXPECT_EQ(monitor_->WaitForEvents(1, 3s), (std::vector<Bytes>{{0x80, 60, 0}}));
  EXPECT_EQ(JackPorts("^Tessivar:Tessivar$").size(), 1u);
  EXPECT_TRUE(monitor_->IsConnectedTo("Tessivar:Tessivar"));
  monitor_->Clear();

  Send(*system, 0, 0x91, 64, 90);
  EXPECT_EQ(monitor_->WaitForEvents(1, 3s), (std::vector<Bytes>{{0x91, 64, 90}}));
  system->CloseDevice(0);
  EXPECT_EQ(monitor_->WaitForEvents(2, 3s), (std::vector<Bytes>{{0x91, 64, 90}, {0x81, 64, 0}}));

  // The port lives as long as the back end.
  system.End();
  EXPECT_TRUE(JackPorts("^Tessivar:Tessivar$").empty());
}

TEST_F(VirtualPortTest, TheMachineListsTheSynthesizerThenTheVirtualPortThenThePorts) {
  MidiBackEnds backEnds = CreateMachineMidiBackEnds();
  std::vector<MidiBackEnd*> used;
  for (const std::unique_ptr<MidiBackEnd>& backEnd : backEnds) used.push_back(backEnd.get());
  TMidiOutput system(used);
  const std::vector<std::string> names = system.DeviceNames();
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ(names[0], "Built-in synthesizer");
  EXPECT_EQ(names[1], "Tessivar virtual output");
  EXPECT_EQ(std::count(names.begin() + 2, names.end(), "monitor:in"), 1);

  ASSERT_TRUE(monitor_->ConnectFrom("Tessivar:Tessivar"));
  Send(system, 1, 0x90, 50, 1);
  Send(system, IdOf(system, "monitor:in"), 0x90, 51, 2);
  std::vector<Bytes> events = monitor_->WaitForEvents(2, 3s);
  std::sort(events.begin(), events.end());
  EXPECT_EQ(events, (std::vector<Bytes>{{0x90, 50, 1}, {0x90, 51, 2}}));
  system.CloseAll();
}

}  // namespace
