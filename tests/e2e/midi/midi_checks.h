#pragma once

// What the tests of every back end ask of a MIDI system: the listed names, a device by
// name, packed messages, and open -> note-on -> close rounds with the bytes they must give.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "midi_system.h"

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

inline std::vector<std::string> DeviceNames(MidiSystem& system) {
  std::vector<std::string> names;
  for (std::uint32_t id = 0; id < system.DeviceCount(); ++id) {
    std::string name;
    EXPECT_EQ(system.DeviceName(id, name), MMSYSERR_NOERROR);
    names.push_back(name);
  }
  return names;
}

// The id of the device whose name starts with prefix (the whole name, or a name that goes
// on with the port's address); fails the test unless exactly one does.
inline std::uint32_t IdOf(MidiSystem& system, const std::string& prefix) {
  const std::vector<std::string> names = DeviceNames(system);
  std::uint32_t found = 0xFFFFFFFF;
  for (std::uint32_t id = 0; id < names.size(); ++id) {
    if (names[id].compare(0, prefix.size(), prefix) != 0) continue;
    if (names[id].size() != prefix.size() && names[id][prefix.size()] != ' ') continue;
    if (found != 0xFFFFFFFF) ADD_FAILURE() << prefix << " is listed twice";
    found = id;
  }
  if (found == 0xFFFFFFFF) ADD_FAILURE() << prefix << " is not listed";
  return found;
}

inline std::string TextOf(MidiSystem& system, MidiResult code) {
  std::string text;
  EXPECT_EQ(system.ErrorText(code, text), MMSYSERR_NOERROR);
  return text;
}

inline std::uint32_t Message(std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0) {
  return status | (data1 << 8) | (data2 << 16);
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
inline void OpenStrikeClose(MidiSystem& system, std::uint32_t id, int rounds,
                            std::uint8_t channel) {
  for (int round = 0; round < rounds; ++round) {
    MidiHandle handle = 0;
    ASSERT_EQ(system.Open(id, handle), MMSYSERR_NOERROR) << "round " << round;
    const std::uint32_t noteOn = (0x90u | channel) | (round % 128u) << 8 | (1 + round % 127u) << 16;
    ASSERT_EQ(system.ShortMessage(handle, noteOn), MMSYSERR_NOERROR) << "round " << round;
    ASSERT_EQ(system.Close(handle), MMSYSERR_NOERROR) << "round " << round;
  }
}
