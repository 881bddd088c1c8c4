#pragma once

#include <memory>

#include "midi_system.h"

// The MIDI input ports of a running JACK server as output devices, through one JACK client
// of this program (the server is never started for it). With withVirtualPort the list
// starts with the virtual output port, which other programs connect to themselves.
//
// A device gets its own output port of the client, and its connection to the destination,
// the first time it is opened; both stay for the run. Closing a device sends a note-off for
// every note still on through it and marks it closed; opening it again connects again only
// when the destination went away and came back. Messages reach the server's process thread
// through a queue per port, so sending never allocates or waits. When the system ends, the
// messages still queued leave first (for a bounded time), then the client is deactivated and
// closed, and only then is anything its process thread reads freed.
//
// Null when no JACK server answers.
std::unique_ptr<MidiSystem> CreateJackMidiSystem(bool withVirtualPort);
