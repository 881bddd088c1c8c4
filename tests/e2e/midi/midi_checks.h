#pragma once

// What the tests of every back end ask of the machine's MIDI: a device table over the
// machine's own back end, a device by name, and open -> note-on -> close rounds with the
// bytes they must give.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "machine_midi.h"
#include "midi_devices.h"
#include "raised_message.h"

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// The machine's own back end (as the program chooses it) and a device table over it.
class MachineMidi {
 public:
  explicit MachineMidi(bool withVirtualPort,
                       std::function<void()> jackServerLost = std::function<void()>())
      : backEnd_(CreateSystemMidiBackEnd(withVirtualPort, std::move(jackServerLost))) {
    if (backEnd_) table_ = std::make_unique<TMidiOutput>(std::vector<MidiBackEnd*>{backEnd_.get()});
  }
  bool Reached() const { return backEnd_ != nullptr; }
  TMidiOutput* operator->() { return table_.get(); }
  TMidiOutput& operator*() { return *table_; }
  // Ends as the program does: the devices still open are closed, then everything goes.
  void End() {
    if (table_) table_->CloseAll();
    table_.reset();
    backEnd_.reset();
  }

 private:
  std::unique_ptr<MidiBackEnd> backEnd_;
  std::unique_ptr<TMidiOutput> table_;  // goes before the back end
};

// The id of the device whose name starts with prefix (the whole name, or a name that goes
// on with the port's address); fails the test unless exactly one does.
inline std::int32_t IdOf(TMidiOutput& output, const std::string& prefix) {
  const std::vector<std::string> names = output.DeviceNames();
  std::int32_t found = -1;
  for (std::size_t id = 0; id < names.size(); ++id) {
    if (names[id].compare(0, prefix.size(), prefix) != 0) continue;
    if (names[id].size() != prefix.size() && names[id][prefix.size()] != ' ') continue;
    if (found != -1) ADD_FAILURE() << prefix << " is listed twice";
    found = static_cast<std::int32_t>(id);
  }
  if (found == -1) ADD_FAILURE() << prefix << " is not listed";
  return found;
}

inline void Send(TMidiOutput& output, std::int32_t id, std::uint8_t status, std::uint8_t data1,
                 std::uint8_t data2 = 0) {
  output.SendShort(id, status, data1, data2);
}

// The note-on and the note-off of each round of OpenStrikeClose, in order.
inline std::vector<Bytes> NoteRounds(int rounds, std::uint8_t channel) {
  std::vector<Bytes> expected;
  for (int round = 0; round < rounds; ++round) {
    const auto note = static_cast<std::uint8_t>(round % 128);
    const auto velocity = static_cast<std::uint8_t>(1 + round % 127);
    expected.push_back({static_cast<std::uint8_t>(0x90 | channel), note, velocity});
    expected.push_back({static_cast<std::uint8_t>(0x80 | channel), note, 0});
  }
  return expected;
}

// Opens the device, strikes a note and closes the device again, rounds times without a
// pause: the close sends the note-off while the note-on may still be on its way.
inline void OpenStrikeClose(TMidiOutput& output, std::int32_t id, int rounds,
                            std::uint8_t channel) {
  for (int round = 0; round < rounds; ++round) {
    output.OpenDevice(id);
    Send(output, id, static_cast<std::uint8_t>(0x90 | channel),
         static_cast<std::uint8_t>(round % 128), static_cast<std::uint8_t>(1 + round % 127));
    output.CloseDevice(id);
  }
}
