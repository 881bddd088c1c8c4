// The key path (key event -> short messages) must not allocate: a held chord on a slow
// machine should never wait for the heap.
#include "allocation_counter.h"
#include "engine_fixture.h"

TEST_F(EngineTest, KeyDownAndUpAllocateNothing) {
  SetNoteDisplay(nullptr);  // the recording display allocates its log
  Config.RecordingDevice = 0;
  Config.PlayingDevice = 2;
  Config.RecordingInstrument = 10;
  Config.PlayingInstrument = 20;
  FormKeyDown('Q');  // devices opened outside the measurement
  FormKeyUp('Q');
  fake->ClearLog();

  StartCountingAllocations();
  for (int round = 0; round < 100; ++round) {
    FormKeyDown('Z');
    FormKeyDown('Z');
    FormKeyDown('S');
    FormKeyUp('Z');
    FormKeyUp('S');
    FormKeyDown('A');  // unmapped
  }
  const long allocations = StopCountingAllocations();
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(Sent(0).size(), 400u);
}

TEST_F(EngineTest, TheAllocationCounterSeesAllocations) {
  static int* volatile kept = nullptr;  // kept where the compiler cannot drop the pair
  StartCountingAllocations();
  kept = new int(1);
  EXPECT_GE(StopCountingAllocations(), 1);
  delete kept;
}
