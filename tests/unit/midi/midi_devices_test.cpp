#include "midi_devices.h"

#include <gtest/gtest.h>

#include "app_error.h"
#include "fake_midi_system.h"
#include "raised_message.h"

namespace {

class DeviceSet : public ::testing::Test {
 protected:
  DeviceSet() : fake({"Synth A", "Port B", std::string("Cut\0name", 8), std::string(40, 'n')}) {
    fake.ErrorTexts[MMSYSERR_ALLOCATED] = "The specified resource is already allocated.";
    fake.ErrorTexts[MIDIERR_NODEVICE] = "No MIDI port was found.";
  }
  FakeMidiSystem fake;
};

}  // namespace

TEST_F(DeviceSet, EnumeratesNamesOnceInOrderWithoutOpening) {
  TMidiOutput output(fake);
  ASSERT_EQ(output.Count(), 4);
  EXPECT_EQ(output.DeviceName(0), "Synth A");
  EXPECT_EQ(output.DeviceName(1), "Port B");
  EXPECT_EQ(output.DeviceName(2), "Cut");                 // ends at the first NUL
  EXPECT_EQ(output.DeviceName(3), std::string(32, 'n'));  // at most 32 characters
  EXPECT_TRUE(fake.CallsOf("open").empty());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(output.DeviceHandle(i), 0u);
}

TEST_F(DeviceSet, NoDevicesIsAnEmptyListWithoutError) {
  FakeMidiSystem none;
  TMidiOutput output(none);
  EXPECT_EQ(output.Count(), 0);
  EXPECT_TRUE(output.DeviceNames().empty());
  output.CloseAll();
  EXPECT_TRUE(none.CallsOf("close").empty());
}

TEST_F(DeviceSet, SendShortOpensAClosedDeviceAndSendsExactlyOneMessage) {
  TMidiOutput output(fake);
  fake.ClearLog();
  output.SendShort(1, 0x90, 60, 100);
  ASSERT_EQ(fake.Calls.size(), 2u);
  EXPECT_EQ(fake.Calls[0].Operation, "open");
  EXPECT_EQ(fake.Calls[0].Id, 1u);
  EXPECT_EQ(fake.MessagesTo(1), std::vector<std::uint32_t>{0x00643C90u});
  EXPECT_EQ(output.DeviceHandle(1), FakeMidiSystem::HandleOf(1));
  output.SendShort(1, 0x80, 60, 100);
  EXPECT_EQ(fake.CallsOf("open").size(), 1u);  // stays open
}

TEST_F(DeviceSet, OpenAndCloseAreIdempotentAndCloseAllGoesInOrder) {
  TMidiOutput output(fake);
  output.OpenDevice(2);
  output.OpenDevice(2);
  output.OpenDevice(0);
  EXPECT_EQ(fake.CallsOf("open").size(), 2u);
  fake.ClearLog();
  output.CloseAll();
  ASSERT_EQ(fake.CallsOf("close").size(), 2u);
  EXPECT_EQ(fake.CallsOf("close")[0].Id, 0u);
  EXPECT_EQ(fake.CallsOf("close")[1].Id, 2u);
  fake.ClearLog();
  output.CloseAll();
  output.CloseDevice(1);
  EXPECT_TRUE(fake.Calls.empty());  // nothing open: no platform call at all
}

TEST_F(DeviceSet, IndexErrorsUseTheTwoMessages) {
  TMidiOutput output(fake);
  EXPECT_EQ(MessageOf([&] { output.DeviceHandle(-1); }),
            "TMidiOutput: Device index out of bounds! (-1)");
  EXPECT_EQ(MessageOf([&] { output.DeviceHandle(4); }),
            "TMidiOutput: Device index out of bounds! (4)");
  EXPECT_EQ(MessageOf([&] { output.SendShort(9, 0x90, 1, 1); }), "List index out of bounds (9)");
  EXPECT_EQ(MessageOf([&] { output.OpenDevice(-3); }),
            "TMidiOutput: Device index out of bounds! (-3)");
}

TEST_F(DeviceSet, PlatformFailuresRaiseTheirTextAndKeepTheHandle) {
  TMidiOutput output(fake);
  fake.OpenResult[1] = MMSYSERR_ALLOCATED;
  EXPECT_EQ(MessageOf([&] { output.SendShort(1, 0x90, 60, 100); }),
            "The specified resource is already allocated.");
  EXPECT_EQ(output.LastError(), MMSYSERR_ALLOCATED);
  EXPECT_EQ(output.DeviceHandle(1), 0u);
  EXPECT_TRUE(fake.MessagesTo(1).empty());

  output.OpenDevice(0);
  fake.CloseResult[0] = MIDIERR_NODEVICE;
  EXPECT_EQ(MessageOf([&] { output.CloseDevice(0); }), "No MIDI port was found.");
  EXPECT_EQ(output.DeviceHandle(0),
            FakeMidiSystem::HandleOf(0));  // a failed close keeps the handle
  fake.CloseResult.clear();
  output.CloseDevice(0);
  EXPECT_EQ(output.DeviceHandle(0), 0u);
  EXPECT_EQ(output.LastError(), 0u);
}

TEST_F(DeviceSet, ACodeWithoutTextIsOnlyRecorded) {
  TMidiOutput output(fake);
  fake.ShortResult[0] = 999;  // no text for this code
  output.SendShort(0, 0x90, 60, 100);
  EXPECT_EQ(output.LastError(), 999u);
  EXPECT_EQ(fake.CallsOf("text").size(), 1u);
}

TEST_F(DeviceSet, FailedEnumerationStoresNothingAndTheNextCallEnumeratesAgain) {
  auto owned = std::make_unique<FakeMidiSystem>(std::vector<std::string>{"One", "Two"});
  FakeMidiSystem& system = *owned;
  system.NameResult[1] = MMSYSERR_NODRIVER;
  system.ErrorTexts[MMSYSERR_NODRIVER] = "No driver.";
  InstallMidiSystem(std::move(owned));
  FreeMidiOutput();
  EXPECT_EQ(MessageOf([] { MidiOutput(); }), "No driver.");
  EXPECT_FALSE(MidiOutputExists());
  system.NameResult.clear();
  EXPECT_EQ(MidiOutput().Count(), 2);
  EXPECT_TRUE(MidiOutputExists());
  EXPECT_EQ(&MidiOutput(), &MidiOutput());
  FreeMidiOutput();
  InstallMidiSystem(nullptr);
}
