#include "combined_midi_system.h"

#include <utility>

bool StandardMidiErrorText(MidiResult code, std::string& text) {
  switch (code) {
    case MMSYSERR_NOERROR:
      text = "The specified command was carried out.";
      return true;
    case MMSYSERR_ERROR:
      text = "Undefined external error.";
      return true;
    case MMSYSERR_BADDEVICEID:
      text = "The specified device identifier is out of range.";
      return true;
    case MMSYSERR_NOTENABLED:
      text = "The driver failed to enable.";
      return true;
    case MMSYSERR_ALLOCATED:
      text = "The specified device is already in use. Wait until it is free, and then try again.";
      return true;
    case MMSYSERR_INVALHANDLE:
      text = "The specified device handle is invalid.";
      return true;
    case MMSYSERR_NODRIVER:
      text = "There is no driver installed on your system.";
      return true;
    case MMSYSERR_NOMEM:
      text = "There is not enough memory available for this task.";
      return true;
    case MMSYSERR_BADERRNUM:
      text = "An error number was specified that is not defined in the system.";
      return true;
    case MMSYSERR_INVALPARAM:
      text = "An invalid parameter was passed to a system function.";
      return true;
    case MIDIERR_NOTREADY:
      text = "The hardware is busy with other data.";
      return true;
    case MIDIERR_NODEVICE:
      text = "The MIDI device is no longer present.";
      return true;
    default:
      return false;
  }
}

CombinedMidiSystem::CombinedMidiSystem(std::vector<std::unique_ptr<MidiSystem>> members) {
  lastFailingMember_.fill(-1);
  for (std::unique_ptr<MidiSystem>& system : members) {
    if (!system) continue;
    members_.push_back({std::move(system), 0});
    AppendDevicesOf(members_.size() - 1);
  }
}

void CombinedMidiSystem::AppendDevicesOf(std::size_t memberIndex) {
  Member& member = members_[memberIndex];
  const std::uint32_t count = member.System->DeviceCount();
  for (; member.Listed < count; ++member.Listed) devices_.push_back({memberIndex, member.Listed});
}

CombinedMidiSystem::~CombinedMidiSystem() {
  // Devices still open are closed through their own system before it goes.
  for (Slot& slot : slots_) {
    if (slot.Used) members_[slot.MemberIndex].System->Close(slot.Inner);
  }
}

std::uint32_t CombinedMidiSystem::DeviceCount() {
  return static_cast<std::uint32_t>(devices_.size());
}

MidiResult CombinedMidiSystem::DeviceName(std::uint32_t id, std::string& name) {
  if (id >= devices_.size()) return MMSYSERR_BADDEVICEID;
  const Device& device = devices_[id];
  return Remember(members_[device.MemberIndex].System->DeviceName(device.Id, name),
                  device.MemberIndex);
}

MidiResult CombinedMidiSystem::Open(std::uint32_t id, MidiHandle& handle) {
  if (id >= devices_.size()) return MMSYSERR_BADDEVICEID;
  const Device& device = devices_[id];
  MidiHandle inner = 0;
  const MidiResult result = members_[device.MemberIndex].System->Open(device.Id, inner);
  if (result != MMSYSERR_NOERROR) return Remember(result, device.MemberIndex);
  std::size_t position = 0;
  while (position < slots_.size() && slots_[position].Used) ++position;
  if (position == slots_.size()) slots_.emplace_back();
  slots_[position] = {true, device.MemberIndex, inner};
  handle = static_cast<MidiHandle>(position + 1);
  return MMSYSERR_NOERROR;
}

MidiResult CombinedMidiSystem::ShortMessage(MidiHandle handle, std::uint32_t message) {
  const Slot* slot = SlotOf(handle);
  if (slot == nullptr) return MMSYSERR_INVALHANDLE;
  return Remember(members_[slot->MemberIndex].System->ShortMessage(slot->Inner, message),
                  slot->MemberIndex);
}

MidiResult CombinedMidiSystem::Close(MidiHandle handle) {
  Slot* slot = SlotOf(handle);
  if (slot == nullptr) return MMSYSERR_INVALHANDLE;
  const MidiResult result = members_[slot->MemberIndex].System->Close(slot->Inner);
  if (result != MMSYSERR_NOERROR) return Remember(result, slot->MemberIndex);
  slot->Used = false;
  return MMSYSERR_NOERROR;
}

MidiResult CombinedMidiSystem::ErrorText(MidiResult code, std::string& text) {
  if (code < kRememberedCodes && lastFailingMember_[code] >= 0) {
    return members_[static_cast<std::size_t>(lastFailingMember_[code])].System->ErrorText(code,
                                                                                          text);
  }
  for (const Member& member : members_) {
    if (member.System->ErrorText(code, text) == MMSYSERR_NOERROR) return MMSYSERR_NOERROR;
  }
  return StandardMidiErrorText(code, text) ? MMSYSERR_NOERROR : MMSYSERR_BADERRNUM;
}

void CombinedMidiSystem::ListNewDevices() {
  for (std::size_t i = 0; i < members_.size(); ++i) {
    members_[i].System->ListNewDevices();
    AppendDevicesOf(i);
  }
}

void CombinedMidiSystem::Prepare(std::uint32_t id) {
  if (id >= devices_.size()) return;
  members_[devices_[id].MemberIndex].System->Prepare(devices_[id].Id);
}

CombinedMidiSystem::Slot* CombinedMidiSystem::SlotOf(MidiHandle handle) {
  if (handle == 0 || handle > slots_.size()) return nullptr;
  Slot& slot = slots_[handle - 1];
  return slot.Used ? &slot : nullptr;
}

MidiResult CombinedMidiSystem::Remember(MidiResult code, std::size_t memberIndex) {
  if (code != MMSYSERR_NOERROR && code < kRememberedCodes) {
    lastFailingMember_[code] = static_cast<int>(memberIndex);
  }
  return code;
}
