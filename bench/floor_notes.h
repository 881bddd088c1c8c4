#pragma once

// What both floor programs of the key latency benchmark do with a key: a note-on (note-off)
// on their JACK port for every key press (release), Space ending every note held, through
// a lock-free queue that the JACK process callback empties.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <array>
#include <atomic>
#include <bitset>
#include <cstdint>

namespace floor_notes {

inline jack_port_t* port = nullptr;
inline std::array<std::array<std::uint8_t, 3>, 256> queue{};
inline std::atomic<std::uint32_t> written{0}, taken{0};
inline std::bitset<128> held;
// The X keycode of Space on every XKB layout.
constexpr std::uint32_t SpaceKeycode = 65;

inline int Process(jack_nframes_t frames, void*) {
  void* buffer = jack_port_get_buffer(port, frames);
  jack_midi_clear_buffer(buffer);
  const std::uint32_t until = written.load(std::memory_order_acquire);
  std::uint32_t next = taken.load(std::memory_order_relaxed);
  for (; next != until; ++next) jack_midi_event_write(buffer, 0, queue[next % 256].data(), 3);
  taken.store(next, std::memory_order_release);
  return 0;
}

inline void Write(std::uint8_t status, std::uint8_t note) {
  const std::uint32_t slot = written.load(std::memory_order_relaxed);
  queue[slot % 256] = {status, note, 100};
  written.store(slot + 1, std::memory_order_release);
}

// From one thread only.
inline void Key(bool press, std::uint32_t keycode) {
  if (keycode == SpaceKeycode) {
    if (!press) return;
    for (std::uint8_t note = 0; note < 128; ++note) {
      if (held.test(note)) Write(0x80, note);
    }
    held.reset();
    return;
  }
  const auto note = static_cast<std::uint8_t>(keycode % 128);
  held.set(note, press);
  Write(press ? 0x90 : 0x80, note);
}

// Registers the port "out" on client and starts it.
inline void Start(jack_client_t* client) {
  port = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  jack_set_process_callback(client, &Process, nullptr);
  jack_activate(client);
}

}  // namespace floor_notes
