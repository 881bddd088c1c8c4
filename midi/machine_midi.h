#pragma once

#include <functional>
#include <memory>

#include "midi_devices.h"

// The back end of the machine's own MIDI ports, chosen by what the machine has: WinMM on
// Windows; else the ALSA sequencer through RtMidi when it can be reached, else a running
// JACK server (jackServerLost is called when that server went away, before a new one is
// reached). With withVirtualPort its list starts with a virtual output port.
// Null when the machine has none of them.
std::unique_ptr<MidiBackEnd> CreateSystemMidiBackEnd(bool withVirtualPort,
                                                     std::function<void()> jackServerLost);

// The back ends of this machine as the program lists them: the built-in synthesizer first
// (its sound fonts looked for in the program folder first), then the virtual output port
// where the system's back end has one, then the machine's own output ports. Making them
// loads nothing heavy: the synthesizer is made ready when a configuration selects it
// (Prepare) or on its first open.
MidiBackEnds CreateMachineMidiBackEnds();
