#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "midi_port.h"

// Base of every device set: devices by index, opened and closed one by one.
class TMidiDevices {
 public:
  virtual ~TMidiDevices() = default;  // closes nothing that is still open
  TMidiDevices(const TMidiDevices&) = delete;
  TMidiDevices& operator=(const TMidiDevices&) = delete;

  virtual void OpenDevice(std::int32_t index) = 0;
  virtual void CloseDevice(std::int32_t index) = 0;
  virtual std::int32_t Count() const = 0;

  // CloseDevice for every index in ascending order.
  void CloseAll();

 protected:
  TMidiDevices() = default;
};

// The machine's MIDI output devices, the one table of them: the ports of every back end in
// the order the back ends are given, each with whether it is open, the notes still sounding
// through it and the programs it was given.
//
// An index names the same port for the run: ports listed later are appended, and a port
// that went away keeps its place (it is its device again when it comes back, on ALSA also
// under new sequencer numbers). Closing a device sends a note-off for every note still on
// through it: ALSA, JACK and WinMM end nothing by themselves. A device whose port was
// connected again gets the programs chosen through it again before its next message.
// A failing device raises once, then drops its messages quietly until it works again.
class TMidiOutput : public TMidiDevices {
 public:
  // Lists the back ends' ports; may raise. The back ends outlive the table.
  explicit TMidiOutput(std::vector<MidiBackEnd*> backEnds);

  // Appends the ports the back ends list now and the table does not hold yet.
  void ListNewDevices();

  void OpenDevice(std::int32_t index) override;
  void CloseDevice(std::int32_t index) override;
  std::int32_t Count() const override { return static_cast<std::int32_t>(devices_.size()); }

  // Sends one short message, opening the device first when it is closed. No allocation
  // once the device was opened before.
  void SendShort(std::int32_t index, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
  // Whether the device is open; raises "List index out of bounds (%d)" for a bad index.
  bool IsOpen(std::int32_t index) const;
  // The port of an open device (null while closed); raises
  // "TMidiOutput: Device index out of bounds! (%d)" for a bad index.
  const MidiPort* DeviceHandle(std::int32_t index) const;
  // Hands the device's port the hint that it is about to be used; nothing for a bad index.
  void Prepare(std::int32_t index);

  const std::string& DeviceName(std::int32_t index) const;  // list error when out of range
  std::vector<std::string> DeviceNames() const;

 private:
  struct Device {
    std::string Name;    // as shown: at most 32 characters
    std::string Listed;  // as its back end listed it
    MidiBackEnd* BackEnd = nullptr;
    MidiPort* Port = nullptr;
    bool Open = false;
    bool Quiet = false;  // its failure was raised: the next ones are not, until it works
    SoundingNotes Sounding;
    ChosenPrograms Programs;
  };

  const Device& Listed(std::int32_t index) const;
  Device& Listed(std::int32_t index) {
    return const_cast<Device&>(std::as_const(*this).Listed(index));
  }
  // Reaches the device's port, replaying its programs when it was connected anew.
  static void Reach(Device& device);
  // Runs body; a failure is raised unless the device's last one was, and then dropped.
  template <typename Body>
  static void Attempt(Device& device, const Body& body);

  std::vector<MidiBackEnd*> backEnds_;
  std::vector<Device> devices_;
};

using MidiBackEnds = std::vector<std::unique_ptr<MidiBackEnd>>;

// The back ends the run's device table is made from. Installed as made, or as a maker
// that runs on a thread of its own (reaching a MIDI server and listing its ports takes a
// while: the window comes first) from StartMakingMidiBackEnds, or at the first use of the
// table, which waits for it. Installing frees the table and the back ends before.
void InstallMidiBackEnds(MidiBackEnds backEnds);
void InstallMidiBackEnds(std::function<MidiBackEnds()> make);
void StartMakingMidiBackEnds();
// Whether the back ends are made; whenReady is called once they are: at once when they
// are, else on the thread that made them.
bool MidiBackEndsReady();
void CallWhenMidiBackEndsReady(std::function<void()> whenReady);

// The run's one device table, listed on first use (waiting for the back ends). If listing
// raises, nothing is stored and the next call lists again.
TMidiOutput& MidiOutput();
bool MidiOutputExists();
// Frees the table (at program end). Does not close devices by itself.
void FreeMidiOutput();
// Hands the devices the configuration in use plays through (a negative index is none)
// the hint that they are about to be used, so that they are ready before the first note.
void PrepareMidiDevices(std::int32_t recording, std::int32_t playing);
