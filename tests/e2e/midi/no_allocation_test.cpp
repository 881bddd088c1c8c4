// Short messages are on the key path: they must not allocate. This binary links the
// counting replacements of the global allocation functions.
#include "allocation_counter.h"
#include "builtin_synth.h"
#include "jack_fixture.h"
#include "rtmidi_system.h"

namespace {

// Allocations made by the calls of body.
template <typename Body>
long AllocationsOf(Body body) {
  StartCountingAllocations();
  body();
  return StopCountingAllocations();
}

using NoAllocationTest = JackTest;

TEST_F(NoAllocationTest, TheCounterSeesAllocations) {
  static int* volatile kept = nullptr;  // kept where the compiler cannot drop the pair
  EXPECT_GE(AllocationsOf([] { kept = new int(1); }), 1);
  delete kept;
}

TEST_F(NoAllocationTest, ShortMessagesToRtMidiPortsAllocateNothing) {
  auto system = CreateRtMidiSystem(true);
  MidiHandle port = 0, virtualPort = 0;
  ASSERT_EQ(system->Open(IdOf(*system, "monitor:in"), port), MMSYSERR_NOERROR);
  ASSERT_EQ(system->Open(0, virtualPort), MMSYSERR_NOERROR);
  MidiResult worst = MMSYSERR_NOERROR;
  const long count = AllocationsOf([&] {
    for (std::uint8_t note = 40; note < 90; ++note) {
      for (const MidiHandle handle : {port, virtualPort}) {
        worst |= system->ShortMessage(handle, Message(0x90, note, 100));
        worst |= system->ShortMessage(handle, Message(0xC0, note));
        worst |= system->ShortMessage(handle, Message(0x80, note, 0));
      }
    }
  });
  EXPECT_EQ(worst, MMSYSERR_NOERROR);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(monitor_->WaitForEvents(150, 5s).size(), 150u);
  system->Close(port);
  system->Close(virtualPort);
}

TEST_F(NoAllocationTest, ShortMessagesToTheSynthesizerAllocateNothing) {
  BuiltinSynthOptions options;
  options.RenderOnly = true;
  auto synth = CreateBuiltinSynthSystem(options);
  MidiHandle handle = 0;
  ASSERT_EQ(synth->Open(0, handle), MMSYSERR_NOERROR);
  MidiResult worst = MMSYSERR_NOERROR;
  const long count = AllocationsOf([&] {
    for (std::uint8_t note = 40; note < 90; ++note) {
      worst |= synth->ShortMessage(handle, Message(0xC0, note % 8));
      worst |= synth->ShortMessage(handle, Message(0x90, note, 100));
      worst |= synth->ShortMessage(handle, Message(0xE0, 0, 0x50));
      worst |= synth->ShortMessage(handle, Message(0x80, note, 0));
    }
  });
  EXPECT_EQ(worst, MMSYSERR_NOERROR);
  EXPECT_EQ(count, 0);
}

}  // namespace
