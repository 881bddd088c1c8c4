#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "midi_devices.h"

// A scripted MIDI back end for tests: a port list, failures to raise, and a log of every
// call. A port's id is its position in Devices when it was listed.
class FakeMidiSystem : public MidiBackEnd {
 public:
  struct Call {
    std::string Operation;    // "list", "open", "short", "close"
    std::uint32_t Id = 0;     // port id
    std::uint32_t Value = 0;  // message (short): status in the low byte, then data 1, data 2
  };

  std::vector<std::string> Devices;
  // The text raised per operation and port id; a missing entry succeeds.
  std::map<std::uint32_t, std::string> OpenFailure, SendFailure, CloseFailure;
  std::string ListFailure;  // raised by the listing when not empty
  // How the next Reach of an open port finds it (a connection made again), once.
  std::map<std::uint32_t, Link> NextLink;
  std::vector<Call> Calls;

  explicit FakeMidiSystem(std::vector<std::string> devices = {});
  ~FakeMidiSystem() override;

  std::vector<std::string> PortNames() override;
  MidiPort& MakePort(std::size_t position, const std::string& name) override;

  // The short messages sent to one port, in order.
  std::vector<std::uint32_t> MessagesTo(std::uint32_t id) const;
  // Every call of one operation.
  std::vector<Call> CallsOf(const std::string& operation) const;
  bool IsOpen(std::uint32_t id) const;
  void ClearLog() { Calls.clear(); }

 private:
  class Port;
  std::vector<std::unique_ptr<Port>> ports_;
  // The log is kept pre-sized so that the logging itself does not allocate on the key
  // path under test.
  void Log(const char* operation, std::uint32_t id, std::uint32_t value);
};

// Installs a fake with these ports as the program's only back end; it lives until the
// next install.
FakeMidiSystem& InstallFakeMidi(std::vector<std::string> devices);

// A note-on/off or program change as its three bytes, for readable expectations.
std::uint32_t ShortMessageOf(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
