#include "winmm_midi_system.h"

#include <mmsystem.h>
#include <windows.h>

namespace {

class WinMmMidiSystem final : public MidiSystem {
 public:
  std::uint32_t DeviceCount() override { return midiOutGetNumDevs(); }

  MidiResult DeviceName(std::uint32_t id, std::string& name) override {
    MIDIOUTCAPSA caps{};
    const MMRESULT result = midiOutGetDevCapsA(id, &caps, sizeof(caps));
    if (result == MMSYSERR_NOERROR) name.assign(caps.szPname, strnlen(caps.szPname, MAXPNAMELEN));
    return result;
  }

  MidiResult Open(std::uint32_t id, MidiHandle& handle) override {
    HMIDIOUT device = nullptr;
    const MMRESULT result = midiOutOpen(&device, id, 0, 0, CALLBACK_NULL);
    if (result == MMSYSERR_NOERROR) handle = reinterpret_cast<MidiHandle>(device);
    return result;
  }

  MidiResult ShortMessage(MidiHandle handle, std::uint32_t message) override {
    return midiOutShortMsg(reinterpret_cast<HMIDIOUT>(handle), message);
  }

  MidiResult Close(MidiHandle handle) override {
    return midiOutClose(reinterpret_cast<HMIDIOUT>(handle));
  }

  MidiResult ErrorText(MidiResult code, std::string& text) override {
    // The output calls share the input calls' table of error texts.
    char buffer[128] = {};
    const MMRESULT result = midiInGetErrorTextA(code, buffer, sizeof(buffer));
    if (result == MMSYSERR_NOERROR) text = buffer;
    return result;
  }
};

}  // namespace

std::unique_ptr<MidiSystem> CreateWinMmMidiSystem() { return std::make_unique<WinMmMidiSystem>(); }
