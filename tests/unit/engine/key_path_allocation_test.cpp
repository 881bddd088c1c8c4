// The key path (key event -> short messages) must not allocate: a held chord on a slow
// machine should never wait for the heap. Counted with a replaced global operator new.
#include <atomic>
#include <cstdlib>
#include <new>

#include "engine_fixture.h"

namespace {
std::atomic<bool> Counting{false};
std::atomic<long> Allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (Counting) ++Allocations;
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

TEST_F(EngineTest, KeyDownAndUpAllocateNothing) {
  SetNoteDisplay(nullptr);  // the recording display allocates its log
  Config.RecordingDevice = 0;
  Config.PlayingDevice = 2;
  Config.RecordingInstrument = 10;
  Config.PlayingInstrument = 20;
  FormKeyDown('Q');  // devices opened outside the measurement
  FormKeyUp('Q');
  fake->ClearLog();

  Counting = true;
  for (int round = 0; round < 100; ++round) {
    FormKeyDown('Z');
    FormKeyDown('Z');
    FormKeyDown('S');
    FormKeyUp('Z');
    FormKeyUp('S');
    FormKeyDown('A');  // unmapped
  }
  Counting = false;
  EXPECT_EQ(Allocations.load(), 0);
  EXPECT_EQ(Sent(0).size(), 400u);
}
