#pragma once

#include <memory>

#include "midi_system.h"

// The MIDI input ports of a running JACK server as output devices, through one JACK client
// of this program (the server is never started for it). With withVirtualPort the list
// starts with the virtual output port, which other programs connect to themselves.
//
// A device gets its own output port of the client, and its connection to the destination,
// the first time it is opened; both stay while the server runs. Closing a device sends a
// note-off for every note still on through it and marks it closed. Messages reach the
// server's process thread through a queue per port, so sending never allocates or waits.
//
// The machine may change under a running system. A destination that went away is noticed
// at the device's next message, and connected again, by its name, at the first message
// after it came back (with the programs chosen through the device given again). A server
// that stopped is noticed too: what was queued for it is dropped, and the client, the
// virtual port and the connections are made again at the first call after it is back.
// Either absence fails one call with its own text; the calls after it drop their messages
// quietly until what was missing is reached again. ListNewDevices appends the ports that
// came since the list was made.
//
// A client is closed, and so its threads ended, before anything they read is freed or
// changed: when the system ends (after the messages still queued left, for a bounded time),
// and when its server went away, at the next call.
//
// Null when no JACK server answers.
std::unique_ptr<MidiSystem> CreateJackMidiSystem(bool withVirtualPort);
