#include "port_names.h"

#include <cstddef>
#include <stdexcept>

namespace {

// Where the trailing " C:P" starts, or npos when the name has no such end.
std::size_t NumbersAt(const std::string& listed) {
  const std::size_t space = listed.rfind(' ');
  if (space == std::string::npos) return std::string::npos;
  const std::size_t colon = listed.find(':', space);
  if (colon == std::string::npos || colon == space + 1 || colon + 1 == listed.size()) {
    return std::string::npos;
  }
  for (std::size_t i = space + 1; i < listed.size(); ++i) {
    if (i != colon && (listed[i] < '0' || listed[i] > '9')) return std::string::npos;
  }
  return space;
}

}  // namespace

std::string PortNamePart(const std::string& listed) { return listed.substr(0, NumbersAt(listed)); }

std::optional<SequencerAddress> PortAddress(const std::string& listed) {
  const std::size_t at = NumbersAt(listed);
  if (at == std::string::npos) return std::nullopt;
  const std::size_t colon = listed.find(':', at);
  try {
    return SequencerAddress{std::stoi(listed.substr(at + 1, colon - at - 1)),
                            std::stoi(listed.substr(colon + 1))};
  } catch (const std::out_of_range&) {
    return std::nullopt;  // more digits than a number holds: not the sequencer's
  }
}

std::vector<int> MatchListedPorts(const std::vector<std::string>& listed,
                                  const std::vector<std::string>& present) {
  std::vector<int> match(listed.size(), -1);
  std::vector<bool> taken(present.size(), false);
  for (std::size_t i = 0; i < listed.size(); ++i) {
    for (std::size_t p = 0; p < present.size(); ++p) {
      if (!taken[p] && present[p] == listed[i]) {
        match[i] = static_cast<int>(p);
        taken[p] = true;
        break;
      }
    }
  }
  for (std::size_t i = 0; i < listed.size(); ++i) {
    if (match[i] >= 0) continue;
    const std::string name = PortNamePart(listed[i]);
    for (std::size_t p = 0; p < present.size(); ++p) {
      if (!taken[p] && PortNamePart(present[p]) == name) {
        match[i] = static_cast<int>(p);
        taken[p] = true;
        break;
      }
    }
  }
  return match;
}
