// A sequencer client "NAME" with an input port that prints every MIDI message it receives,
// one line each ("midi: 90 3c 64"), until it is ended; with CLIENT:PORT it subscribes
// to that port first. The end-to-end tests of the program read it over ALSA.
#include <cstdio>

#include "alsa_sequencer.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s NAME [CLIENT:PORT]\n", argv[0]);
    return 2;
  }
  AlsaMidiMonitor monitor(argv[1]);
  if (!monitor.Ok()) {
    std::fprintf(stderr, "%s: no ALSA sequencer\n", argv[0]);
    return 1;
  }
  AlsaPort source;
  if (argc == 3 && (std::sscanf(argv[2], "%d:%d", &source.Client, &source.Port) != 2 ||
                    !monitor.ConnectFrom(source))) {
    std::fprintf(stderr, "%s: cannot subscribe to %s\n", argv[0], argv[2]);
    return 1;
  }
  std::printf("ready %d:0\n", monitor.Client());
  std::fflush(stdout);
  for (std::size_t printed = 0;;) {
    const auto messages = monitor.WaitForEvents(printed + 1, std::chrono::seconds(1));
    for (; printed < messages.size(); ++printed) {
      std::printf("midi:");
      for (const std::uint8_t byte : messages[printed]) std::printf(" %02x", byte);
      std::printf("\n");
    }
    std::fflush(stdout);
  }
}
