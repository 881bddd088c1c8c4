#pragma once

#include <memory>

#include "midi_system.h"

// A MIDI system whose closing of a device sends a note-off (velocity 0) for every note
// that went out through it and is still on, before the device closes: for the platform
// calls that close a port and leave whatever it played sounding on the instrument behind
// it (the Windows multimedia calls). Everything else is passed through.
std::unique_ptr<MidiSystem> EndingNotesAtClose(std::unique_ptr<MidiSystem> inner);
