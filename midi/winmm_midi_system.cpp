#include "winmm_midi_system.h"

#include <cstddef>
#include <cstring>

#include "notes_ended_at_close.h"

// The seam's result codes are the platform's: checked below, once the platform's headers
// (whose macros carry the same names) have been read.
namespace {
constexpr MidiResult kSeamCodes[] = {MMSYSERR_NOERROR,    MMSYSERR_ERROR,     MMSYSERR_BADDEVICEID,
                                     MMSYSERR_NOTENABLED, MMSYSERR_ALLOCATED, MMSYSERR_INVALHANDLE,
                                     MMSYSERR_NODRIVER,   MMSYSERR_NOMEM,     MMSYSERR_BADERRNUM,
                                     MMSYSERR_INVALPARAM, MIDIERR_NOTREADY,   MIDIERR_NODEVICE};
}  // namespace

// <windows.h> first: <mmsystem.h> needs its types (kept in this order by hand).
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

static_assert(kSeamCodes[0] == MMSYSERR_NOERROR && kSeamCodes[1] == MMSYSERR_ERROR &&
              kSeamCodes[2] == MMSYSERR_BADDEVICEID && kSeamCodes[3] == MMSYSERR_NOTENABLED &&
              kSeamCodes[4] == MMSYSERR_ALLOCATED && kSeamCodes[5] == MMSYSERR_INVALHANDLE &&
              kSeamCodes[6] == MMSYSERR_NODRIVER && kSeamCodes[7] == MMSYSERR_NOMEM &&
              kSeamCodes[8] == MMSYSERR_BADERRNUM && kSeamCodes[9] == MMSYSERR_INVALPARAM &&
              kSeamCodes[10] == MIDIERR_NOTREADY && kSeamCodes[11] == MIDIERR_NODEVICE);
// The 52-byte capability record whose product name starts at byte 8.
static_assert(sizeof(MIDIOUTCAPSA) == 52 && offsetof(MIDIOUTCAPSA, szPname) == 8);
static_assert(sizeof(MidiHandle) >= sizeof(HMIDIOUT));

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
    if (result == MMSYSERR_NOERROR) text.assign(buffer, strnlen(buffer, sizeof(buffer)));
    return result;
  }
};

}  // namespace

std::unique_ptr<MidiSystem> CreateWinMmMidiSystem() {
  // Closing a port ends nothing on the instrument behind it.
  return EndingNotesAtClose(std::make_unique<WinMmMidiSystem>());
}
