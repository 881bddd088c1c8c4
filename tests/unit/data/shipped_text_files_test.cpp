// The shipped text files: the instrument list, the homepage shortcut and the help text.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string ReadShipped(const std::string& relative) {
  std::ifstream in(std::string(TESSIVAR_DATA_DIR) + relative, std::ios::binary);
  EXPECT_TRUE(in.good()) << relative << " is missing";
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Lines as the program splits an instrument list: CR, LF or CR LF end a line, a NUL ends
// the text, and a line end at the very end adds no empty line.
std::vector<std::string> InstrumentLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;
  for (std::size_t i = 0; i < text.size() && text[i] != '\0'; ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.push_back(line);
      line.clear();
      open = false;
    } else {
      line += text[i];
      open = true;
    }
  }
  if (open) lines.push_back(line);
  return lines;
}

TEST(ShippedInstrumentList, NamesTheGeneralMidiProgramsInOrder) {
  const std::string text = ReadShipped("PATCHES/Gm.kit");
  EXPECT_EQ(text.find('\0'), std::string::npos);
  const std::vector<std::string> names = InstrumentLines(text);
  ASSERT_EQ(names.size(), 128u);
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_FALSE(names[i].empty()) << "program " << i;
    EXPECT_EQ(names[i].find('\t'), std::string::npos) << "program " << i;
    EXPECT_NE(names[i].front(), ' ') << "program " << i;
    EXPECT_NE(names[i].back(), ' ') << "program " << i;
  }
  // One program from each end and from each family boundary.
  EXPECT_EQ(names[0], "Acoustic Grand Piano");
  EXPECT_EQ(names[24], "Acoustic Guitar (nylon)");
  EXPECT_EQ(names[40], "Violin");
  EXPECT_EQ(names[56], "Trumpet");
  EXPECT_EQ(names[73], "Flute");
  EXPECT_EQ(names[80], "Lead 1 (square)");
  EXPECT_EQ(names[118], "Synth Drum");
  EXPECT_EQ(names[127], "Gunshot");
}

TEST(ShippedHomepageShortcut, IsAnInternetShortcutWithCrLfLines) {
  const std::string text = ReadShipped("zembrell.url");
  EXPECT_EQ(text.rfind("[InternetShortcut]\r\n", 0), 0u);
  const std::size_t url = text.find("\r\nURL=https://");
  ASSERT_NE(url, std::string::npos);
  EXPECT_GT(text.find('.', url), url) << "a host name";
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      EXPECT_EQ(text[i - 1], '\r') << "line end at " << i;
    }
  }
}

TEST(ShippedHelp, ExplainsTheKeysAndEveryMenu) {
  const std::string text = ReadShipped("HELP/help.hlp");
  for (const char* words : {"Space", "F1", "F9", "all notes off", "File", "Setup", "Devices",
                            "Tools", "Help", "Keymapping", "Output Device", "CONFIGS"}) {
    EXPECT_NE(text.find(words), std::string::npos) << words;
  }
}

}  // namespace
