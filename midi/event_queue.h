#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "short_message.h"

// A fixed-size queue of MIDI events from one thread (the one that plays) to another (the
// audio server's process thread). Neither side allocates, locks or waits.
class MidiEventQueue {
 public:
  static constexpr std::uint32_t kCapacity = 4096;  // a power of two

  // Producer side: false when the queue is full (the event is dropped).
  bool Push(const MidiEvent& event) {
    const std::uint32_t written = written_.load(std::memory_order_relaxed);
    if (written - read_.load(std::memory_order_acquire) >= kCapacity) return false;
    events_[written % kCapacity] = event;
    written_.store(written + 1, std::memory_order_release);
    return true;
  }

  // Consumer side: hands the waiting events in order to deliver, which returns false when
  // it cannot take more now; those stay queued for the next call.
  template <typename Deliver>
  void Drain(Deliver deliver) {
    const std::uint32_t written = written_.load(std::memory_order_acquire);
    std::uint32_t read = read_.load(std::memory_order_relaxed);
    while (read != written && deliver(events_[read % kCapacity])) ++read;
    read_.store(read, std::memory_order_release);
  }

  // Drops every waiting event. Only while no consumer runs (the thread that drained it
  // has ended), as the producer then stands for both sides.
  void Discard() {
    read_.store(written_.load(std::memory_order_relaxed), std::memory_order_release);
  }

  // Whether every pushed event was taken by the consumer (either side may ask).
  bool Empty() const {
    return read_.load(std::memory_order_acquire) == written_.load(std::memory_order_acquire);
  }

 private:
  std::array<MidiEvent, kCapacity> events_{};
  std::atomic<std::uint32_t> written_{0};
  std::atomic<std::uint32_t> read_{0};
};
