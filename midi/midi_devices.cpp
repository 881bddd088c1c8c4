#include "midi_devices.h"

#include <memory>

#include "app_error.h"

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

const std::string& TMidiDevices::DeviceName(std::int32_t index) const {
  CheckListIndex(index, Count());
  return FDevices[static_cast<std::size_t>(index)].Name;
}

std::vector<std::string> TMidiDevices::DeviceNames() const {
  std::vector<std::string> names;
  names.reserve(FDevices.size());
  for (const DeviceEntry& entry : FDevices) names.push_back(entry.Name);
  return names;
}

MidiHandle& TMidiDevices::EntryHandle(std::int32_t index) {
  CheckListIndex(index, Count());
  return FDevices[static_cast<std::size_t>(index)].Handle;
}

TMidiOutput::TMidiOutput(MidiSystem& system) : system_(system) { AppendListedDevices(); }

void TMidiOutput::ListNewDevices() {
  system_.ListNewDevices();
  AppendListedDevices();
}

void TMidiOutput::AppendListedDevices() {
  const std::uint32_t count = system_.DeviceCount();
  for (auto id = static_cast<std::uint32_t>(FDevices.size()); id < count; ++id) {
    std::string name;
    CheckResult(system_.DeviceName(id, name));
    // The product name field holds at most 32 characters and ends at the first NUL.
    name = name.substr(0, name.find('\0')).substr(0, 32);
    FDevices.push_back({std::move(name), 0});
  }
}

MidiHandle TMidiOutput::DeviceHandle(std::int32_t index) const {
  if (index < 0 || index >= Count()) {
    throw AppError("TMidiOutput: Device index out of bounds! (" + std::to_string(index) + ")");
  }
  return FDevices[static_cast<std::size_t>(index)].Handle;
}

void TMidiOutput::OpenDevice(std::int32_t index) {
  if (DeviceHandle(index) != 0) return;
  MidiHandle handle = 0;
  CheckResult(system_.Open(static_cast<std::uint32_t>(index), handle));
  EntryHandle(index) = handle;
}

void TMidiOutput::CloseDevice(std::int32_t index) {
  const MidiHandle handle = DeviceHandle(index);
  if (handle == 0) return;
  CheckResult(system_.Close(handle));
  EntryHandle(index) = 0;
}

void TMidiOutput::SendShort(std::int32_t index, std::uint8_t status, std::uint8_t data1,
                            std::uint8_t data2) {
  if (EntryHandle(index) == 0) OpenDevice(index);
  const std::uint32_t message = status + data1 * 0x100u + data2 * 0x10000u;
  CheckResult(system_.ShortMessage(DeviceHandle(index), message));
}

void TMidiOutput::CheckResult(std::uint32_t code) {
  FLastError = code;
  if (code == 0) return;
  // A code without a text is only recorded. The text buffer holds 128 characters
  // with its terminator, as the platform's error-text call gives it.
  std::string text;
  if (system_.ErrorText(code, text) != 0) return;
  throw AppError(text.substr(0, 127));
}

namespace {
std::unique_ptr<TMidiOutput>& Instance() {
  static std::unique_ptr<TMidiOutput> instance;
  return instance;
}
}  // namespace

TMidiOutput& MidiOutput() {
  if (!Instance()) Instance() = std::make_unique<TMidiOutput>(InstalledMidiSystem());
  return *Instance();
}

bool MidiOutputExists() { return Instance() != nullptr; }

void FreeMidiOutput() { Instance().reset(); }
