#pragma once

#include <functional>
#include <memory>

#include "midi_port.h"

// The MIDI input ports of a running JACK server, through one JACK client of this program
// (the server is never started for it). With withVirtualPort the list starts with the
// virtual output port, which other programs connect to themselves, and the client has the
// program's MIDI input port beside it: what arrives there goes to IncomingMidi (never to a
// destination), and a connection to it that goes away is told there too.
//
// A port gets its own output port of the client, and its connection to the destination,
// when it is first reached; both stay while the server runs. Messages reach the server's
// process thread through a queue per port, so sending never allocates or waits.
//
// The machine may change under it. A destination that went away is connected again, by its
// name, when it is reached after it came back. A server that stopped is noticed at the next
// call: what was queued for it is dropped, serverLost is called (every other JACK client of
// the program lets go of its own: the JACK library breaks once a new client is opened while
// one whose server went away is still open), and the client, the virtual port and the
// connections are made again once a server answers.
//
// The client is closed, and so its threads ended, when the back end ends (after the
// messages still queued left, for a bounded time). Null when no JACK server answers.
std::unique_ptr<MidiBackEnd> CreateJackBackEnd(bool withVirtualPort,
                                               std::function<void()> serverLost);
