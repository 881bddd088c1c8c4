#pragma once

#include <functional>
#include <future>
#include <memory>
#include <mutex>

#include "midi_system.h"

// A MIDI system that is made on a thread of its own (reaching the MIDI server, listing
// its ports) while the program goes on with its window. It starts being made at Start, or
// at the first call that needs it; that call, and every call before it is made, waits
// until it is; every call after that goes straight through.
class DeferredMidiSystem final : public MidiSystem {
 public:
  explicit DeferredMidiSystem(std::function<std::unique_ptr<MidiSystem>()> make);
  ~DeferredMidiSystem() override;

  void Start();

  std::uint32_t DeviceCount() override { return System().DeviceCount(); }
  MidiResult DeviceName(std::uint32_t id, std::string& name) override {
    return System().DeviceName(id, name);
  }
  MidiResult Open(std::uint32_t id, MidiHandle& handle) override {
    return System().Open(id, handle);
  }
  MidiResult ShortMessage(MidiHandle handle, std::uint32_t message) override {
    return System().ShortMessage(handle, message);
  }
  MidiResult Close(MidiHandle handle) override { return System().Close(handle); }
  MidiResult ErrorText(MidiResult code, std::string& text) override {
    return System().ErrorText(code, text);
  }
  void ListNewDevices() override { System().ListNewDevices(); }
  void Prepare(std::uint32_t id) override { System().Prepare(id); }
  bool Ready() override;
  void CallWhenReady(std::function<void()> whenReady) override;

 private:
  MidiSystem& System();
  void Made();

  std::function<std::unique_ptr<MidiSystem>()> make_;
  std::mutex readiness_;
  bool made_ = false;
  std::function<void()> whenReady_;
  std::future<std::unique_ptr<MidiSystem>> making_;
  std::unique_ptr<MidiSystem> system_;
};
