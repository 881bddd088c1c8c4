#include "lit_notes.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "midi_input.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Changes = std::vector<std::pair<int, bool>>;

MidiEvent Event(const Bytes& bytes) {
  MidiEvent event;
  for (const std::uint8_t byte : bytes) event.Bytes[event.Size++] = byte;
  return event;
}

std::set<int> LitSet(const LitNotes& notes) {
  std::set<int> lit;
  for (unsigned note = 0; note < 128; ++note) {
    if (notes.Lit(note)) lit.insert(static_cast<int>(note));
  }
  return lit;
}

struct Case {
  const char* Name;
  std::vector<Bytes> Messages;
  Changes Expected;  // every (note, lit) the picture is told, in order
  std::set<int> Lit;
};

}  // namespace

TEST(LitNotes, WhatLightsAndWhatPutsOut) {
  const std::vector<Case> cases = {
      {"note-on lights, note-off puts out",
       {{0x90, 60, 100}, {0x80, 60, 64}},
       {{60, true}, {60, false}},
       {}},
      {"note-on at velocity 0 puts out",
       {{0x95, 60, 100}, {0x95, 60, 0}},
       {{60, true}, {60, false}},
       {}},
      {"an end for a note never lit tells nothing", {{0x90, 60, 0}, {0x80, 61, 0}}, {}, {}},
      {"a note struck again is told once", {{0x90, 60, 100}, {0x90, 60, 30}}, {{60, true}}, {60}},
      {"a note held on two channels stays lit until both end",
       {{0x90, 60, 100}, {0x91, 60, 100}, {0x80, 60, 0}},
       {{60, true}},
       {60}},
      {"an end on a channel that did not hold the note leaves it",
       {{0x92, 60, 100}, {0x80, 60, 0}},
       {{60, true}},
       {60}},
      {"all-notes-off ends its channel's notes",
       {{0x90, 60, 100}, {0x90, 64, 100}, {0x91, 67, 100}, {0xB0, 123, 0}},
       {{60, true}, {64, true}, {67, true}, {60, false}, {64, false}},
       {67}},
      {"all-sound-off ends its channel's notes",
       {{0x9F, 0, 1}, {0x9F, 127, 1}, {0xBF, 120, 0}},
       {{0, true}, {127, true}, {0, false}, {127, false}},
       {}},
      {"other controllers, programs and bends change nothing",
       {{0x90, 60, 100}, {0xB0, 7, 100}, {0xB0, 64, 127}, {0xB0, 121, 0}, {0xC0, 5}, {0xE0, 0, 64}},
       {{60, true}},
       {60}},
  };
  for (const Case& c : cases) {
    LitNotes notes;
    Changes told;
    for (const Bytes& message : c.Messages) {
      notes.Take(Event(message),
                 [&told](std::uint8_t note, bool lit) { told.emplace_back(note, lit); });
    }
    EXPECT_EQ(told, c.Expected) << c.Name;
    EXPECT_EQ(LitSet(notes), c.Lit) << c.Name;
  }
}

TEST(LitNotes, PutOutAllTellsEveryLitNoteOnce) {
  LitNotes notes;
  const auto ignore = [](std::uint8_t, bool) {};
  for (const Bytes& message : std::vector<Bytes>{{0x90, 36, 1}, {0x93, 36, 1}, {0x9A, 90, 1}}) {
    notes.Take(Event(message), ignore);
  }
  Changes told;
  notes.PutOutAll([&told](std::uint8_t note, bool lit) { told.emplace_back(note, lit); });
  EXPECT_EQ(told, (Changes{{36, false}, {90, false}}));
  EXPECT_TRUE(LitSet(notes).empty());
  // Nothing is left on any channel to be ended again.
  notes.Take(Event({0x83, 36, 0}),
             [&told](std::uint8_t note, bool lit) { told.emplace_back(note, lit); });
  EXPECT_EQ(told.size(), 2u);
}

TEST(MidiInputFeed, KeepsWhatCanLightAKeyAndTellsOfASenderGoneAfterItsMessages) {
  MidiInputFeed feed;
  const std::vector<Bytes> arriving = {{0x90, 60, 100}, {0xB0, 7, 100}, {0xC0, 5},
                                       {0xF8},          {0xB2, 123, 0}, {0xB2, 120, 0},
                                       {0x81, 60, 0},   {0xA0, 60, 9}};
  for (const Bytes& bytes : arriving) feed.Arrived(bytes.data(), bytes.size());
  feed.SenderGone();
  std::vector<Bytes> taken;
  const auto take = [&taken](const MidiEvent& event) {
    taken.emplace_back(event.Bytes.begin(), event.Bytes.begin() + event.Size);
  };
  EXPECT_TRUE(feed.Drain(take));
  EXPECT_EQ(taken,
            (std::vector<Bytes>{{0x90, 60, 100}, {0xB2, 123, 0}, {0xB2, 120, 0}, {0x81, 60, 0}}));
  EXPECT_FALSE(feed.Drain(take)) << "a sender's end is told once";
  EXPECT_EQ(taken.size(), 4u);
}
