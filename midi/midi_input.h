#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "event_queue.h"
#include "short_message.h"

// The program's own MIDI input: what other programs play into it only lights the picture.
// Messages come from the MIDI system's thread (JACK's process thread, the sequencer
// reader's thread), one at a time, and the GUI thread takes them when it looks: the queue
// neither allocates nor locks, so the process thread never waits for the window.
class MidiInputFeed {
 public:
  // MIDI thread: one whole message. Only note-on, note-off and the all-notes-off and
  // all-sound-off controllers are kept; the rest could never light a key. A full queue
  // drops the message (the window is far behind: thousands of notes).
  void Arrived(const std::uint8_t* bytes, std::size_t size) {
    if (size < 3) return;
    const unsigned kind = bytes[0] & 0xF0u;
    const bool controllerOff = kind == 0xB0 && (bytes[1] == 120 || bytes[1] == 123);
    if (kind != 0x80 && kind != 0x90 && !controllerOff) return;
    queue_.Push({3, {bytes[0], bytes[1], bytes[2]}});
  }

  // Any thread: a sender's connection to the input went away, or the input itself (the
  // server stopped, the program ends): what was lit can no longer be put out by it.
  void SenderGone() { sendersGone_.fetch_add(1, std::memory_order_release); }

  // GUI thread: hands every waiting message to take, then tells with true when a sender
  // went away since the last look (after the messages it sent before it went).
  template <typename Take>
  bool Drain(Take take) {
    const std::uint32_t gone = sendersGone_.load(std::memory_order_acquire);
    queue_.Drain([&take](const MidiEvent& event) {
      take(event);
      return true;
    });
    const bool anyGone = gone != seenGone_;
    seenGone_ = gone;
    return anyGone;
  }

 private:
  MidiEventQueue queue_;
  std::atomic<std::uint32_t> sendersGone_{0};
  std::uint32_t seenGone_ = 0;  // GUI thread only
};

// The run's one input feed. Only one MIDI system feeds it at a time: the next one is made
// after the last one's thread ended. Made before any thread runs and never destroyed, so
// neither side ever waits for it to be made.
inline constinit MidiInputFeed theIncomingMidi;
inline MidiInputFeed& IncomingMidi() { return theIncomingMidi; }

// The input's port name beside the virtual output's.
inline constexpr char kInputPortName[] = "Tessivar input";
