#include "key_names.h"

#include <gtest/gtest.h>

TEST(KeyNames, NamesAndLabelsOfKeyCodes) {
  EXPECT_EQ(VirtualKeyName('Z'), "Z");
  EXPECT_EQ(VirtualKeyName(0xBC), "VK_OEM_COMMA");
  EXPECT_EQ(VirtualKeyName(0x87), "VK_F24");
  EXPECT_EQ(VirtualKeyName(0x65), "VK_NUMPAD5");
  EXPECT_EQ(VirtualKeyName(0x07), "");
  EXPECT_EQ(VirtualKeyLabel(0xDC), "\\");
  EXPECT_EQ(VirtualKeyLabel(0x20), "SPACE");
  EXPECT_EQ(VirtualKeyLabel(0x12), "ALT");
  EXPECT_EQ(VirtualKeyLabel(0x07), "0x07");
  EXPECT_EQ(HexCode(0x5A), "5A");
}

TEST(KeyNames, Notes) {
  EXPECT_EQ(MidiNoteName(60), "C4");
  EXPECT_EQ(MidiNoteName(0), "C-1");
  EXPECT_EQ(MidiNoteName(127), "G9");
  EXPECT_EQ(MidiNoteName(128), "");
  EXPECT_EQ(PitchClassName(13), "C#");
}
