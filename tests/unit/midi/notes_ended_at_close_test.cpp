#include "notes_ended_at_close.h"

#include <gtest/gtest.h>

#include "fake_midi_system.h"

using Messages = std::vector<std::uint32_t>;

// What a closing port leaves sounding on the instrument behind it is ended first: the notes
// still on, per channel, and nothing that was already ended.
TEST(NotesEndedAtClose, ClosingADeviceEndsTheNotesStillOnThroughIt) {
  auto owned = std::make_unique<FakeMidiSystem>(std::vector<std::string>{"Port A", "Port B"});
  FakeMidiSystem& fake = *owned;
  auto system = EndingNotesAtClose(std::move(owned));
  MidiHandle a = 0, b = 0;
  ASSERT_EQ(system->Open(0, a), MMSYSERR_NOERROR);
  ASSERT_EQ(system->Open(1, b), MMSYSERR_NOERROR);
  for (const std::uint32_t message :
       {ShortMessageOf(0xC0, 5, 0), ShortMessageOf(0x90, 60, 100), ShortMessageOf(0x91, 61, 100),
        ShortMessageOf(0x90, 62, 100), ShortMessageOf(0x80, 60, 100),
        ShortMessageOf(0x90, 62, 0)}) {  // a note-on of velocity 0 ends a note too
    ASSERT_EQ(system->ShortMessage(a, message), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(system->ShortMessage(b, ShortMessageOf(0x90, 70, 100)), MMSYSERR_NOERROR);
  fake.ClearLog();

  ASSERT_EQ(system->Close(a), MMSYSERR_NOERROR);
  EXPECT_EQ(fake.MessagesTo(0), (Messages{ShortMessageOf(0x81, 61, 0)}));
  EXPECT_EQ(fake.CallsOf("close").size(), 1u);
  EXPECT_TRUE(fake.MessagesTo(1).empty());

  // Reopened, it starts with nothing on; a failing close ends the notes all the same.
  ASSERT_EQ(system->Open(0, a), MMSYSERR_NOERROR);
  fake.ClearLog();
  EXPECT_EQ(system->Close(a), MMSYSERR_NOERROR);
  EXPECT_TRUE(fake.MessagesTo(0).empty());
  fake.CloseResult[1] = MMSYSERR_ERROR;
  EXPECT_EQ(system->Close(b), MMSYSERR_ERROR);
  EXPECT_EQ(fake.MessagesTo(1), (Messages{ShortMessageOf(0x80, 70, 0)}));
}
