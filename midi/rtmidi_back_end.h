#pragma once

#include <memory>

#include "midi_port.h"

// The ports of the ALSA sequencer, driven through RtMidi. A port is connected by the name
// it was listed with (its client and port names: the sequencer's numbers change when a
// client starts again), looked up when it is first
// reached and again after its destination went away. Its connection then stays while the
// destination lives, so a device closed and opened again is reached at once. The
// sequencer's announcements tell at the next call that a destination ended, and when
// trying again is worth it. With withVirtualPort the list starts with a virtual output
// port, made here and kept for the back end's life, so connections other programs made to
// it stay; the program's MIDI input port comes with it (sequencer_input.h). Null when the
// sequencer cannot be reached.
std::unique_ptr<MidiBackEnd> CreateRtMidiBackEnd(bool withVirtualPort);
