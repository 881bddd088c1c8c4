#pragma once

#include <memory>

#include "midi_system.h"

// The name under which the virtual output port is listed as a device.
inline constexpr char kVirtualOutputDeviceName[] = "Tessivar virtual output";
// The client and port name other programs see and connect to.
inline constexpr char kVirtualOutputPortName[] = "Tessivar";

// The machine's MIDI output ports: the ALSA sequencer through RtMidi when it can be
// reached, otherwise JACK through its own API (see jack_midi_system.h); with neither the
// list is empty. The ports are listed once, here; a device is connected by the port name
// recorded then, looked up again at every open (a destination may have gone, or come
// back). Its client and port stay for the run: closing a device sends a note-off for
// every note that went out through it and is still on. With withVirtualPort the list starts with a
// virtual output port, created here and kept until the system is destroyed, so
// connections other programs made to it stay.
std::unique_ptr<MidiSystem> CreateRtMidiSystem(bool withVirtualPort);
