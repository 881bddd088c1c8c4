// The WinMM system against the platform's own multimedia MIDI calls (under Wine in the
// cross build: Wine's devices, usually none, and Wine's error texts).
#include "winmm_midi_system.h"

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

// Every result code the device set can meet from the output calls.
constexpr MidiResult kRaisedCodes[] = {
    MMSYSERR_ERROR,       MMSYSERR_BADDEVICEID, MMSYSERR_NOTENABLED, MMSYSERR_ALLOCATED,
    MMSYSERR_INVALHANDLE, MMSYSERR_NODRIVER,    MMSYSERR_NOMEM,      MMSYSERR_INVALPARAM,
    MIDIERR_NOTREADY,     MIDIERR_NODEVICE};

std::string PlatformText(MidiResult code) {
  char buffer[MAXERRORLENGTH] = {};
  if (midiInGetErrorTextA(code, buffer, sizeof(buffer)) != MMSYSERR_NOERROR) return {};
  return buffer;
}

}  // namespace

TEST(WinMm, EnumeratesThePlatformsDevicesWithoutError) {
  auto system = CreateWinMmMidiSystem();
  const std::uint32_t count = midiOutGetNumDevs();
  EXPECT_EQ(system->DeviceCount(), count);
  TMidiOutput output(*system);
  ASSERT_EQ(output.Count(), static_cast<std::int32_t>(count));
  EXPECT_EQ(output.LastError(), 0u);
  for (std::int32_t i = 0; i < output.Count(); ++i) {
    MIDIOUTCAPSA caps{};
    ASSERT_EQ(midiOutGetDevCapsA(static_cast<UINT>(i), &caps, sizeof(caps)), 0u);
    EXPECT_EQ(output.DeviceName(i), std::string(caps.szPname, strnlen(caps.szPname, 32)));
    EXPECT_EQ(output.DeviceHandle(i), 0u);
  }
  // Closing with nothing open reaches no device.
  output.CloseAll();
  EXPECT_EQ(output.LastError(), 0u);
}

TEST(WinMm, EveryRaisedCodeCarriesThePlatformsText) {
  auto system = CreateWinMmMidiSystem();
  TMidiOutput output(*system);
  std::set<std::string> texts;
  for (const MidiResult code : kRaisedCodes) {
    SCOPED_TRACE(code);
    std::string text;
    ASSERT_EQ(system->ErrorText(code, text), 0u);
    EXPECT_FALSE(text.empty());
    EXPECT_LT(text.size(), 128u);
    EXPECT_EQ(text, PlatformText(code));
    texts.insert(text);
    EXPECT_EQ(MessageOf([&] { output.CheckResult(code); }), text);
    EXPECT_EQ(output.LastError(), code);
  }
  EXPECT_EQ(texts.size(), std::size(kRaisedCodes));  // one text per code
}

TEST(WinMm, ACodeThePlatformHasNoTextForIsOnlyRecorded) {
  auto system = CreateWinMmMidiSystem();
  TMidiOutput output(*system);
  std::string text = "unchanged";
  EXPECT_NE(system->ErrorText(0xBEEF, text), 0u);
  EXPECT_EQ(text, "unchanged");
  EXPECT_EQ(MessageOf([&] { output.CheckResult(0xBEEF); }), "(nothing raised)");
  EXPECT_EQ(output.LastError(), 0xBEEFu);
  output.CheckResult(0);
  EXPECT_EQ(output.LastError(), 0u);
}

TEST(WinMm, OpeningAnIdBeyondTheListRaisesThePlatformsText) {
  auto system = CreateWinMmMidiSystem();
  TMidiOutput output(*system);
  const std::string badId = PlatformText(MMSYSERR_BADDEVICEID);
  EXPECT_EQ(badId, "A device ID has been used that is out of range for your system.");
  for (const std::uint32_t id : {static_cast<std::uint32_t>(output.Count()), 1000u}) {
    MidiHandle handle = 0;
    EXPECT_EQ(MessageOf([&] { output.CheckResult(system->Open(id, handle)); }), badId);
    EXPECT_EQ(output.LastError(), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(handle, 0u);
  }
  // Through the device set the list's own check comes first.
  EXPECT_EQ(MessageOf([&] { output.OpenDevice(output.Count()); }),
            "TMidiOutput: Device index out of bounds! (" + std::to_string(output.Count()) + ")");
}

TEST(WinMm, AHandleThePlatformNeverGaveIsRefused) {
  auto system = CreateWinMmMidiSystem();
  TMidiOutput output(*system);
  const MidiHandle bogus = 0x5A5A0;
  EXPECT_EQ(MessageOf([&] { output.CheckResult(system->ShortMessage(bogus, 0x643C90)); }),
            PlatformText(MMSYSERR_INVALHANDLE));
  EXPECT_EQ(MessageOf([&] { output.CheckResult(system->Close(bogus)); }),
            PlatformText(MMSYSERR_INVALHANDLE));
}

TEST(WinMm, TheFirstDeviceOpensPlaysAndCloses) {
  auto system = CreateWinMmMidiSystem();
  TMidiOutput output(*system);
  if (output.Count() == 0) GTEST_SKIP() << "this machine has no MIDI output device";
  output.SendShort(0, 0x90, 60, 100);  // opens the device first
  EXPECT_NE(output.DeviceHandle(0), 0u);
  output.SendShort(0, 0x80, 60, 0);
  output.CloseDevice(0);
  EXPECT_EQ(output.DeviceHandle(0), 0u);
  EXPECT_EQ(output.LastError(), 0u);
}
