#pragma once

#include <memory>

#include "midi_system.h"

// The Windows multimedia MIDI output calls themselves (midiOut*), whose result codes and
// texts the seam is shaped after; closing a device ends the notes still on through it
// first. Windows only.
std::unique_ptr<MidiSystem> CreateWinMmMidiSystem();
