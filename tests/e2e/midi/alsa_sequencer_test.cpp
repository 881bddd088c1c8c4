// The RtMidi system against a real ALSA sequencer: the kernel's "Midi Through" and VirMIDI
// clients, and a monitor client of the test's own. There is no sequencer on a machine
// without sound support; these tests run in a guest that has one (scripts/in_guest.py).
#include "alsa_sequencer.h"

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "midi_checks.h"

namespace {

constexpr char kMidiThrough[] = "Midi Through:Midi Through Port-0";

// The names without the MIDI inputs of the program's other back ends: to each other they
// are destinations like any other, made and gone with those back ends.
std::vector<std::string> WithoutOtherInputs(std::vector<std::string> names) {
  std::erase_if(names, [](const std::string& name) { return name.starts_with("Tessivar input:"); });
  return names;
}

class AlsaSequencerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access("/dev/snd/seq", R_OK | W_OK) != 0) {
      GTEST_SKIP() << "no ALSA sequencer here (the alsa tests run in a guest that has one)";
    }
    monitor_ = std::make_unique<AlsaMidiMonitor>("monitor");
    ASSERT_TRUE(monitor_->Ok());
  }

  void TearDown() override {
    if (monitor_) {
      EXPECT_FALSE(monitor_->Overflowed()) << "the monitor lost messages";
    }
  }

  std::unique_ptr<AlsaMidiMonitor> monitor_;
};

constexpr char kNothing[] = "(nothing raised)";

TEST_F(AlsaSequencerTest, ListsTheSequencersDestinationsButNotTheProgramsOwnPorts) {
  MachineMidi system(true);
  // The program's own ports exist while the next listing is made: the virtual output, and
  // the output port of an opened device.
  system->OpenDevice(IdOf(*system, kMidiThrough));
  system->CloseDevice(IdOf(*system, kMidiThrough));
  MachineMidi again(true);
  for (MachineMidi* listed : {&system, &again}) {
    const std::vector<std::string> names = WithoutOtherInputs((*listed)->DeviceNames());
    ASSERT_EQ(names.size(), 7u) << ::testing::PrintToString(names);
    EXPECT_EQ(names[0], "Tessivar virtual output");
    const std::vector<std::string> expected = {
        kMidiThrough,
        "Virtual Raw MIDI 0-0:VirMIDI 0-0",
        "Virtual Raw MIDI 0-1:VirMIDI 0-1",
        "Virtual Raw MIDI 0-2:VirMIDI 0-2",
        "Virtual Raw MIDI 0-3:VirMIDI 0-3",
        monitor_->PortName(),
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(names[i + 1].rfind(expected[i], 0), 0u) << names[i + 1];
    }
  }
  const std::vector<std::string> names = WithoutOtherInputs(again->DeviceNames());
  EXPECT_EQ(WithoutOtherInputs(MachineMidi(false)->DeviceNames()),
            std::vector<std::string>(names.begin() + 1, names.end()));
}

TEST_F(AlsaSequencerTest, ReopeningAtFullSpeedGivesANoteOffForEveryNoteOn) {
  constexpr int kRounds = 500;
  MachineMidi system(true);
  OpenStrikeClose(*system, IdOf(*system, monitor_->PortName()), kRounds, 0);
  EXPECT_EQ(monitor_->WaitForEvents(2 * kRounds, 20s), NoteRounds(kRounds, 0));

  // Through a kernel client, which passes every message on to its subscribers.
  monitor_->Clear();
  const std::optional<AlsaPort> through = FindAlsaPort("Midi Through", "Midi Through Port-0");
  ASSERT_TRUE(through && monitor_->ConnectFrom(*through));
  OpenStrikeClose(*system, IdOf(*system, kMidiThrough), kRounds, 9);
  EXPECT_EQ(monitor_->WaitForEvents(2 * kRounds, 20s), NoteRounds(kRounds, 9));
}

TEST_F(AlsaSequencerTest, TheVirtualOutputIsAPortOtherClientsConnectTo) {
  MachineMidi system(true);
  const std::optional<AlsaPort> port = FindAlsaPort("Tessivar", "Tessivar");
  ASSERT_TRUE(port) << "no port Tessivar:Tessivar in the sequencer";
  ASSERT_TRUE(monitor_->ConnectFrom(*port));

  constexpr int kRounds = 300;
  OpenStrikeClose(*system, 0, kRounds, 3);
  EXPECT_EQ(monitor_->WaitForEvents(2 * kRounds, 20s), NoteRounds(kRounds, 3));
  // Closing silences what went through it and keeps the port with its subscription.
  monitor_->Clear();
  Send(*system, 0, 0x91, 64, 90);
  Send(*system, 0, 0xC1, 7);
  system->CloseDevice(0);
  EXPECT_EQ(monitor_->WaitForEvents(3, 3s),
            (std::vector<Bytes>{{0x91, 64, 90}, {0xC1, 7}, {0x81, 64, 0}}));

  // The port lives as long as the back end.
  system.End();
  EXPECT_FALSE(FindAlsaPort("Tessivar", "Tessivar"));
}

TEST_F(AlsaSequencerTest, ADestinationThatWentAwayAndCameBackIsConnectedAgain) {
  MachineMidi system(false);
  const std::int32_t id = IdOf(*system, monitor_->PortName());
  Send(*system, id, 0x90, 40, 50);
  system->CloseDevice(id);
  EXPECT_EQ(monitor_->WaitForEvents(2, 3s), (std::vector<Bytes>{{0x90, 40, 50}, {0x80, 40, 0}}));

  const int client = monitor_->Client();
  monitor_.reset();
  const std::string text = MessageOf([&] { system->OpenDevice(id); });
  EXPECT_NE(text.find("monitor:in"), std::string::npos) << text;

  // Back under the same name (and, the sequencer numbering its clients, the same address).
  monitor_ = std::make_unique<AlsaMidiMonitor>("monitor");
  ASSERT_TRUE(monitor_->Ok());
  ASSERT_EQ(monitor_->Client(), client);
  for (std::uint8_t round = 0; round < 3; ++round) {
    Send(*system, id, 0x92, 50 + round, 60);
    system->CloseDevice(id);
  }
  EXPECT_EQ(monitor_->WaitForEvents(6, 3s), (std::vector<Bytes>{{0x92, 50, 60},
                                                                {0x82, 50, 0},
                                                                {0x92, 51, 60},
                                                                {0x82, 51, 0},
                                                                {0x92, 52, 60},
                                                                {0x82, 52, 0}}));
}

// A client started after the back end, ended under an open device and started again under
// another sequencer number (as a restarted synthesizer or a USB interface plugged in again).
TEST_F(AlsaSequencerTest, APortThatCameLaterWentAndCameBackUnderAnotherNumberKeepsItsPlace) {
  MachineMidi system(false);
  const std::vector<std::string> before = system->DeviceNames();
  auto late = std::make_unique<AlsaMidiMonitor>("late");
  ASSERT_TRUE(late->Ok());
  EXPECT_EQ(system->DeviceNames(), before) << "listed only when looked up again";
  system->ListNewDevices();
  const std::vector<std::string> listed = system->DeviceNames();
  ASSERT_EQ(listed.size(), before.size() + 1);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), listed.begin()))
      << "appended after the others";
  const std::int32_t id = IdOf(*system, "late:in");
  EXPECT_EQ(id, static_cast<std::int32_t>(before.size()));

  Send(*system, id, 0xC3, 20);
  Send(*system, id, 0x93, 40, 50);
  EXPECT_EQ(late->WaitForEvents(2, 3s), (std::vector<Bytes>{{0xC3, 20}, {0x93, 40, 50}}));

  // Gone under the open device: its next message says so, once; the rest are dropped.
  const int number = late->Client();
  late.reset();
  const std::string gone = MessageOf([&] { Send(*system, id, 0x83, 40); });
  EXPECT_NE(gone.find("late:in"), std::string::npos) << gone;
  EXPECT_EQ(MessageOf([&] { Send(*system, id, 0x93, 41, 50); }), kNothing);

  // Back under its names with another number: found by them at the next message, programs
  // first; the list keeps its entries.
  AlsaMidiMonitor taker("taker");  // takes the number the client had
  late = std::make_unique<AlsaMidiMonitor>("late");
  ASSERT_TRUE(late->Ok());
  ASSERT_NE(late->Client(), number);
  system->ListNewDevices();
  const std::vector<std::string> now = system->DeviceNames();
  EXPECT_EQ(std::count_if(now.begin(), now.end(),
                          [](const std::string& name) { return name.rfind("late:in", 0) == 0; }),
            1)
      << "the same port, not a new one";
  EXPECT_EQ(IdOf(*system, "late:in"), id);
  Send(*system, id, 0x93, 42, 51);
  EXPECT_EQ(late->WaitForEvents(2, 3s), (std::vector<Bytes>{{0xC3, 20}, {0x93, 42, 51}}));
  late->Clear();
  system->CloseDevice(id);
  // Closing ends every note that went out, whichever connection carried it, and none that
  // was dropped.
  EXPECT_EQ(late->WaitForEvents(2, 3s), (std::vector<Bytes>{{0x83, 40, 0}, {0x83, 42, 0}}));

  // Opened while it is away: fails once, then opens quietly.
  late.reset();
  EXPECT_NE(MessageOf([&] { system->OpenDevice(id); }), kNothing);
  EXPECT_EQ(MessageOf([&] { system->OpenDevice(id); }), kNothing);
  system->CloseDevice(id);
}

TEST_F(AlsaSequencerTest, EndingWithNotesHeldSendsTheirNoteOffsFirst) {
  constexpr int kRounds = 200;
  const std::optional<AlsaPort> through = FindAlsaPort("Midi Through", "Midi Through Port-0");
  ASSERT_TRUE(through && monitor_->ConnectFrom(*through));
  std::vector<Bytes> expected;
  for (int round = 0; round < kRounds; ++round) {
    MachineMidi system(true);
    const auto note = static_cast<std::uint8_t>(round % 128);
    Send(*system, IdOf(*system, monitor_->PortName()), 0x90, note, 100);
    Send(*system, IdOf(*system, kMidiThrough), 0x95, note, 100);
    system.End();
    expected.insert(expected.end(), {{0x90, note, 100}, {0x95, note, 100}});
    expected.insert(expected.end(), {{0x80, note, 0}, {0x85, note, 0}});
  }
  std::vector<Bytes> events = monitor_->WaitForEvents(expected.size(), 20s);
  EXPECT_EQ(events.size(), expected.size());
  // Both devices end in one step; whichever goes first, every note-off follows its note-on.
  for (std::size_t i = 0; i + 4 <= events.size() && i + 4 <= expected.size(); i += 4) {
    std::sort(events.begin() + i + 2, events.begin() + i + 4);
    ASSERT_EQ(std::vector<Bytes>(events.begin() + i, events.begin() + i + 4),
              std::vector<Bytes>(expected.begin() + i, expected.begin() + i + 4))
        << "round " << i / 4;
  }
}

}  // namespace
