#pragma once

#include <memory>

#include "midi_system.h"

// The name under which the virtual output port is listed as a device.
inline constexpr char kVirtualOutputDeviceName[] = "Tessivar virtual output";
// The client and port name other programs see and connect to.
inline constexpr char kVirtualOutputPortName[] = "Tessivar";

// The machine's MIDI output ports: the ALSA sequencer through RtMidi when it can be
// reached, otherwise JACK through its own API (see jack_midi_system.h); with neither the
// list is empty. The ports are listed here, and ListNewDevices appends those that came
// since. A device is connected by the port name it was listed with (on ALSA its client and
// port names: the sequencer's numbers change when a client starts again), looked up at
// its first open and again after its destination went away. Its connection then stays
// while the destination lives: closing a device sends a note-off for every note that went
// out through it and is still on, and reopening it is immediate. With withVirtualPort the
// list starts with a virtual output port, created here and kept until the system is
// destroyed, so connections other programs made to it stay.
std::unique_ptr<MidiSystem> CreateRtMidiSystem(bool withVirtualPort);
