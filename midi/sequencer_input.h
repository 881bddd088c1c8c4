#pragma once

#include <memory>

#include "port_names.h"

// The program's MIDI input on the ALSA sequencer: a writable port that any program can
// subscribe to, on a client of its own whose thread hands what arrives to IncomingMidi. A
// subscription that ends (its sender quit, or was disconnected) is told there too.
//
// RtMidi's input keeps the end of a subscription to itself, so the sequencer is read here.
class SequencerInput {
 private:
  struct Sequencer;

 public:
  // Null when the sequencer cannot be reached.
  static std::unique_ptr<SequencerInput> Open();
  // Only Open can make the sequencer it takes.
  explicit SequencerInput(std::unique_ptr<Sequencer> sequencer);
  ~SequencerInput();
  SequencerInput(const SequencerInput&) = delete;
  SequencerInput& operator=(const SequencerInput&) = delete;

  // Where other programs find the port (left out of the program's own destinations).
  SequencerAddress Address() const;

 private:
  std::unique_ptr<Sequencer> sequencer_;
};
