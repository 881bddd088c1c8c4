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
    deferred.Start();
  }
  EXPECT_TRUE(made.load());
}

TEST(DeferredMidiSystem, SaysWhenItIsReadyOnceMadeAlsoWhenMakingItFailed) {
  for (const bool fails : {false, true}) {
    std::atomic<bool> release{false};
    DeferredMidiSystem deferred([&release, fails]() -> std::unique_ptr<MidiSystem> {
      while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (fails) throw std::runtime_error("no MIDI today");
      return CreateNoMidiSystem();
    });
    EXPECT_FALSE(deferred.Ready());  // not started: nothing is made before it is asked for
    deferred.Start();
    deferred.Start();  // once only
    EXPECT_FALSE(deferred.Ready());
    std::atomic<int> told{0};
    std::thread::id toldOn;
    deferred.CallWhenReady([&] {
      toldOn = std::this_thread::get_id();
      ++told;
    });
    EXPECT_EQ(told.load(), 0);
    release = true;
    for (int i = 0; i < 2000 && told.load() == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(told.load(), 1);
    EXPECT_NE(toldOn, std::this_thread::get_id());
    EXPECT_TRUE(deferred.Ready());
    // Asked once it is ready: told at once, on the asking thread.
    deferred.CallWhenReady([&] {
      toldOn = std::this_thread::get_id();
      ++told;
    });
    EXPECT_EQ(told.load(), 2);
    EXPECT_EQ(toldOn, std::this_thread::get_id());
    if (fails) {
      EXPECT_THROW(deferred.DeviceCount(), std::runtime_error);
    }
    EXPECT_EQ(deferred.DeviceCount(), 0u);
  }
}

TEST(DeferredMidiSystem, ReadinessAskedWhileItIsBeingMadeIsNeverMissed) {
  // The question and the making race: whichever comes first, the caller is told once.
  for (int round = 0; round < 300; ++round) {
    DeferredMidiSystem deferred([] { return CreateNoMidiSystem(); });
    std::atomic<int> told{0};
    deferred.Start();
    if (round % 2 == 0) std::this_thread::yield();
    deferred.CallWhenReady([&told] { ++told; });
    deferred.DeviceCount();  // waits until it is made, and so until the caller was told
    ASSERT_EQ(told.load(), 1) << "round " << round;
  }
}

}  // namespace
