#include "port_names.h"

#include <gtest/gtest.h>

namespace {

TEST(PortNames, TheSequencerNumbersAtTheEndAreToldApartFromTheName) {
  struct Case {
    std::string Listed, Name;
    std::optional<SequencerAddress> Address;
  };
  const std::vector<Case> cases = {
      {"FLUID Synth (812):Synth input port (812:0) 128:0",
       "FLUID Synth (812):Synth input port (812:0)", SequencerAddress{128, 0}},
      {"Midi Through:Midi Through Port-0 14:0", "Midi Through:Midi Through Port-0",
       SequencerAddress{14, 0}},
      {"UM-ONE:UM-ONE MIDI 1 20:3", "UM-ONE:UM-ONE MIDI 1", SequencerAddress{20, 3}},
      {"monitor:in", "monitor:in", std::nullopt},  // JACK names carry no numbers
      {"Synth 12", "Synth 12", std::nullopt},
      {"Synth 12:", "Synth 12:", std::nullopt},
      {"Synth :3", "Synth :3", std::nullopt},
      {"Synth 1a:2", "Synth 1a:2", std::nullopt},
      {"Synth 99999999999:0", "Synth", std::nullopt},
      {"", "", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PortNamePart(c.Listed), c.Name) << c.Listed;
    EXPECT_EQ(PortAddress(c.Listed), c.Address) << c.Listed;
  }
}

TEST(PortNames, AListedPortIsFoundByItsNameWhenItsNumbersChanged) {
  struct Case {
    std::vector<std::string> Listed, Present;
    std::vector<int> Match;
  };
  const std::vector<Case> cases = {
      // Unchanged, renumbered, gone, and a device that is no port of the machine.
      {{"A:a 20:0", "B:b 24:0", "C:c 28:0", "Tessivar virtual output"},
       {"B:b 24:0", "A:a 32:0", "D:d 36:0"},
       {1, 0, -1, -1}},
      // Two ports of one name (two interfaces of a kind) both came back: one each.
      {{"U:u 20:0", "U:u 24:0"}, {"U:u 40:0", "U:u 44:0"}, {0, 1}},
      // The one that kept its numbers keeps its port; the other takes the new one.
      {{"U:u 20:0", "U:u 24:0"}, {"U:u 40:0", "U:u 24:0"}, {0, 1}},
      {{"U:u 20:0", "U:u 24:0"}, {"U:u 24:0"}, {-1, 0}},
      {{"U:u 20:0", "U:u 24:0"}, {"U:u 40:0"}, {0, -1}},
      {{"monitor:in"}, {"other:in", "monitor:in"}, {1}},
      {{}, {"A:a 20:0"}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchListedPorts(c.Listed, c.Present), c.Match)
        << ::testing::PrintToString(c.Listed) << " in " << ::testing::PrintToString(c.Present);
  }
}

}  // namespace
