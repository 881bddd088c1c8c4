// The WinMM back end against the platform's own multimedia MIDI calls (under Wine in the
// cross build: Wine's devices, usually none, and Wine's error texts).
#include "winmm_back_end.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "midi_devices.h"
#include "raised_message.h"

// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

namespace {

// Every result code the device table can meet from the output calls.
constexpr MMRESULT kRaisedCodes[] = {MMSYSERR_ERROR,     MMSYSERR_BADDEVICEID, MMSYSERR_NOTENABLED,
                                     MMSYSERR_ALLOCATED, MMSYSERR_INVALHANDLE, MMSYSERR_NODRIVER,
                                     MMSYSERR_NOMEM,     MMSYSERR_INVALPARAM,  MIDIERR_NOTREADY,
                                     MIDIERR_NODEVICE};

std::string PlatformText(MMRESULT code) {
  char buffer[MAXERRORLENGTH] = {};
  if (midiInGetErrorTextA(code, buffer, sizeof(buffer)) != MMSYSERR_NOERROR) return {};
  return buffer;
}

}  // namespace

TEST(WinMm, ListsThePlatformsDevicesWithoutError) {
  auto backEnd = CreateWinMmBackEnd();
  TMidiOutput output({backEnd.get()});
  ASSERT_EQ(output.Count(), static_cast<std::int32_t>(midiOutGetNumDevs()));
  for (std::int32_t i = 0; i < output.Count(); ++i) {
    MIDIOUTCAPSA caps{};
    ASSERT_EQ(midiOutGetDevCapsA(static_cast<UINT>(i), &caps, sizeof(caps)), 0u);
    EXPECT_EQ(output.DeviceName(i), std::string(caps.szPname, strnlen(caps.szPname, 32)));
    EXPECT_EQ(output.DeviceHandle(i), nullptr);
  }
  output.CloseAll();  // closing with nothing open reaches no device
}

TEST(WinMm, EveryFailingCodeRaisesThePlatformsTextAndOneWithoutTextNothing) {
  std::set<std::string> texts;
  for (const MMRESULT code : kRaisedCodes) {
    SCOPED_TRACE(code);
    const std::string text = PlatformText(code);
    EXPECT_FALSE(text.empty());
    EXPECT_LT(text.size(), 128u);
    EXPECT_EQ(MessageOf([code] { CheckResult(code); }), text);
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), std::size(kRaisedCodes));  // one text per code
  EXPECT_EQ(MessageOf([] { CheckResult(0xBEEF); }), "(nothing raised)");
  EXPECT_EQ(MessageOf([] { CheckResult(MMSYSERR_NOERROR); }), "(nothing raised)");
  EXPECT_EQ(PlatformText(MMSYSERR_BADDEVICEID),
            "A device ID has been used that is out of range for your system.");
}

TEST(WinMm, APortBeyondThePlatformsListRaisesItsText) {
  auto backEnd = CreateWinMmBackEnd();
  const std::size_t count = backEnd->PortNames().size();
  for (const std::size_t id : {count, std::size_t{1000}}) {
    MidiPort& port = backEnd->MakePort(id, "gone");
    EXPECT_EQ(MessageOf([&] { port.Reach(); }), PlatformText(MMSYSERR_BADDEVICEID));
    port.Close();  // never opened: nothing to close
  }
  // Through the device table the list's own check comes first.
  TMidiOutput output({backEnd.get()});
  EXPECT_EQ(MessageOf([&] { output.OpenDevice(output.Count()); }),
            "TMidiOutput: Device index out of bounds! (" + std::to_string(output.Count()) + ")");
}

TEST(WinMm, TheFirstDeviceOpensPlaysAndCloses) {
  auto backEnd = CreateWinMmBackEnd();
  TMidiOutput output({backEnd.get()});
  if (output.Count() == 0) GTEST_SKIP() << "this machine has no MIDI output device";
  output.SendShort(0, 0x90, 60, 100);  // opens the device first
  EXPECT_NE(output.DeviceHandle(0), nullptr);
  output.SendShort(0, 0x80, 60, 0);
  output.CloseDevice(0);
  EXPECT_EQ(output.DeviceHandle(0), nullptr);
}
