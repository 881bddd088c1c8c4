#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_midi_system.h"
#include "key_map.h"
#include "keyboard_config.h"
#include "midi_devices.h"
#include "note_engine.h"
#include "raised_message.h"

// Records what the engine asks of the window, in order.
class RecordingDisplay : public NoteDisplay {
 public:
  void DrawKeyDown(std::uint8_t note) override { Log("down " + std::to_string(note)); }
  void DrawKeyUp(std::uint8_t note) override { Log("up " + std::to_string(note)); }
  void FormPaint() override { Log("paint"); }
  void ShowNoDevicesWarning() override { Log("warning"); }
  void RebuildOctaveMenu() override { Log("octave menu " + std::to_string(Config.Octave)); }
  std::vector<std::string> Events;
  bool Recording = true;

 private:
  void Log(std::string event) {
    if (Recording) Events.push_back(std::move(event));
  }
};

// The engine over a fake machine with three devices and a small key map:
// Z -> 0, S -> 1, Q -> 12, ']' -> 31, 'P' -> 200.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake = &InstallFakeMidi({"Dev 0", "Dev 1", "Dev 2"});
    MidiOutput();
    fake->ClearLog();
    SetDefaults();
    KeyMap = {{'Z', 0}, {'S', 1}, {'Q', 12}, {0xDD, 31}, {'P', 200}};
    PressedNotes.fill(0);
    PointerHolds.fill(0);
    SetNoteDisplay(&display);
  }
  void TearDown() override {
    SetNoteDisplay(nullptr);
    InstallMidiBackEnds(MidiBackEnds{});
    KeyMap.clear();
  }

  std::vector<std::uint32_t> Sent(std::uint32_t device) const { return fake->MessagesTo(device); }

  FakeMidiSystem* fake = nullptr;
  RecordingDisplay display;
};
