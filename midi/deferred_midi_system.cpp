#include "deferred_midi_system.h"

#include <utility>

DeferredMidiSystem::DeferredMidiSystem(std::function<std::unique_ptr<MidiSystem>()> make)
    : make_(std::move(make)) {}

DeferredMidiSystem::~DeferredMidiSystem() {
  // A system still being made is finished and then ended like any other.
  if (making_.valid()) making_.wait();
}

void DeferredMidiSystem::Start() {
  if (making_.valid() || system_ || !make_) return;
  making_ = std::async(std::launch::async, [this, make = std::move(make_)] {
    // Whoever waits is told also when making it failed: the failure is then the first
    // call's, as with any other call.
    struct Announce {
      DeferredMidiSystem& system;
      ~Announce() { system.Made(); }
    } announce{*this};
    return make();
  });
}

bool DeferredMidiSystem::Ready() {
  if (system_) return true;
  const std::lock_guard lock(readiness_);
  return made_;
}

void DeferredMidiSystem::CallWhenReady(std::function<void()> whenReady) {
  {
    const std::lock_guard lock(readiness_);
    if (!made_) {
      whenReady_ = std::move(whenReady);
      return;
    }
  }
  whenReady();
}

void DeferredMidiSystem::Made() {
  std::function<void()> whenReady;
  {
    const std::lock_guard lock(readiness_);
    made_ = true;
    whenReady = std::move(whenReady_);
  }
  if (whenReady) whenReady();
}

MidiSystem& DeferredMidiSystem::System() {
  if (!system_) {
    Start();
    // A failure to make it is the failure of the first call, once; then there is none.
    if (making_.valid()) system_ = making_.get();
    if (!system_) system_ = CreateNoMidiSystem();
  }
  return *system_;
}
