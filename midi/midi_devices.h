#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "midi_system.h"

// Base of every device set: the ordered device list, one handle (or none) per entry.
// The position in the list is the device index used everywhere else.
class TMidiDevices {
 public:
  virtual ~TMidiDevices() = default;  // closes nothing that is still open
  TMidiDevices(const TMidiDevices&) = delete;
  TMidiDevices& operator=(const TMidiDevices&) = delete;

  virtual void OpenDevice(std::int32_t index) = 0;
  virtual void CloseDevice(std::int32_t index) = 0;

  // CloseDevice for every index in ascending order.
  void CloseAll();

  std::int32_t Count() const { return static_cast<std::int32_t>(FDevices.size()); }
  const std::string& DeviceName(std::int32_t index) const;  // list error when out of range
  std::vector<std::string> DeviceNames() const;

 protected:
  TMidiDevices() = default;

  struct DeviceEntry {
    std::string Name;
    MidiHandle Handle = 0;
  };
  // The entry's handle; raises "List index out of bounds (%d)" for a bad index.
  MidiHandle& EntryHandle(std::int32_t index);

  std::vector<DeviceEntry> FDevices;
  std::uint32_t FLastError = 0;
};

// The machine's MIDI output devices.
class TMidiOutput : public TMidiDevices {
 public:
  explicit TMidiOutput(MidiSystem& system);  // enumerates; may raise

  // Appends the devices the system lists now and the list does not hold yet; the entries
  // already listed keep their positions. May raise as enumeration does.
  void ListNewDevices();

  void OpenDevice(std::int32_t index) override;
  void CloseDevice(std::int32_t index) override;

  // Sends one short message, opening the device first when it is closed.
  void SendShort(std::int32_t index, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
  // Whether the device is open; raises "List index out of bounds (%d)" for a bad index.
  bool IsOpen(std::int32_t index) { return EntryHandle(index) != 0; }
  // The handle of a valid index (0 while closed); raises
  // "TMidiOutput: Device index out of bounds! (%d)" for any other index.
  MidiHandle DeviceHandle(std::int32_t index) const;
  // Records the code; raises with the system's text when it is not 0 and has one.
  void CheckResult(std::uint32_t code);

  std::uint32_t LastError() const { return FLastError; }

 private:
  // Appends the system's devices from the first one not listed yet.
  void AppendListedDevices();

  MidiSystem& system_;
};

// The run's one device set, enumerated on first use from the installed MIDI system.
// If enumeration raises, nothing is stored and the next call enumerates again.
TMidiOutput& MidiOutput();
bool MidiOutputExists();
// Frees the device set (at program end). Does not close devices by itself.
void FreeMidiOutput();
