// A JACK client "NAME" with an output port "out" connected to DESTINATION that sends the
// MIDI messages read from its input, one line each in hex ("90 3c 64"); the line
// "disconnect" ends the connection. It answers every line with "sent" once the message
// has left (two process cycles later), so a test knows when the other side has it.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "event_queue.h"

namespace {
MidiEventQueue queue;
jack_port_t* out = nullptr;
std::atomic<unsigned long> cycles{0};

int Process(jack_nframes_t frames, void*) {
  void* buffer = jack_port_get_buffer(out, frames);
  jack_midi_clear_buffer(buffer);
  queue.Drain([buffer](const MidiEvent& event) {
    return jack_midi_event_write(buffer, 0, event.Bytes.data(), event.Size) == 0;
  });
  cycles.fetch_add(1);
  return 0;
}

void WaitCycles(unsigned long count) {
  const unsigned long until = cycles.load() + count;
  while (cycles.load() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s NAME DESTINATION\n", argv[0]);
    return 2;
  }
  jack_client_t* client = jack_client_open(argv[1], JackNoStartServer, nullptr);
  if (client == nullptr) return 1;
  out = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  jack_set_process_callback(client, &Process, nullptr);
  if (out == nullptr || jack_activate(client) != 0) return 1;
  const std::string source = jack_port_name(out);
  if (jack_connect(client, source.c_str(), argv[2]) != 0) return 1;
  WaitCycles(2);
  std::cout << "ready" << std::endl;
  for (std::string line; std::getline(std::cin, line);) {
    if (line == "disconnect") {
      jack_disconnect(client, source.c_str(), argv[2]);
    } else {
      std::istringstream fields(line);
      MidiEvent event;
      for (unsigned byte = 0; event.Size < 3 && fields >> std::hex >> byte;) {
        event.Bytes[event.Size++] = static_cast<std::uint8_t>(byte);
      }
      queue.Push(event);
    }
    WaitCycles(2);
    std::cout << "sent" << std::endl;
  }
  jack_client_close(client);
}
