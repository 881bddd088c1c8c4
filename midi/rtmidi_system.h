#pragma once

#include <memory>

#include "midi_system.h"

// The name under which the virtual output port is listed as a device.
inline constexpr char kVirtualOutputDeviceName[] = "Tessivar virtual output";
// The client and port name other programs see and connect to.
inline constexpr char kVirtualOutputPortName[] = "Tessivar";

// The machine's MIDI output ports through RtMidi: the ALSA sequencer when it can be
// reached, otherwise JACK; with neither the list is empty. The ports are listed once,
// here; a device is opened by the port name recorded then, looked up again at open time.
// With withVirtualPort the list starts with a virtual output port, created here and kept
// until the system is destroyed: closing it as a device only ends the notes sent through
// it, so connections other programs made to it stay. Closing any device first sends a
// note-off for every note that went out through it and is still on.
std::unique_ptr<MidiSystem> CreateRtMidiSystem(bool withVirtualPort);
