// Short messages are on the key path: they must not allocate. This binary links the
// counting replacements of the global allocation functions.
#include "allocation_counter.h"
#include "builtin_synth.h"
#include "jack_fixture.h"

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

// Through the device table, as the key path sends them, to a port and to the virtual
// port, both opened before (and reopened after a close, as Space does).
TEST_F(NoAllocationTest, ShortMessagesToTheMachinesPortsAllocateNothing) {
  MachineMidi system(true);
  const std::int32_t port = IdOf(*system, "monitor:in");
  for (const std::int32_t id : {port, 0}) system->OpenDevice(id);
  const long count = AllocationsOf([&] {
    for (std::uint8_t note = 40; note < 90; ++note) {
      for (const std::int32_t id : {port, 0}) {
        Send(*system, id, 0x90, note, 100);
        Send(*system, id, 0xC0, note);
        Send(*system, id, 0x80, note, 0);
      }
      if (note == 60) system->CloseAll();
    }
  });
  EXPECT_EQ(count, 0);
  EXPECT_EQ(monitor_->WaitForEvents(150, 5s).size(), 150u);
  system->CloseAll();
}

TEST_F(NoAllocationTest, ShortMessagesToTheSynthesizerAllocateNothing) {
  BuiltinSynthOptions options;
  options.RenderOnly = true;
  auto synth = CreateBuiltinSynthSystem(options);
  TMidiOutput output({synth.get()});
  output.OpenDevice(0);
  const long count = AllocationsOf([&] {
    for (std::uint8_t note = 40; note < 90; ++note) {
      Send(output, 0, 0xC0, note % 8);
      Send(output, 0, 0x90, note, 100);
      Send(output, 0, 0xE0, 0, 0x50);
      Send(output, 0, 0x80, note, 0);
    }
  });
  EXPECT_EQ(count, 0);
  output.CloseAll();
}

}  // namespace
