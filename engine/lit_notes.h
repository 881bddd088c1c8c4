#pragma once

#include <bitset>
#include <cstdint>

#include "short_message.h"

// The notes that the program's MIDI input holds on, by channel: a key stays lit while any
// channel holds its note. Note-on with a velocity lights, note-off or note-on at velocity 0
// puts out, all-notes-off and all-sound-off put out the notes of their channel.
class LitNotes {
 public:
  // Takes one message; changed(note, lit) is called for every note whose lit state changed.
  template <typename Changed>
  void Take(const MidiEvent& event, Changed changed) {
    const unsigned kind = event.Bytes[0] & 0xF0u, channel = event.Bytes[0] & 0x0Fu;
    if (kind == 0xB0) {
      if (event.Bytes[1] == 120 || event.Bytes[1] == 123) {
        for (unsigned note = 0; note < 128; ++note) Set(channel, note, false, changed);
      }
      return;
    }
    if (kind != 0x80 && kind != 0x90) return;
    Set(channel, event.Bytes[1] & 0x7Fu, kind == 0x90 && event.Bytes[2] != 0, changed);
  }

  // Puts out every note (its sender went away).
  template <typename Changed>
  void PutOutAll(Changed changed) {
    for (unsigned note = 0; note < 128; ++note) {
      if (!Lit(note)) continue;
      for (unsigned channel = 0; channel < 16; ++channel) on_.reset(channel * 128 + note);
      changed(static_cast<std::uint8_t>(note), false);
    }
  }

  bool Lit(unsigned note) const {
    for (unsigned channel = 0; channel < 16; ++channel) {
      if (on_.test(channel * 128 + note)) return true;
    }
    return false;
  }

 private:
  template <typename Changed>
  void Set(unsigned channel, unsigned note, bool on, Changed& changed) {
    const bool was = Lit(note);
    on_.set(channel * 128 + note, on);
    if (Lit(note) != was) changed(static_cast<std::uint8_t>(note), !was);
  }

  std::bitset<16 * 128> on_;
};
