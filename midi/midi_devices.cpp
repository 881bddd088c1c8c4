#include "midi_devices.h"

#include <future>
#include <mutex>

#include "port_names.h"

namespace {
// The device list's own index check.
void CheckListIndex(std::int32_t index, std::int32_t count) {
  if (index < 0 || index >= count) {
    throw AppError("List index out of bounds (" + std::to_string(index) + ")");
  }
}
}  // namespace

void TMidiDevices::CloseAll() {
  for (std::int32_t i = 0; i < Count(); ++i) CloseDevice(i);
}

TMidiOutput::TMidiOutput(std::vector<MidiBackEnd*> backEnds) : backEnds_(std::move(backEnds)) {
  ListNewDevices();
}

void TMidiOutput::ListNewDevices() {
  for (MidiBackEnd* backEnd : backEnds_) {
    const std::vector<std::string> present = backEnd->PortNames();
    std::vector<std::string> listed;
    for (const Device& device : devices_) {
      if (device.BackEnd == backEnd) listed.push_back(device.Listed);
    }
    std::vector<bool> known(present.size(), false);
    for (const int match : MatchListedPorts(listed, present)) {
      if (match >= 0) known[static_cast<std::size_t>(match)] = true;
    }
    for (std::size_t position = 0; position < present.size(); ++position) {
      if (known[position]) continue;
      const std::string& name = present[position];
      Device& device = devices_.emplace_back();
      // A product name field holds at most 32 characters and ends at the first NUL.
      device.Name = name.substr(0, name.find('\0')).substr(0, 32);
      device.Listed = name;
      device.BackEnd = backEnd;
      device.Port = &backEnd->MakePort(position, name);
    }
  }
}

const TMidiOutput::Device& TMidiOutput::Listed(std::int32_t index) const {
  CheckListIndex(index, Count());
  return devices_[static_cast<std::size_t>(index)];
}

bool TMidiOutput::IsOpen(std::int32_t index) const { return Listed(index).Open; }

const MidiPort* TMidiOutput::DeviceHandle(std::int32_t index) const {
  if (index < 0 || index >= Count()) {
    throw AppError("TMidiOutput: Device index out of bounds! (" + std::to_string(index) + ")");
  }
  const Device& device = devices_[static_cast<std::size_t>(index)];
  return device.Open ? device.Port : nullptr;
}

const std::string& TMidiOutput::DeviceName(std::int32_t index) const { return Listed(index).Name; }

std::vector<std::string> TMidiOutput::DeviceNames() const {
  std::vector<std::string> names;
  names.reserve(devices_.size());
  for (const Device& device : devices_) names.push_back(device.Name);
  return names;
}

template <typename Body>
void TMidiOutput::Attempt(Device& device, const Body& body) {
  try {
    body();
    device.Quiet = false;
  } catch (const AppError&) {
    if (device.Quiet) return;
    device.Quiet = true;
    throw;
  }
}

void TMidiOutput::Reach(Device& device) {
  const Link link = device.Port->Reach();
  if (link == Link::Kept) return;
  if (link == Link::MadeOnNewServer) device.Sounding.Forget();
  // A destination that started again knows nothing of the programs chosen before.
  device.Programs.Replay([&device](const MidiEvent& change) { device.Port->Send(change); });
}

void TMidiOutput::OpenDevice(std::int32_t index) {
  if (DeviceHandle(index) != nullptr) return;
  Device& device = devices_[static_cast<std::size_t>(index)];
  Attempt(device, [&device] { Reach(device); });
  device.Open = true;
}

void TMidiOutput::CloseDevice(std::int32_t index) {
  if (DeviceHandle(index) == nullptr) return;
  Device& device = devices_[static_cast<std::size_t>(index)];
  // Every note-off is tried, whatever the one before it gave; a port that cannot be
  // reached took its notes with it.
  try {
    if (device.Port->Reach() == Link::MadeOnNewServer) device.Sounding.Forget();
    device.Sounding.EndAll([&device](const MidiEvent& noteOff) {
      try {
        device.Port->Send(noteOff);
      } catch (const AppError&) {
      }
    });
  } catch (const AppError&) {
    device.Sounding.Forget();
  }
  device.Port->Close();  // a failure here leaves the device open
  device.Programs.Forget();
  device.Open = false;
}

void TMidiOutput::SendShort(std::int32_t index, std::uint8_t status, std::uint8_t data1,
                            std::uint8_t data2) {
  if (!Listed(index).Open) OpenDevice(index);
  Device& device = devices_[static_cast<std::size_t>(index)];
  const MidiEvent event = ShortMessageEvent(status + data1 * 0x100u + data2 * 0x10000u);
  Attempt(device, [&device, &event] {
    try {
      Reach(device);
    } catch (const AppError&) {
      device.Programs.Sent(event);  // given once the port is reached again
      throw;
    }
    device.Programs.Sent(event);
    device.Port->Send(event);
    device.Sounding.Sent(event);
  });
}

void TMidiOutput::Prepare(std::int32_t index) {
  if (index >= 0 && index < Count()) devices_[static_cast<std::size_t>(index)].Port->Prepare();
}

namespace {

struct Installed {
  std::mutex Lock;  // guards Ready and WhenReady: the making thread sets them
  bool Ready = true;
  std::function<void()> WhenReady;
  std::function<MidiBackEnds()> Make;
  std::future<MidiBackEnds> Making;
  MidiBackEnds BackEnds;
  std::unique_ptr<TMidiOutput> Table;  // declared last: goes before the back ends
};

Installed& TheInstalled() {
  static Installed installed;
  return installed;
}

void Made() {
  Installed& installed = TheInstalled();
  std::function<void()> whenReady;
  {
    const std::lock_guard lock(installed.Lock);
    installed.Ready = true;
    whenReady = std::move(installed.WhenReady);
  }
  if (whenReady) whenReady();
}

// Frees the table and the back ends, after a maker still running has finished.
void Uninstall() {
  Installed& installed = TheInstalled();
  if (installed.Making.valid()) installed.Making.wait();
  installed.Making = {};
  installed.Table.reset();
  installed.BackEnds.clear();
  installed.Make = nullptr;
  const std::lock_guard lock(installed.Lock);
  installed.Ready = true;
  installed.WhenReady = nullptr;
}

}  // namespace

void InstallMidiBackEnds(MidiBackEnds backEnds) {
  Uninstall();
  TheInstalled().BackEnds = std::move(backEnds);
}

void InstallMidiBackEnds(std::function<MidiBackEnds()> make) {
  Uninstall();
  Installed& installed = TheInstalled();
  installed.Make = std::move(make);
  const std::lock_guard lock(installed.Lock);
  installed.Ready = false;
}

void StartMakingMidiBackEnds() {
  Installed& installed = TheInstalled();
  if (!installed.Make) return;
  installed.Making = std::async(std::launch::async, [make = std::move(installed.Make)] {
    // Whoever waits is told also when making them failed: the failure is then the first
    // use's, as with any other.
    struct Announce {
      ~Announce() { Made(); }
    } announce;
    return make();
  });
  installed.Make = nullptr;
}

bool MidiBackEndsReady() {
  Installed& installed = TheInstalled();
  const std::lock_guard lock(installed.Lock);
  return installed.Ready;
}

void CallWhenMidiBackEndsReady(std::function<void()> whenReady) {
  Installed& installed = TheInstalled();
  {
    const std::lock_guard lock(installed.Lock);
    if (!installed.Ready) {
      installed.WhenReady = std::move(whenReady);
      return;
    }
  }
  whenReady();
}

TMidiOutput& MidiOutput() {
  Installed& installed = TheInstalled();
  if (!installed.Table) {
    StartMakingMidiBackEnds();
    // A failure to make them is the failure of the first use, once; then there are none.
    if (installed.Making.valid()) installed.BackEnds = std::move(installed.Making).get();
    std::vector<MidiBackEnd*> backEnds;
    for (const std::unique_ptr<MidiBackEnd>& backEnd : installed.BackEnds) {
      backEnds.push_back(backEnd.get());
    }
    installed.Table = std::make_unique<TMidiOutput>(std::move(backEnds));
  }
  return *installed.Table;
}

bool MidiOutputExists() { return TheInstalled().Table != nullptr; }

void FreeMidiOutput() { TheInstalled().Table.reset(); }

void PrepareMidiDevices(std::int32_t recording, std::int32_t playing) {
  TMidiOutput& output = MidiOutput();
  for (const std::int32_t device : {recording, playing}) output.Prepare(device);
}
