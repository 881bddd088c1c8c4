#pragma once

#include <string>
#include <vector>

#include "app_error.h"
#include "short_message.h"

// The seam between the device table and the machine's MIDI: one back end per way of
// reaching ports (JACK, the ALSA sequencer through RtMidi, WinMM, the built-in synthesizer,
// a test fake). A failure is an AppError carrying the words the user is shown, raised
// where it happens.

// How a port stands once it can carry messages.
enum class Link {
  Kept,             // as it was
  Made,             // connected (again): its destination knows nothing of earlier programs
  MadeOnNewServer,  // and the server is a new one: what sounded went with the old one
};

// One destination, made when the table lists it and kept by its back end for the run, so
// that a device closed and opened again is reached at once.
class MidiPort {
 public:
  virtual ~MidiPort() = default;
  // Makes the port able to carry messages (connects it when it is not); raises with the
  // reason when it cannot be reached.
  virtual Link Reach() = 0;
  // Sends one message once Reach succeeded. Must not allocate; raises when it cannot go.
  virtual void Send(const MidiEvent& event) = 0;
  // The device closes (the table has sent the note-offs of its notes already).
  virtual void Close() {}
  // The device is about to be used: what its first Reach would take a while to make ready
  // may start now, off the calling thread. Nothing fails here.
  virtual void Prepare() {}
};

class MidiBackEnd {
 public:
  virtual ~MidiBackEnd() = default;
  // The names of the ports present now, in the back end's order; may raise.
  virtual std::vector<std::string> PortNames() = 0;
  // The port of the position-th name the last PortNames gave; kept by the back end for its
  // life (asked once per listed port).
  virtual MidiPort& MakePort(std::size_t position, const std::string& name) = 0;
};

// The name under which the virtual output port is listed as a device.
inline constexpr char kVirtualOutputDeviceName[] = "Tessivar virtual output";
// The client and port name other programs see and connect to.
inline constexpr char kVirtualOutputPortName[] = "Tessivar";
