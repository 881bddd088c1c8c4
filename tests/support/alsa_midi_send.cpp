// A sequencer client "NAME" whose output port is connected to the port PORT of the first
// client named CLIENT, and sends the MIDI messages read from its input, one line each in
// hex ("90 3c 64"); the line "disconnect" ends the connection. Every line is answered with
// "sent" once the sequencer has the message. The end-to-end tests play into the program's
// input with it.
#include <alsa/asoundlib.h>

#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "alsa_sequencer.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: " << argv[0] << " NAME CLIENT PORT\n";
    return 2;
  }
  const std::optional<AlsaPort> destination = FindAlsaPort(argv[2], argv[3]);
  snd_seq_t* seq = nullptr;
  if (!destination || snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0) != 0) return 1;
  snd_seq_set_client_name(seq, argv[1]);
  const int port =
      snd_seq_create_simple_port(seq, "out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                 SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (port < 0 || snd_seq_connect_to(seq, port, destination->Client, destination->Port) != 0) {
    return 1;
  }
  snd_midi_event_t* encoder = nullptr;
  if (snd_midi_event_new(16, &encoder) != 0) return 1;
  std::cout << "ready" << std::endl;
  for (std::string line; std::getline(std::cin, line);) {
    if (line == "disconnect") {
      snd_seq_disconnect_to(seq, port, destination->Client, destination->Port);
    } else {
      std::istringstream fields(line);
      unsigned char bytes[3];
      long size = 0;
      for (unsigned byte = 0; size < 3 && fields >> std::hex >> byte;) bytes[size++] = byte;
      snd_seq_event_t event;
      snd_seq_ev_clear(&event);
      snd_midi_event_reset_encode(encoder);
      if (snd_midi_event_encode(encoder, bytes, size, &event) > 0 &&
          event.type != SND_SEQ_EVENT_NONE) {
        snd_seq_ev_set_source(&event, port);
        snd_seq_ev_set_subs(&event);
        snd_seq_ev_set_direct(&event);
        snd_seq_event_output_direct(seq, &event);
      }
    }
    std::cout << "sent" << std::endl;
  }
  snd_midi_event_free(encoder);
  snd_seq_close(seq);
}
