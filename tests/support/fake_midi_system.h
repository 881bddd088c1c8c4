#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "midi_system.h"

// A scripted MIDI system for tests: a device list, result codes to return, error texts
// (a code missing from the table has no text), and a log of every call.
class FakeMidiSystem : public MidiSystem {
 public:
  struct Call {
    std::string Operation;    // "count", "name", "open", "short", "close", "text"
    std::uint32_t Id = 0;     // device id (name, open) or the device of the handle
    std::uint32_t Value = 0;  // message (short), code (text)
  };

  std::vector<std::string> Devices;
  // Result codes per operation and device id; a missing entry succeeds.
  std::map<std::uint32_t, MidiResult> NameResult, OpenResult, ShortResult, CloseResult;
  std::map<MidiResult, std::string> ErrorTexts;
  std::vector<Call> Calls;

  explicit FakeMidiSystem(std::vector<std::string> devices = {});

  std::uint32_t DeviceCount() override;
  MidiResult DeviceName(std::uint32_t id, std::string& name) override;
  MidiResult Open(std::uint32_t id, MidiHandle& handle) override;
  MidiResult ShortMessage(MidiHandle handle, std::uint32_t message) override;
  MidiResult Close(MidiHandle handle) override;
  MidiResult ErrorText(MidiResult code, std::string& text) override;

  // The short messages sent to one device, in order.
  std::vector<std::uint32_t> MessagesTo(std::uint32_t id) const;
  // Every call of one operation.
  std::vector<Call> CallsOf(const std::string& operation) const;
  bool IsOpen(std::uint32_t id) const;
  void ClearLog() { Calls.clear(); }

  // The handle given for device id (handles are id + 1000, never 0).
  static MidiHandle HandleOf(std::uint32_t id) { return id + 1000; }

 private:
  std::vector<bool> open_;
  // The short-message log is kept pre-sized so that the logging itself does not
  // allocate on the key path under test.
  void Log(const char* operation, std::uint32_t id, std::uint32_t value);
};

// A note-on/off or program change as its three bytes, for readable expectations.
std::uint32_t ShortMessageOf(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
