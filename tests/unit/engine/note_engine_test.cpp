#include "engine_fixture.h"

using Messages = std::vector<std::uint32_t>;

TEST_F(EngineTest, HeldKeyGivesOneNoteOnAndReleaseOneNoteOff) {
  Config.RecordingDevice = 1;
  for (int repeat = 0; repeat < 5; ++repeat) FormKeyDown('Z');  // auto-repeat
  FormKeyUp('Z');
  EXPECT_EQ(Sent(1), (Messages{ShortMessageOf(0x90, 36, 100), ShortMessageOf(0x80, 36, 100)}));
  EXPECT_EQ(display.Events, (std::vector<std::string>{"down 36", "up 36"}));
  EXPECT_EQ(PressedNotes[36], 0);
}

TEST_F(EngineTest, WithoutAnyDeviceEveryKeyDownOnlyWarns) {
  for (std::uint16_t key : {std::uint16_t{'Z'}, VK_SPACE, VK_F1, VK_F9}) FormKeyDown(key);
  EXPECT_EQ(display.Events.size(), 8u);
  for (std::size_t i = 0; i < display.Events.size(); i += 2) {
    EXPECT_EQ(display.Events[i], "paint");
    EXPECT_EQ(display.Events[i + 1], "warning");
  }
  EXPECT_EQ(Config.Octave, 3);  // F-keys did nothing
  EXPECT_TRUE(fake->Calls.empty());
  // Key-up has no device check: it goes through the key map and sends nothing.
  display.Events.clear();
  FormKeyUp('Z');
  EXPECT_EQ(display.Events, (std::vector<std::string>{"up 36"}));
  EXPECT_TRUE(fake->Calls.empty());
}

TEST_F(EngineTest, ProgramChangeOnlyWhenANoteOnFindsTheDeviceClosed) {
  Config.RecordingDevice = 0;
  Config.PlayingDevice = 2;
  Config.RecordingInstrument = 0;  // 0 counts for the recording device...
  Config.PlayingInstrument = 0;    // ...but not for the playing device
  Config.RecordingChannel = 2;
  Config.PlayingChannel = 16;
  FormKeyDown('Z');
  FormKeyDown('S');
  EXPECT_EQ(Sent(0), (Messages{ShortMessageOf(0xC1, 0, 0), ShortMessageOf(0x91, 36, 100),
                               ShortMessageOf(0x91, 37, 100)}));
  EXPECT_EQ(Sent(2), (Messages{ShortMessageOf(0x9F, 36, 100), ShortMessageOf(0x9F, 37, 100)}));

  Config.PlayingInstrument = 5;
  AllNotesOff();
  fake->ClearLog();
  FormKeyDown('Q');
  EXPECT_EQ(Sent(2), (Messages{ShortMessageOf(0xCF, 5, 0), ShortMessageOf(0x9F, 48, 100)}));

  // A key held while the devices close (a new instrument chosen) is released later: the
  // close ended its note, so the release opens nothing, and the next note-on opens the
  // device with the new instrument's program change.
  FormKeyDown('Z');
  Config.RecordingInstrument = 7;
  AllNotesOff();
  fake->ClearLog();
  FormKeyUp('Z');
  EXPECT_TRUE(fake->Calls.empty());
  FormKeyDown('Q');
  EXPECT_EQ(Sent(0), (Messages{ShortMessageOf(0xC1, 7, 0), ShortMessageOf(0x91, 48, 100)}));
}

TEST_F(EngineTest, ThePlayingDeviceIsServedOnlyWhenItDiffers) {
  Config.RecordingDevice = 1;
  Config.PlayingDevice = 1;
  Config.PlayingChannel = 9;
  FormKeyDown('Z');
  FormKeyUp('Z');
  EXPECT_EQ(Sent(1), (Messages{ShortMessageOf(0x90, 36, 100), ShortMessageOf(0x80, 36, 100)}));

  fake->ClearLog();
  Config.RecordingDevice = -1;  // only the playing device
  FormKeyDown('Z');
  EXPECT_EQ(Sent(1), (Messages{ShortMessageOf(0x98, 36, 100)}));
}

TEST_F(EngineTest, SpaceAndFunctionKeys) {
  Config.RecordingDevice = 0;
  FormKeyDown('Z');
  display.Events.clear();
  fake->ClearLog();
  FormKeyDown(VK_SPACE);
  EXPECT_EQ(fake->CallsOf("close").size(), 1u);
  // Closing ends the notes still on through the device, and sends nothing else.
  EXPECT_EQ(Sent(0), (Messages{ShortMessageOf(0x80, 36, 0)}));
  EXPECT_EQ(PressedNotes[36], 0);
  EXPECT_EQ(display.Events, (std::vector<std::string>{"paint"}));

  FormKeyDown('Z');
  display.Events.clear();
  FormKeyDown(VK_F1 + 5);
  EXPECT_EQ(Config.Octave, 5);
  EXPECT_EQ(display.Events, (std::vector<std::string>{"paint", "octave menu 5"}));
  EXPECT_FALSE(fake->IsOpen(0));
  FormKeyDown(VK_F1);
  EXPECT_EQ(Config.Octave, 0);
  FormKeyDown(VK_F9);
  EXPECT_EQ(Config.Octave, 8);
  // Key-up of Space and F-keys goes through the key map like any key: unmapped, silent.
  fake->ClearLog();
  FormKeyUp(VK_SPACE);
  FormKeyUp(VK_F1);
  EXPECT_TRUE(fake->Calls.empty());
}

TEST_F(EngineTest, OctaveChosenSetsTheOctaveThenTurnsNotesOff) {
  Config.RecordingDevice = 0;
  FormKeyDown('Z');
  OctaveChosen(7);
  EXPECT_EQ(Config.Octave, 7);
  EXPECT_EQ(PressedNotes[36], 0);
  EXPECT_FALSE(fake->IsOpen(0));
}

TEST_F(EngineTest, OnlyNotesZeroTo127ArePlayed) {
  Config.RecordingDevice = 0;
  FormKeyDown('A');  // unmapped: 255 + 36
  FormKeyDown('P');  // 200 + 36
  EXPECT_TRUE(fake->Calls.empty());
  Config.Octave = 8;
  FormKeyDown(0xDD);  // 31 + 96 = 127, the highest note
  EXPECT_EQ(Sent(0), (Messages{ShortMessageOf(0x90, 127, 100)}));
  Config.Octave = 0;
  FormKeyDown('Z');
  EXPECT_EQ(Sent(0).back(), ShortMessageOf(0x90, 0, 100));
}

TEST_F(EngineTest, HandMadeValuesNeverReadOutsideTheFlags) {
  Config.RecordingDevice = 0;
  Config.Octave = 255;  // far above 8: every key falls outside the note range
  for (std::uint16_t key : {std::uint16_t{'Z'}, std::uint16_t{'P'}, std::uint16_t{0xDD}}) {
    FormKeyDown(key);
    FormKeyUp(key);
  }
  EXPECT_TRUE(fake->Calls.empty());
  for (std::uint8_t flag : PressedNotes) EXPECT_EQ(flag, 0);
}

TEST_F(EngineTest, ValuesThatDoNotFitAByteRaiseTheRangeError) {
  Config.RecordingDevice = 0;
  Config.RecordingInstrument = 256;
  EXPECT_EQ(MessageOf([] { FormKeyDown('Z'); }), "Range check error");
  EXPECT_TRUE(fake->IsOpen(0));  // opened before the message that failed
  EXPECT_EQ(PressedNotes[36], 1);
  EXPECT_TRUE(Sent(0).empty());

  AllNotesOff();
  Config.RecordingInstrument = 255;  // 128..255 go out unchanged
  FormKeyDown('Z');
  EXPECT_EQ(Sent(0).front(), ShortMessageOf(0xC0, 255, 0));

  AllNotesOff();
  fake->ClearLog();
  Config.RecordingInstrument = -1;
  Config.RecordingChannel = 113;  // note-on status 0x8F + 113 = 256
  EXPECT_EQ(MessageOf([] { FormKeyDown('Z'); }), "Range check error");
  Config.RecordingChannel = 112;  // 0xFF still fits
  AllNotesOff();
  FormKeyDown('Z');
  EXPECT_EQ(Sent(0).back(), ShortMessageOf(0xFF, 36, 100));
  Config.RecordingChannel = 129;
  EXPECT_EQ(MessageOf([] { FormKeyUp('Z'); }), "Range check error");
  EXPECT_EQ(PressedNotes[36], 0);

  AllNotesOff();
  Config.RecordingChannel = 65;  // program change 0xBF + 65 = 256
  Config.RecordingInstrument = 1;
  EXPECT_EQ(MessageOf([] { FormKeyDown('Z'); }), "Range check error");
}

TEST_F(EngineTest, ChannelZeroFormsItsStatusWithoutMasking) {
  Config.RecordingDevice = 0;
  Config.RecordingChannel = 0;
  Config.RecordingInstrument = 3;
  FormKeyDown('Z');
  FormKeyUp('Z');
  EXPECT_EQ(Sent(0), (Messages{ShortMessageOf(0xBF, 3, 0), ShortMessageOf(0x8F, 36, 100),
                               ShortMessageOf(0x7F, 36, 100)}));
}

TEST_F(EngineTest, ADeviceIndexBeyondTheListFailsAtThatDevice) {
  // Only the playing index is bad: the recording device is fully served first.
  Config.RecordingDevice = 0;
  Config.RecordingInstrument = 4;
  Config.PlayingDevice = 5;
  EXPECT_EQ(MessageOf([] { FormKeyDown('Z'); }), "TMidiOutput: Device index out of bounds! (5)");
  EXPECT_EQ(Sent(0), (Messages{ShortMessageOf(0xC0, 4, 0), ShortMessageOf(0x90, 36, 100)}));
  EXPECT_EQ(PressedNotes[36], 1);
  EXPECT_EQ(display.Events, (std::vector<std::string>{"down 36"}));
  // A second key-down of the flagged note does nothing and raises nothing.
  EXPECT_EQ(MessageOf([] { FormKeyDown('Z'); }), "(nothing raised)");
  EXPECT_EQ(MessageOf([] { FormKeyUp('Z'); }), "List index out of bounds (5)");
  EXPECT_EQ(PressedNotes[36], 0);
  EXPECT_EQ(display.Events.back(), "up 36");
}

// A failing recording device ends a note-on there: the playing device is not served and one
// failure is raised. A note-off goes on to the playing device, so that a note sounding
// there ends, and raises the failure afterwards.
TEST_F(EngineTest, AFailingRecordingDeviceEndsANoteOnButNoNoteOff) {
  const Messages played{ShortMessageOf(0x90, 37, 100), ShortMessageOf(0x80, 37, 100)};
  struct Case {
    const char* Name;
    std::int32_t Recording;
    enum { Never, AtOpen, AtEveryMessage, AtTheNoteOff } Fails;
    const char* RaisedAtPress;
    const char* RaisedAtRelease;
    Messages Playing;
  };
  for (const Case& c : {
           Case{"index beyond the list",
                7,
                Case::Never,
                "TMidiOutput: Device index out of bounds! (7)",
                "List index out of bounds (7)",
                {}},
           Case{"open fails", 0, Case::AtOpen, "Device busy.", "(nothing raised)", {}},
           // Raised once: the device stays quiet until a message goes through again.
           Case{"messages fail", 0, Case::AtEveryMessage, "Device busy.", "(nothing raised)", {}},
           Case{"the note-off fails", 0, Case::AtTheNoteOff, "(nothing raised)", "Device busy.",
                played},
       }) {
    SCOPED_TRACE(c.Name);
    AllNotesOff();
    fake->OpenFailure.clear();
    fake->SendFailure.clear();
    fake->ClearLog();
    Config.RecordingDevice = c.Recording;
    Config.PlayingDevice = 2;
    if (c.Fails == Case::AtOpen) fake->OpenFailure[0] = "Device busy.";
    if (c.Fails == Case::AtEveryMessage) fake->SendFailure[0] = "Device busy.";
    EXPECT_EQ(MessageOf([] { FormKeyDown('S'); }), c.RaisedAtPress);
    EXPECT_EQ(PressedNotes[37], 1);
    if (c.Fails == Case::AtTheNoteOff) fake->SendFailure[0] = "Device busy.";
    EXPECT_EQ(MessageOf([] { FormKeyUp('S'); }), c.RaisedAtRelease);
    EXPECT_EQ(PressedNotes[37], 0);
    EXPECT_EQ(Sent(2), c.Playing);
  }
}

TEST_F(EngineTest, ADeviceThatFailsToOpenLeavesTheKeyHeld) {
  Config.RecordingDevice = 0;
  fake->OpenFailure[0] = "Device busy.";
  EXPECT_EQ(MessageOf([] { FormKeyDown('Z'); }), "Device busy.");
  EXPECT_EQ(PressedNotes[36], 1);
  fake->OpenFailure.clear();
  FormKeyDown('Z');  // still flagged: no second attempt until the key is released
  EXPECT_TRUE(Sent(0).empty());
}

TEST_F(EngineTest, ReleasingHeldNotesSendsTheirNoteOffsAndDrawsThemUp) {
  Config.RecordingDevice = 0;
  Config.PlayingDevice = 1;
  FormKeyDown('Z');
  FormKeyDown('Q');
  fake->ClearLog();
  display.Events.clear();
  ReleasePressedNotes();
  EXPECT_EQ(Sent(0), (Messages{ShortMessageOf(0x80, 36, 100), ShortMessageOf(0x80, 48, 100)}));
  EXPECT_EQ(Sent(1), (Messages{ShortMessageOf(0x80, 36, 100), ShortMessageOf(0x80, 48, 100)}));
  EXPECT_EQ(display.Events, (std::vector<std::string>{"up 36", "up 48"}));
  EXPECT_EQ(PressedNotes[36] + PressedNotes[48], 0);
  fake->ClearLog();
  ReleasePressedNotes();  // nothing held: nothing sent
  EXPECT_TRUE(fake->Calls.empty());
}

TEST_F(EngineTest, ReleasingHeldNotesGoesOnPastAFailingNoteAndAFailingDevice) {
  Config.RecordingDevice = 0;
  FormKeyDown('Z');
  FormKeyDown('Q');
  fake->SendFailure[0] = "Device busy.";
  EXPECT_EQ(MessageOf([] { ReleasePressedNotes(); }), "Device busy.");
  EXPECT_EQ(PressedNotes[36] + PressedNotes[48], 0);
  EXPECT_EQ(Sent(0).size(), 4u);  // two note-ons, then both note-offs were attempted

  // A recording device failing at the note-offs keeps none from the working playing device.
  fake->SendFailure.clear();
  AllNotesOff();
  Config.PlayingDevice = 1;
  FormKeyDown('Z');
  FormKeyDown('Q');
  fake->ClearLog();
  fake->SendFailure[0] = "Device busy.";
  EXPECT_EQ(MessageOf([] { ReleasePressedNotes(); }), "Device busy.");
  EXPECT_EQ(Sent(1), (Messages{ShortMessageOf(0x80, 36, 100), ShortMessageOf(0x80, 48, 100)}));
  EXPECT_EQ(PressedNotes[36] + PressedNotes[48], 0);
}

TEST_F(EngineTest, WithoutADisplayTheEngineStillPlays) {
  SetNoteDisplay(nullptr);
  Config.RecordingDevice = 0;
  FormKeyDown('Z');
  AllNotesOff();
  WarnNoDevices();
  EXPECT_EQ(Sent(0), (Messages{ShortMessageOf(0x90, 36, 100), ShortMessageOf(0x80, 36, 0)}));
  EXPECT_TRUE(display.Events.empty());
}

TEST_F(EngineTest, ExitClosesTheDevicesStillOpen) {
  Config.RecordingDevice = 0;
  Config.PlayingDevice = 2;
  FormKeyDown('Z');  // held at exit
  CloseDevicesAtExit();
  EXPECT_FALSE(fake->IsOpen(0) || fake->IsOpen(2));
  EXPECT_EQ(fake->CallsOf("close").size(), 2u);
  FreeMidiOutput();
  CloseDevicesAtExit();  // no device set was ever made: nothing to do, nothing made
  EXPECT_FALSE(MidiOutputExists());
}

TEST_F(EngineTest, TwoKeysOnOneNoteAndOrdinaryFunctionKeys) {
  Config.RecordingDevice = 0;
  KeyMap.push_back({'A', 0});   // a second key for Z's note
  KeyMap.push_back({0x79, 2});  // F10 is an ordinary key here
  FormKeyDown('Z');
  FormKeyDown('A');  // the note is already held: nothing
  FormKeyUp('A');    // either key releases it
  FormKeyDown(0x79);
  EXPECT_EQ(Sent(0), (Messages{ShortMessageOf(0x90, 36, 100), ShortMessageOf(0x80, 36, 100),
                               ShortMessageOf(0x90, 38, 100)}));
  EXPECT_EQ(Config.Octave, 3);
}

TEST_F(EngineTest, AnOctaveChangeWithAKeyHeldReleasesThroughTheNewOctave) {
  Config.RecordingDevice = 0;
  FormKeyDown('Z');
  FormKeyDown(VK_F1 + 4);  // octave 4: everything closed and cleared first
  fake->ClearLog();
  FormKeyUp('Z');  // computes note 48, which is not held; the device closed: nothing goes out
  EXPECT_TRUE(fake->Calls.empty());
  EXPECT_EQ(PressedNotes[36], 0);
}

// The notes leave before the keys are drawn, on both devices, down and up.
TEST_F(EngineTest, NotesAreSentBeforeTheKeyIsDrawn) {
  struct CountingDisplay : RecordingDisplay {
    explicit CountingDisplay(const FakeMidiSystem& midi) : fake(midi) {}
    void DrawKeyDown(std::uint8_t) override { Seen("down"); }
    void DrawKeyUp(std::uint8_t) override { Seen("up"); }
    void Seen(const std::string& what) {
      Events.push_back(what + " after " + std::to_string(fake.MessagesTo(0).size()) + "+" +
                       std::to_string(fake.MessagesTo(1).size()));
    }
    const FakeMidiSystem& fake;
  } counting(*fake);
  SetNoteDisplay(&counting);
  Config.RecordingDevice = 0;
  Config.RecordingInstrument = 3;
  Config.PlayingDevice = 1;
  FormKeyDown('Z');
  FormKeyUp('Z');
  EXPECT_EQ(counting.Events, (std::vector<std::string>{"down after 2+1", "up after 3+2"}));
}
