#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>

// One short MIDI message as bytes on the wire.
struct MidiEvent {
  std::uint8_t Size = 0;
  std::array<std::uint8_t, 3> Bytes{};
};

// The bytes of a packed short message (status in the low byte, then data 1, then data 2):
// two for a program change or channel pressure, three for the other channel messages (the
// program sends no system messages).
inline MidiEvent ShortMessageEvent(std::uint32_t message) {
  const auto status = static_cast<std::uint8_t>(message & 0xFF);
  return {static_cast<std::uint8_t>((status & 0xE0) == 0xC0 ? 2 : 3),
          {status, static_cast<std::uint8_t>((message >> 8) & 0xFF),
           static_cast<std::uint8_t>((message >> 16) & 0xFF)}};
}

// The notes that went out through one device and are still on (channel x 128 + note),
// so that closing the device can end them: ALSA, JACK and WinMM end nothing by themselves.
class SoundingNotes {
 public:
  void Sent(const MidiEvent& event) {
    const unsigned kind = event.Bytes[0] & 0xF0u;
    if (kind != 0x80 && kind != 0x90) return;
    const std::size_t key = (event.Bytes[0] & 0x0Fu) * 128u + (event.Bytes[1] & 0x7Fu);
    on_.set(key, kind == 0x90 && event.Bytes[2] != 0);
  }

  // Hands a note-off (velocity 0) for every note still on to send, then forgets them.
  template <typename Send>
  void EndAll(Send send) {
    if (on_.none()) return;
    for (std::size_t key = 0; key < on_.size(); ++key) {
      if (!on_.test(key)) continue;
      MidiEvent noteOff;
      noteOff.Size = 3;
      noteOff.Bytes = {static_cast<std::uint8_t>(0x80 | (key / 128)),
                       static_cast<std::uint8_t>(key % 128), 0};
      send(noteOff);
    }
    on_.reset();
  }

  // Forgets them without a note-off: what they sounded on is gone.
  void Forget() { on_.reset(); }

 private:
  std::bitset<16 * 128> on_;
};

// The program chosen last on each channel through one device, so that a destination that
// started again (and so lost them) can be given them once more before the next message.
class ChosenPrograms {
 public:
  void Sent(const MidiEvent& event) {
    if ((event.Bytes[0] & 0xF0u) != 0xC0) return;
    const std::size_t channel = event.Bytes[0] & 0x0Fu;
    programs_[channel] = event.Bytes[1];
    chosen_.set(channel);
  }

  // Hands a program change for every channel that has one to send, in channel order.
  template <typename Send>
  void Replay(Send send) const {
    for (std::size_t channel = 0; channel < programs_.size(); ++channel) {
      if (!chosen_.test(channel)) continue;
      MidiEvent change;
      change.Size = 2;
      change.Bytes = {static_cast<std::uint8_t>(0xC0 | channel), programs_[channel], 0};
      send(change);
    }
  }

  void Forget() { chosen_.reset(); }

 private:
  std::array<std::uint8_t, 16> programs_{};
  std::bitset<16> chosen_;
};
