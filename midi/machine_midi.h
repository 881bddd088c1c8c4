#pragma once

#include <functional>
#include <memory>
#include <string>

#include "midi_system.h"

// The MIDI system of this machine as the program lists it: the built-in synthesizer
// first, then the virtual output port where the back end has one, then the machine's
// own output ports. Creating it loads nothing heavy: the synthesizer is made ready when
// a configuration selects it (Prepare) or on its first open.
// The program folder (where the synthesizer looks for sound fonts first) is asked for
// once the MIDI server has been reached, so that reaching it may start before the folder
// is known; the plain form uses ProgramFolder().
std::unique_ptr<MidiSystem> CreateMachineMidiSystem(
    const std::function<std::string()>& programFolder);
std::unique_ptr<MidiSystem> CreateMachineMidiSystem();
