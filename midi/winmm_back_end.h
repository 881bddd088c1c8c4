#pragma once

#include <cstdint>
#include <memory>

#include "midi_port.h"

// The Windows multimedia MIDI output calls themselves (midiOut*): the devices by their
// identifiers, opened and closed as the table does. Windows only.
std::unique_ptr<MidiBackEnd> CreateWinMmBackEnd();

// Raises with the platform's text for a failing result code of the MIDI calls; a code the
// platform has no text for is ignored.
void CheckResult(std::uint32_t code);
