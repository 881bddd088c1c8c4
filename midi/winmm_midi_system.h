#pragma once

#include <memory>

#include "midi_system.h"

// The Windows multimedia MIDI output calls themselves (midiOut*), whose result codes and
// texts the seam is shaped after. Windows only.
std::unique_ptr<MidiSystem> CreateWinMmMidiSystem();
