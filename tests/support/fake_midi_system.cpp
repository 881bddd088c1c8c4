#include "fake_midi_system.h"

FakeMidiSystem::FakeMidiSystem(std::vector<std::string> devices) : Devices(std::move(devices)) {
  Calls.reserve(4096);
}

void FakeMidiSystem::Log(const char* operation, std::uint32_t id, std::uint32_t value) {
  Calls.push_back({operation, id, value});
}

std::uint32_t FakeMidiSystem::DeviceCount() {
  Log("count", 0, 0);
  open_.resize(Devices.size(), false);
  return static_cast<std::uint32_t>(Devices.size());
}

MidiResult FakeMidiSystem::DeviceName(std::uint32_t id, std::string& name) {
  Log("name", id, 0);
  if (auto it = NameResult.find(id); it != NameResult.end() && it->second != 0) return it->second;
  if (id >= Devices.size()) return MMSYSERR_BADDEVICEID;
  name = Devices[id];
  return MMSYSERR_NOERROR;
}

MidiResult FakeMidiSystem::Open(std::uint32_t id, MidiHandle& handle) {
  Log("open", id, 0);
  if (auto it = OpenResult.find(id); it != OpenResult.end() && it->second != 0) return it->second;
  if (id >= Devices.size()) return MMSYSERR_BADDEVICEID;
  open_.resize(Devices.size(), false);
  open_[id] = true;
  handle = HandleOf(id);
  return MMSYSERR_NOERROR;
}

MidiResult FakeMidiSystem::ShortMessage(MidiHandle handle, std::uint32_t message) {
  const auto id = static_cast<std::uint32_t>(handle - 1000);
  Log("short", id, message);
  if (id >= open_.size() || !open_[id]) return MMSYSERR_INVALHANDLE;
  if (auto it = ShortResult.find(id); it != ShortResult.end()) return it->second;
  return MMSYSERR_NOERROR;
}

MidiResult FakeMidiSystem::Close(MidiHandle handle) {
  const auto id = static_cast<std::uint32_t>(handle - 1000);
  Log("close", id, 0);
  if (id >= open_.size() || !open_[id]) return MMSYSERR_INVALHANDLE;
  if (auto it = CloseResult.find(id); it != CloseResult.end() && it->second != 0) return it->second;
  open_[id] = false;
  return MMSYSERR_NOERROR;
}

MidiResult FakeMidiSystem::ErrorText(MidiResult code, std::string& text) {
  Log("text", 0, code);
  auto it = ErrorTexts.find(code);
  if (it == ErrorTexts.end()) return MMSYSERR_BADERRNUM;
  text = it->second;
  return MMSYSERR_NOERROR;
}

std::vector<std::uint32_t> FakeMidiSystem::MessagesTo(std::uint32_t id) const {
  std::vector<std::uint32_t> messages;
  for (const Call& call : Calls) {
    if (call.Operation == "short" && call.Id == id) messages.push_back(call.Value);
  }
  return messages;
}

std::vector<FakeMidiSystem::Call> FakeMidiSystem::CallsOf(const std::string& operation) const {
  std::vector<Call> result;
  for (const Call& call : Calls) {
    if (call.Operation == operation) result.push_back(call);
  }
  return result;
}

bool FakeMidiSystem::IsOpen(std::uint32_t id) const { return id < open_.size() && open_[id]; }

std::uint32_t ShortMessageOf(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
  return status | (data1 << 8) | (data2 << 16);
}
