// The RtMidi system against a real ALSA sequencer: the kernel's "Midi Through" and VirMIDI
// clients, and a monitor client of the test's own. There is no sequencer on a machine
// without sound support; these tests run in a guest that has one (scripts/in_guest.py).
#include "alsa_sequencer.h"

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "midi_checks.h"
#include "rtmidi_system.h"

namespace {

constexpr char kMidiThrough[] = "Midi Through:Midi Through Port-0";

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

TEST_F(AlsaSequencerTest, ListsTheSequencersDestinationsButNotTheProgramsOwnPorts) {
  auto system = CreateRtMidiSystem(true);
  // The program's own ports exist while the next listing is made: the virtual output, and
  // the output port of an opened device.
  MidiHandle handle = 0;
  ASSERT_EQ(system->Open(IdOf(*system, kMidiThrough), handle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->Close(handle), MMSYSERR_NOERROR);
  auto again = CreateRtMidiSystem(true);
  for (MidiSystem* listed : {system.get(), again.get()}) {
    const std::vector<std::string> names = DeviceNames(*listed);
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
      EXPECT_EQ(IdOf(*listed, expected[i]), i + 1) << names[i + 1];
    }
  }
  const std::vector<std::string> names = DeviceNames(*again);
  EXPECT_EQ(DeviceNames(*CreateRtMidiSystem(false)),
            std::vector<std::string>(names.begin() + 1, names.end()));
}

TEST_F(AlsaSequencerTest, ReopeningAtFullSpeedGivesANoteOffForEveryNoteOn) {
  constexpr int kRounds = 500;
  auto system = CreateRtMidiSystem(true);
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
  auto system = CreateRtMidiSystem(true);
  const std::optional<AlsaPort> port = FindAlsaPort("Tessivar", "Tessivar");
  ASSERT_TRUE(port) << "no port Tessivar:Tessivar in the sequencer";
  ASSERT_TRUE(monitor_->ConnectFrom(*port));

  constexpr int kRounds = 300;
  OpenStrikeClose(*system, 0, kRounds, 3);
  EXPECT_EQ(monitor_->WaitForEvents(2 * kRounds, 20s), NoteRounds(kRounds, 3));
  // Closing silences what went through it and keeps the port with its subscription.
  monitor_->Clear();
  MidiHandle handle = 0;
  ASSERT_EQ(system->Open(0, handle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0x91, 64, 90)), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0xC1, 7)), MMSYSERR_NOERROR);
  ASSERT_EQ(system->Close(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(monitor_->WaitForEvents(3, 3s),
            (std::vector<Bytes>{{0x91, 64, 90}, {0xC1, 7}, {0x81, 64, 0}}));

  // The port lives as long as the system.
  system.reset();
  EXPECT_FALSE(FindAlsaPort("Tessivar", "Tessivar"));
}

TEST_F(AlsaSequencerTest, ADestinationThatWentAwayAndCameBackIsConnectedAgain) {
  auto system = CreateRtMidiSystem(false);
  const std::uint32_t id = IdOf(*system, monitor_->PortName());
  MidiHandle handle = 0;
  ASSERT_EQ(system->Open(id, handle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0x90, 40, 50)), MMSYSERR_NOERROR);
  ASSERT_EQ(system->Close(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(monitor_->WaitForEvents(2, 3s), (std::vector<Bytes>{{0x90, 40, 50}, {0x80, 40, 0}}));

  const int client = monitor_->Client();
  monitor_.reset();
  EXPECT_EQ(system->Open(id, handle), MIDIERR_NODEVICE) << "the destination is gone";
  std::string text;
  ASSERT_EQ(system->ErrorText(MIDIERR_NODEVICE, text), MMSYSERR_NOERROR);
  EXPECT_NE(text.find("monitor:in"), std::string::npos) << text;

  // Back under the same name (and, the sequencer numbering its clients, the same address).
  monitor_ = std::make_unique<AlsaMidiMonitor>("monitor");
  ASSERT_TRUE(monitor_->Ok());
  ASSERT_EQ(monitor_->Client(), client);
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(system->Open(id, handle), MMSYSERR_NOERROR);
    ASSERT_EQ(system->ShortMessage(handle, Message(0x92, 50 + round, 60)), MMSYSERR_NOERROR);
    ASSERT_EQ(system->Close(handle), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(monitor_->WaitForEvents(6, 3s), (std::vector<Bytes>{{0x92, 50, 60},
                                                                {0x82, 50, 0},
                                                                {0x92, 51, 60},
                                                                {0x82, 51, 0},
                                                                {0x92, 52, 60},
                                                                {0x82, 52, 0}}));
}

// A client started after the system, ended under an open device and started again under
// another sequencer number (as a restarted synthesizer or a USB interface plugged in again).
TEST_F(AlsaSequencerTest, APortThatCameLaterWentAndCameBackUnderAnotherNumberKeepsItsPlace) {
  auto system = CreateRtMidiSystem(false);
  const std::vector<std::string> before = DeviceNames(*system);
  auto late = std::make_unique<AlsaMidiMonitor>("late");
  ASSERT_TRUE(late->Ok());
  EXPECT_EQ(DeviceNames(*system), before) << "listed only when looked up again";
  system->ListNewDevices();
  const std::vector<std::string> listed = DeviceNames(*system);
  ASSERT_EQ(listed.size(), before.size() + 1);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), listed.begin()))
      << "appended after the others";
  const std::uint32_t id = IdOf(*system, "late:in");
  EXPECT_EQ(id, before.size());

  MidiHandle handle = 0;
  ASSERT_EQ(system->Open(id, handle), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0xC3, 20)), MMSYSERR_NOERROR);
  ASSERT_EQ(system->ShortMessage(handle, Message(0x93, 40, 50)), MMSYSERR_NOERROR);
  EXPECT_EQ(late->WaitForEvents(2, 3s), (std::vector<Bytes>{{0xC3, 20}, {0x93, 40, 50}}));

  // Gone under the open device: its next message says so, once; the rest are dropped.
  const int number = late->Client();
  late.reset();
  const MidiResult gone = system->ShortMessage(handle, Message(0x83, 40, 0));
  EXPECT_EQ(gone, MIDIERR_NODEVICE);
  EXPECT_NE(TextOf(*system, gone).find("late:in"), std::string::npos) << TextOf(*system, gone);
  EXPECT_EQ(system->ShortMessage(handle, Message(0x93, 41, 50)), MMSYSERR_NOERROR);

  // Back under its names with another number: found by them at the next message, programs
  // first; the list keeps its entries.
  AlsaMidiMonitor taker("taker");  // takes the number the client had
  late = std::make_unique<AlsaMidiMonitor>("late");
  ASSERT_TRUE(late->Ok());
  ASSERT_NE(late->Client(), number);
  system->ListNewDevices();
  const std::vector<std::string> now = DeviceNames(*system);
  EXPECT_EQ(std::count_if(now.begin(), now.end(),
                          [](const std::string& name) { return name.rfind("late:in", 0) == 0; }),
            1)
      << "the same port, not a new one";
  EXPECT_EQ(IdOf(*system, "late:in"), id);
  ASSERT_EQ(system->ShortMessage(handle, Message(0x93, 42, 51)), MMSYSERR_NOERROR);
  EXPECT_EQ(late->WaitForEvents(2, 3s), (std::vector<Bytes>{{0xC3, 20}, {0x93, 42, 51}}));
  late->Clear();
  ASSERT_EQ(system->Close(handle), MMSYSERR_NOERROR);
  // Closing ends every note that went out, whichever connection carried it, and none that
  // was dropped.
  EXPECT_EQ(late->WaitForEvents(2, 3s), (std::vector<Bytes>{{0x83, 40, 0}, {0x83, 42, 0}}));

  // Opened while it is away: fails once, then opens quietly.
  late.reset();
  EXPECT_EQ(system->Open(id, handle), MIDIERR_NODEVICE);
  EXPECT_EQ(system->Open(id, handle), MMSYSERR_NOERROR);
  EXPECT_EQ(system->Close(handle), MMSYSERR_NOERROR);
}

TEST_F(AlsaSequencerTest, EndingTheSystemWithNotesHeldSendsTheirNoteOffsFirst) {
  constexpr int kRounds = 200;
  const std::optional<AlsaPort> through = FindAlsaPort("Midi Through", "Midi Through Port-0");
  ASSERT_TRUE(through && monitor_->ConnectFrom(*through));
  std::vector<Bytes> expected;
  for (int round = 0; round < kRounds; ++round) {
    auto system = CreateRtMidiSystem(true);
    MidiHandle direct = 0, passedOn = 0;
    ASSERT_EQ(system->Open(IdOf(*system, monitor_->PortName()), direct), MMSYSERR_NOERROR);
    ASSERT_EQ(system->Open(IdOf(*system, kMidiThrough), passedOn), MMSYSERR_NOERROR);
    const auto note = static_cast<std::uint8_t>(round % 128);
    ASSERT_EQ(system->ShortMessage(direct, Message(0x90, note, 100)), MMSYSERR_NOERROR);
    ASSERT_EQ(system->ShortMessage(passedOn, Message(0x95, note, 100)), MMSYSERR_NOERROR);
    system.reset();
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
