// A JACK client "NAME" with an input port "input" that prints every MIDI message it
// receives, one line each ("midi: 90 3c 64"), until it is ended. Its process thread hands
// the messages over through a queue large enough for any test, so a printing thread that a
// busy machine holds back for seconds loses none of them.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "event_queue.h"

namespace {
MidiEventQueue received;
std::atomic<unsigned> lost{0};
jack_port_t* input = nullptr;

int Process(jack_nframes_t frames, void*) {
  void* buffer = jack_port_get_buffer(input, frames);
  const std::uint32_t count = jack_midi_get_event_count(buffer);
  for (std::uint32_t i = 0; i < count; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0 || event.size > 3) continue;
    MidiEvent message{static_cast<std::uint8_t>(event.size), {}};
    for (std::size_t b = 0; b < event.size; ++b) message.Bytes[b] = event.buffer[b];
    if (!received.Push(message)) lost.fetch_add(1);
  }
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s NAME\n", argv[0]);
    return 2;
  }
  jack_client_t* client = jack_client_open(argv[1], JackNoStartServer, nullptr);
  if (client == nullptr) return 1;
  input = jack_port_register(client, "input", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (input == nullptr || jack_set_process_callback(client, Process, nullptr) != 0 ||
      jack_activate(client) != 0) {
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    received.Drain([](const MidiEvent& message) {
      std::printf("midi:");
      for (std::size_t b = 0; b < message.Size; ++b) std::printf(" %02x", message.Bytes[b]);
      std::printf("\n");
      return true;
    });
    if (lost.load() != 0) std::fprintf(stderr, "monitor: %u messages lost\n", lost.exchange(0));
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}
