#include "winmm_back_end.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

// <windows.h> first: <mmsystem.h> needs its types (kept in this order by hand).
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

// The 52-byte capability record whose product name starts at byte 8.
static_assert(sizeof(MIDIOUTCAPSA) == 52 && offsetof(MIDIOUTCAPSA, szPname) == 8);

void CheckResult(std::uint32_t code) {
  if (code == MMSYSERR_NOERROR) return;
  // The output calls share the input calls' table of error texts.
  char buffer[128] = {};
  if (midiInGetErrorTextA(code, buffer, sizeof(buffer)) != MMSYSERR_NOERROR) return;
  throw AppError(std::string(buffer, strnlen(buffer, sizeof(buffer))));
}

namespace {

class WinMmPort final : public MidiPort {
 public:
  explicit WinMmPort(UINT id) : id_(id) {}
  ~WinMmPort() override {
    if (handle_ != nullptr) midiOutClose(handle_);
  }

  Link Reach() override {
    if (handle_ != nullptr) return Link::Kept;
    HMIDIOUT handle = nullptr;
    CheckResult(midiOutOpen(&handle, id_, 0, 0, CALLBACK_NULL));
    handle_ = handle;
    return Link::Made;
  }
  void Send(const MidiEvent& event) override {
    CheckResult(midiOutShortMsg(
        handle_, event.Bytes[0] | event.Bytes[1] << 8 | static_cast<DWORD>(event.Bytes[2]) << 16));
  }
  void Close() override {
    if (handle_ == nullptr) return;
    CheckResult(midiOutClose(handle_));
    handle_ = nullptr;
  }

 private:
  UINT id_;
  HMIDIOUT handle_ = nullptr;
};

class WinMmBackEnd final : public MidiBackEnd {
 public:
  std::vector<std::string> PortNames() override {
    std::vector<std::string> names;
    const UINT count = midiOutGetNumDevs();
    for (UINT id = 0; id < count; ++id) {
      MIDIOUTCAPSA caps{};
      CheckResult(midiOutGetDevCapsA(id, &caps, sizeof(caps)));
      names.emplace_back(caps.szPname, strnlen(caps.szPname, MAXPNAMELEN));
    }
    return names;
  }
  MidiPort& MakePort(std::size_t position, const std::string&) override {
    return *ports_.emplace_back(std::make_unique<WinMmPort>(static_cast<UINT>(position)));
  }

 private:
  std::vector<std::unique_ptr<WinMmPort>> ports_;
};

}  // namespace

std::unique_ptr<MidiBackEnd> CreateWinMmBackEnd() { return std::make_unique<WinMmBackEnd>(); }
