// The machine's MIDI system made on a thread of its own while the window is made.
#include "deferred_midi_system.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "builtin_synth.h"
#include "combined_midi_system.h"

namespace {

TEST(DeferredMidiSystem, TheFirstCallWaitsForTheSystemAndEveryCallReachesIt) {
  std::atomic<bool> release{false};
  DeferredMidiSystem deferred([&release]() -> std::unique_ptr<MidiSystem> {
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    BuiltinSynthOptions options;
    options.RenderOnly = true;
    std::vector<std::unique_ptr<MidiSystem>> members;
    members.push_back(CreateBuiltinSynthSystem(options));
    return std::make_unique<CombinedMidiSystem>(std::move(members));
  });
  std::thread releaser([&release] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    release = true;
  });
  EXPECT_EQ(deferred.DeviceCount(), 1u);
  releaser.join();
  std::string name;
  EXPECT_EQ(deferred.DeviceName(0, name), MMSYSERR_NOERROR);
  EXPECT_EQ(name, "Built-in synthesizer");
  deferred.Prepare(0);
  MidiHandle handle = 0;
  ASSERT_EQ(deferred.Open(0, handle), MMSYSERR_NOERROR);
  EXPECT_EQ(deferred.ShortMessage(handle, 0x643C90), MMSYSERR_NOERROR);
  EXPECT_EQ(deferred.Close(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(deferred.Close(handle), MMSYSERR_INVALHANDLE);
}

TEST(DeferredMidiSystem, AFailureToMakeItIsRaisedOnceThenThereAreNoDevices) {
  DeferredMidiSystem deferred(
      []() -> std::unique_ptr<MidiSystem> { throw std::runtime_error("no MIDI today"); });
  EXPECT_THROW(deferred.DeviceCount(), std::runtime_error);
  EXPECT_EQ(deferred.DeviceCount(), 0u);
  MidiHandle handle = 0;
  EXPECT_EQ(deferred.Open(0, handle), MMSYSERR_BADDEVICEID);

  DeferredMidiSystem nothing([] { return std::unique_ptr<MidiSystem>(); });
  EXPECT_EQ(nothing.DeviceCount(), 0u);
}

TEST(DeferredMidiSystem, OneNeverUsedIsFinishedAndEndedWithTheProgram) {
  std::atomic<bool> made{false};
  {
    DeferredMidiSystem deferred([&made] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      made = true;
      return CreateNoMidiSystem();
    });
  }
  EXPECT_TRUE(made.load());
}

}  // namespace
