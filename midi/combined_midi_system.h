#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "midi_system.h"

// The text the platform gives for one of its standard result codes (MMSYSERR_ and
// MIDIERR_ values); false for any other code.
bool StandardMidiErrorText(MidiResult code, std::string& text);

// Several MIDI systems listed as one: the devices of the first member, then those of the
// second, and so on, as the combination is built. Devices a member lists later are
// appended after all of those, so that every combined id keeps naming the same device.
// The text of a failure code is the text of the member that failed with it last.
class CombinedMidiSystem final : public MidiSystem {
 public:
  explicit CombinedMidiSystem(std::vector<std::unique_ptr<MidiSystem>> members);
  ~CombinedMidiSystem() override;

  std::uint32_t DeviceCount() override;
  MidiResult DeviceName(std::uint32_t id, std::string& name) override;
  MidiResult Open(std::uint32_t id, MidiHandle& handle) override;
  MidiResult ShortMessage(MidiHandle handle, std::uint32_t message) override;
  MidiResult Close(MidiHandle handle) override;
  MidiResult ErrorText(MidiResult code, std::string& text) override;
  void ListNewDevices() override;
  void Prepare(std::uint32_t id) override;

 private:
  struct Member {
    std::unique_ptr<MidiSystem> System;
    std::uint32_t Listed = 0;  // how many of its devices have a combined id
  };
  // What a combined id stands for.
  struct Device {
    std::size_t MemberIndex = 0;
    std::uint32_t Id = 0;  // the member's own id
  };
  // One open device; the combined handle is the slot's position + 1.
  struct Slot {
    bool Used = false;
    std::size_t MemberIndex = 0;
    MidiHandle Inner = 0;
  };

  // The slot of a handle, or null for a handle that is not open.
  Slot* SlotOf(MidiHandle handle);
  // Remembers which member gave a failure code, so that its text is asked for later.
  MidiResult Remember(MidiResult code, std::size_t memberIndex);
  // Gives the member's devices not listed yet their combined ids.
  void AppendDevicesOf(std::size_t memberIndex);

  std::vector<Member> members_;
  std::vector<Device> devices_;  // by combined id
  std::vector<Slot> slots_;
  // Every standard code is below this bound; larger codes are looked up among all members.
  static constexpr std::size_t kRememberedCodes = 256;
  std::array<int, kRememberedCodes> lastFailingMember_;
};
