// The readable key map source and its translation into the binary file.
#include "keymap_source.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

using keymap_source::Encode;
using keymap_source::Entry;
using keymap_source::KeyCodeOf;
using keymap_source::Parse;

TEST(KeymapSourceKeyNames, LettersDigitsPunctuationAndHex) {
  EXPECT_EQ(KeyCodeOf("Z"), 0x5A);
  EXPECT_EQ(KeyCodeOf("z"), 0x5A);
  EXPECT_EQ(KeyCodeOf("A"), 0x41);
  EXPECT_EQ(KeyCodeOf("0"), 0x30) << "a single digit is the digit key, not a number";
  EXPECT_EQ(KeyCodeOf("9"), 0x39);
  EXPECT_EQ(KeyCodeOf("COMMA"), 0xBC);
  EXPECT_EQ(KeyCodeOf("comma"), 0xBC);
  EXPECT_EQ(KeyCodeOf(","), 0xBC);
  EXPECT_EQ(KeyCodeOf("PERIOD"), 0xBE);
  EXPECT_EQ(KeyCodeOf("SEMICOLON"), 0xBA);
  EXPECT_EQ(KeyCodeOf("SLASH"), 0xBF);
  EXPECT_EQ(KeyCodeOf("LBRACKET"), 0xDB);
  EXPECT_EQ(KeyCodeOf("]"), 0xDD);
  EXPECT_EQ(KeyCodeOf("EQUALS"), 0xBB);
  EXPECT_EQ(KeyCodeOf("MINUS"), 0xBD);
  EXPECT_EQ(KeyCodeOf("'"), 0xDE);
  EXPECT_EQ(KeyCodeOf("BACKQUOTE"), 0xC0);
  EXPECT_EQ(KeyCodeOf("\\"), 0xDC);
  EXPECT_EQ(KeyCodeOf("0xBC"), 0xBC);
  EXPECT_EQ(KeyCodeOf("0X7fff"), 0x7FFF);
}

TEST(KeymapSourceKeyNames, RejectsUnknownNamesAndCodesOutOfRange) {
  EXPECT_FALSE(KeyCodeOf("ZZ"));
  EXPECT_FALSE(KeyCodeOf("?"));
  EXPECT_FALSE(KeyCodeOf(""));
  EXPECT_FALSE(KeyCodeOf("0x"));
  EXPECT_FALSE(KeyCodeOf("0x0"));
  EXPECT_FALSE(KeyCodeOf("0x8000"));
  EXPECT_FALSE(KeyCodeOf("0x1G"));
  EXPECT_FALSE(KeyCodeOf("0x00001"));
  EXPECT_FALSE(KeyCodeOf("COMMAS"));
}

TEST(KeymapSourceParse, KeepsLineOrderAndSkipsCommentsAndBlankLines) {
  const auto entries = Parse(
      "# a comment line\n"
      "\n"
      "Z 0\r\n"
      "  COMMA\t12   # trailing comment\n"
      "0xDD 255\n"
      "   \n"
      "q 7");
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].KeyCode, 0x5A);
  EXPECT_EQ(entries[0].Note, 0);
  EXPECT_EQ(entries[1].KeyCode, 0xBC);
  EXPECT_EQ(entries[1].Note, 12);
  EXPECT_EQ(entries[2].KeyCode, 0xDD);
  EXPECT_EQ(entries[2].Note, 255);
  EXPECT_EQ(entries[3].KeyCode, 0x51);
  EXPECT_EQ(entries[3].Note, 7);
}

// The message of the error Parse raises for text, or "" when it raises none.
std::string ErrorOf(const std::string& text) {
  try {
    Parse(text);
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "";
}

TEST(KeymapSourceParse, ReportsTheFirstBadLine) {
  EXPECT_EQ(ErrorOf("Z 0\nFOO 1\n"), "line 2: unknown key \"FOO\"");
  EXPECT_EQ(ErrorOf("Z 256\n"), "line 1: the note must be a number from 0 to 255, not \"256\"");
  EXPECT_EQ(ErrorOf("Z -1\n"), "line 1: the note must be a number from 0 to 255, not \"-1\"");
  EXPECT_EQ(ErrorOf("Z 1x\n"), "line 1: the note must be a number from 0 to 255, not \"1x\"");
  EXPECT_EQ(ErrorOf("\nZ\n"), "line 2: expected a key name and a note");
  EXPECT_EQ(ErrorOf("Z 1 2\n"), "line 1: expected a key name and a note");
  EXPECT_EQ(ErrorOf("Z 0\nX 1\nz 2\n"), "line 3: key \"z\" is already listed on line 1");
  EXPECT_EQ(ErrorOf(", 0\n0xBC 1\n"), "line 2: key \"0xBC\" is already listed on line 1");
  EXPECT_EQ(ErrorOf("# nothing but comments\n\n"), "the key map lists no keys");
  EXPECT_EQ(ErrorOf(""), "the key map lists no keys");
}

TEST(KeymapSourceEncode, WritesMagicCountThenNoteAndKeyCodePerEntry) {
  const std::string bytes = Encode({Entry{0x5A, 0}, Entry{0xBC, 12}, Entry{0x1234, 200}});
  const std::string expected = std::string(
                                   "\x0F"
                                   "ZVQ_KEYMAPPING1") +
                               std::string("\x03\x00\x00\x00", 4) + std::string("\x00\x5A\x00", 3) +
                               std::string("\x0C\xBC\x00", 3) + std::string("\xC8\x34\x12", 3);
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(bytes.size(), 20u + 3 * 3);
}

TEST(KeymapSourceEncode, CountIsLittleEndianBeyondOneByte) {
  std::vector<Entry> entries(300, Entry{0x41, 1});
  const std::string bytes = Encode(entries);
  ASSERT_EQ(bytes.size(), 20u + 3 * 300);
  EXPECT_EQ(bytes.substr(16, 4), std::string("\x2C\x01\x00\x00", 4));
}

}  // namespace
