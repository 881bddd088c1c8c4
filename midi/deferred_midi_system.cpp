#include "deferred_midi_system.h"

#include <utility>

DeferredMidiSystem::DeferredMidiSystem(std::function<std::unique_ptr<MidiSystem>()> make)
    : making_(std::async(std::launch::async, std::move(make))) {}

DeferredMidiSystem::~DeferredMidiSystem() {
  // A system still being made is finished and then ended like any other.
  if (making_.valid()) making_.wait();
}

MidiSystem& DeferredMidiSystem::System() {
  if (!system_) {
    // A failure to make it is the failure of the first call, once; then there is none.
    if (making_.valid()) system_ = making_.get();
    if (!system_) system_ = CreateNoMidiSystem();
  }
  return *system_;
}
