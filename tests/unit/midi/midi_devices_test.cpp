#include "midi_devices.h"

#include <gtest/gtest.h>

#include "fake_midi_system.h"
#include "raised_message.h"

namespace {

using Messages = std::vector<std::uint32_t>;

class DeviceTable : public ::testing::Test {
 protected:
  DeviceTable() : fake({"Synth A", "Port B", std::string("Cut\0name", 8), std::string(40, 'n')}) {}
  FakeMidiSystem fake;
};

}  // namespace

TEST_F(DeviceTable, ListsNamesInOrderWithoutOpeningAndSendsAfterOneOpen) {
  TMidiOutput output({&fake});
  ASSERT_EQ(output.Count(), 4);
  EXPECT_EQ(output.DeviceNames(),
            (std::vector<std::string>{"Synth A", "Port B", "Cut", std::string(32, 'n')}));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(output.DeviceHandle(i), nullptr);
  fake.ClearLog();
  output.CloseAll();
  EXPECT_TRUE(fake.Calls.empty());  // nothing open: no call at all

  output.SendShort(1, 0x90, 60, 100);
  ASSERT_EQ(fake.Calls.size(), 2u);
  EXPECT_EQ(fake.Calls[0].Operation, "open");
  EXPECT_EQ(fake.MessagesTo(1), Messages{0x00643C90u});
  EXPECT_NE(output.DeviceHandle(1), nullptr);
  output.SendShort(1, 0x80, 60, 100);
  output.OpenDevice(1);
  output.OpenDevice(3);
  EXPECT_EQ(fake.CallsOf("open").size(), 2u);  // open stays open
  fake.ClearLog();
  output.CloseAll();
  ASSERT_EQ(fake.CallsOf("close").size(), 2u);
  EXPECT_EQ(fake.CallsOf("close")[0].Id, 1u);
  EXPECT_EQ(fake.CallsOf("close")[1].Id, 3u);

  FakeMidiSystem none;
  TMidiOutput empty({&none});
  EXPECT_EQ(empty.Count(), 0);
}

TEST_F(DeviceTable, IndexErrorsUseTheTwoMessages) {
  TMidiOutput output({&fake});
  EXPECT_EQ(MessageOf([&] { output.DeviceHandle(-1); }),
            "TMidiOutput: Device index out of bounds! (-1)");
  EXPECT_EQ(MessageOf([&] { output.OpenDevice(4); }),
            "TMidiOutput: Device index out of bounds! (4)");
  EXPECT_EQ(MessageOf([&] { output.SendShort(9, 0x90, 1, 1); }), "List index out of bounds (9)");
  EXPECT_EQ(MessageOf([&] { output.IsOpen(-2); }), "List index out of bounds (-2)");
  EXPECT_EQ(MessageOf([&] { output.DeviceName(4); }), "List index out of bounds (4)");
}

// A failure raises its text once; the device then drops its messages quietly until one
// goes through again. A failed close leaves the device open.
TEST_F(DeviceTable, AFailureIsRaisedOnceUntilTheDeviceWorksAgain) {
  TMidiOutput output({&fake});
  fake.OpenFailure[1] = "The port is gone.";
  EXPECT_EQ(MessageOf([&] { output.SendShort(1, 0x90, 60, 100); }), "The port is gone.");
  EXPECT_FALSE(output.IsOpen(1));
  EXPECT_EQ(MessageOf([&] { output.SendShort(1, 0x90, 61, 100); }), "(nothing raised)");
  EXPECT_TRUE(output.IsOpen(1));  // opened quietly, its messages dropped
  EXPECT_TRUE(fake.MessagesTo(1).empty());
  fake.OpenFailure.clear();
  output.SendShort(1, 0x90, 62, 100);
  fake.SendFailure[1] = "The queue is full.";
  EXPECT_EQ(MessageOf([&] { output.SendShort(1, 0x90, 63, 100); }), "The queue is full.");
  EXPECT_EQ(fake.MessagesTo(1).size(), 2u);

  output.OpenDevice(0);
  fake.CloseFailure[0] = "Cannot close.";
  EXPECT_EQ(MessageOf([&] { output.CloseDevice(0); }), "Cannot close.");
  EXPECT_TRUE(output.IsOpen(0));
  fake.CloseFailure.clear();
  output.CloseDevice(0);
  EXPECT_FALSE(output.IsOpen(0));
}

// Closing ends what went out and still sounds, per channel, for every back end; a port
// connected anew gets the programs chosen through the device again, and one on a new
// server owes nothing for the notes of the old one.
TEST_F(DeviceTable, ClosingEndsTheNotesStillOnAndAReconnectedPortGetsItsPrograms) {
  TMidiOutput output({&fake});
  for (const std::uint32_t message :
       {ShortMessageOf(0xC0, 5, 0), ShortMessageOf(0x90, 60, 100), ShortMessageOf(0x91, 61, 100),
        ShortMessageOf(0x90, 62, 100), ShortMessageOf(0x80, 60, 100),
        ShortMessageOf(0x90, 62, 0)}) {  // a note-on of velocity 0 ends a note too
    output.SendShort(0, message & 0xFF, (message >> 8) & 0xFF, message >> 16);
  }
  fake.NextLink[0] = Link::Made;  // connected again: the destination lost its programs
  output.SendShort(0, 0xC1, 9, 0);
  output.SendShort(0, 0x92, 64, 100);
  fake.ClearLog();
  output.CloseDevice(0);
  EXPECT_EQ(fake.MessagesTo(0),
            (Messages{ShortMessageOf(0x81, 61, 0), ShortMessageOf(0x82, 64, 0)}));
  EXPECT_EQ(fake.CallsOf("close").size(), 1u);

  // Reopened, nothing is on and no program was chosen; programs of this opening come back.
  output.SendShort(0, 0xC3, 7, 0);
  output.SendShort(0, 0x93, 50, 100);
  fake.NextLink[0] = Link::Made;
  output.SendShort(0, 0x93, 51, 100);
  fake.NextLink[0] = Link::MadeOnNewServer;
  output.SendShort(0, 0x93, 52, 100);
  fake.ClearLog();
  output.CloseDevice(0);
  EXPECT_EQ(fake.MessagesTo(0), (Messages{ShortMessageOf(0x83, 52, 0)}));
}

TEST(DeviceTableListing, BackEndsAreJoinedInOrderAndLaterPortsAppendedAfterAll) {
  FakeMidiSystem synth({"Synth"});
  FakeMidiSystem sequencer({"Through:Port 14:0", "Piano:In 20:0"});
  TMidiOutput output({&synth, &sequencer});
  EXPECT_EQ(output.DeviceNames(),
            (std::vector<std::string>{"Synth", "Through:Port 14:0", "Piano:In 20:0"}));

  // A synthesizer started, the piano gone, then back under a new client number.
  sequencer.Devices = {"Through:Port 14:0", "Late:In 24:0", "Piano:In 28:0"};
  synth.Devices.push_back("Second synth");
  output.ListNewDevices();
  EXPECT_EQ(output.DeviceNames(),
            (std::vector<std::string>{"Synth", "Through:Port 14:0", "Piano:In 20:0", "Second synth",
                                      "Late:In 24:0"}));
  output.ListNewDevices();
  EXPECT_EQ(output.Count(), 5);
  output.SendShort(4, 0x90, 1, 2);
  output.SendShort(3, 0x90, 3, 4);
  EXPECT_EQ(sequencer.MessagesTo(1), Messages{ShortMessageOf(0x90, 1, 2)});  // its position
  EXPECT_EQ(synth.MessagesTo(1), Messages{ShortMessageOf(0x90, 3, 4)});
}

TEST(DeviceTableListing, AFailedListingStoresNothingAndTheNextUseListsAgain) {
  FakeMidiSystem& fake = InstallFakeMidi({"One", "Two"});
  fake.ListFailure = "No driver.";
  EXPECT_EQ(MessageOf([] { MidiOutput(); }), "No driver.");
  EXPECT_FALSE(MidiOutputExists());
  fake.ListFailure.clear();
  EXPECT_EQ(MidiOutput().Count(), 2);
  EXPECT_EQ(&MidiOutput(), &MidiOutput());
  PrepareMidiDevices(1, 7);  // a bad index is no device
  InstallMidiBackEnds(MidiBackEnds{});
  EXPECT_FALSE(MidiOutputExists());
}
