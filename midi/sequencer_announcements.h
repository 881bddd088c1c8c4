#pragma once

#include <array>
#include <cstddef>
#include <memory>

#include "port_names.h"

// What the ALSA sequencer announces of the clients and ports that start and end, read as
// it comes, through a client of this program that no other program can connect to.
class SequencerAnnouncements {
 public:
  // What was announced since the last look.
  struct News {
    bool Came = false;  // a port that takes messages started
    // Whether the port at this address, or its whole client, ended (also when more ended
    // than could be kept, or announcements were lost: then it may have).
    bool Ended(SequencerAddress address) const;

    static constexpr std::size_t kKept = 32;
    std::array<SequencerAddress, kKept> Gone{};  // Port -1: the whole client
    std::size_t GoneCount = 0;
    bool TooMany = false;
    void AddGone(SequencerAddress address);
  };

  // Null when the sequencer cannot be reached.
  static std::unique_ptr<SequencerAnnouncements> Open();
  ~SequencerAnnouncements();
  SequencerAnnouncements(const SequencerAnnouncements&) = delete;
  SequencerAnnouncements& operator=(const SequencerAnnouncements&) = delete;

  // The announcements waiting now, without waiting for more and without allocating.
  News Read();

 private:
  struct Sequencer;
  explicit SequencerAnnouncements(std::unique_ptr<Sequencer> sequencer);
  std::unique_ptr<Sequencer> sequencer_;
};
