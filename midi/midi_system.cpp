#include "midi_system.h"

namespace {

// The system of a machine without MIDI: no devices, and nothing to open.
class NoMidiSystem : public MidiSystem {
 public:
  std::uint32_t DeviceCount() override { return 0; }
  MidiResult DeviceName(std::uint32_t, std::string&) override { return MMSYSERR_BADDEVICEID; }
  MidiResult Open(std::uint32_t, MidiHandle&) override { return MMSYSERR_BADDEVICEID; }
  MidiResult ShortMessage(MidiHandle, std::uint32_t) override { return MMSYSERR_INVALHANDLE; }
  MidiResult Close(MidiHandle) override { return MMSYSERR_INVALHANDLE; }
  MidiResult ErrorText(MidiResult, std::string&) override { return MMSYSERR_BADERRNUM; }
};

std::unique_ptr<MidiSystem>& Installed() {
  static std::unique_ptr<MidiSystem> system;
  return system;
}

}  // namespace

std::unique_ptr<MidiSystem> CreateNoMidiSystem() { return std::make_unique<NoMidiSystem>(); }

void InstallMidiSystem(std::unique_ptr<MidiSystem> system) { Installed() = std::move(system); }

MidiSystem& InstalledMidiSystem() {
  if (!Installed()) Installed() = CreateNoMidiSystem();
  return *Installed();
}

void PrepareMidiDevices(std::int32_t recording, std::int32_t playing) {
  MidiSystem& system = InstalledMidiSystem();
  for (const std::int32_t device : {recording, playing}) {
    if (device >= 0 && static_cast<std::uint32_t>(device) < system.DeviceCount()) {
      system.Prepare(static_cast<std::uint32_t>(device));
    }
  }
}
