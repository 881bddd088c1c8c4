#pragma once

#include <memory>

#include "midi_system.h"

// The MIDI system of this machine as the program lists it: the built-in synthesizer
// first, then the virtual output port where the back end has one, then the machine's
// own output ports. Creating it loads nothing heavy: the synthesizer is made ready when
// a configuration selects it (Prepare) or on its first open.
// The synthesizer looks for sound fonts in the program folder first.
std::unique_ptr<MidiSystem> CreateMachineMidiSystem();
