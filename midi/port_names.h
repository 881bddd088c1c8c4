#pragma once

#include <optional>
#include <string>
#include <vector>

// The names of ALSA sequencer ports as RtMidi lists them: "client name:port name C:P",
// where C:P are the client and port numbers the sequencer gave them. The numbers change
// when a client starts again (a synthesizer restarted, a USB interface plugged in again);
// the names stay.

struct SequencerAddress {
  int Client = 0;
  int Port = 0;
  bool operator==(const SequencerAddress&) const = default;
};

// The name without the numbers at its end (the whole name when it has none).
std::string PortNamePart(const std::string& listed);
// The numbers at the end of a listed name, when it has them.
std::optional<SequencerAddress> PortAddress(const std::string& listed);

// Which of the ports present now each listed port is, by position in present (-1: none).
// A port whose listed name is present as such is that one; the others take, in list order,
// the first port not taken yet whose name part is theirs (it came back under new numbers).
std::vector<int> MatchListedPorts(const std::vector<std::string>& listed,
                                  const std::vector<std::string>& present);
