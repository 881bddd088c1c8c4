#include <gtest/gtest.h>

#include "app_error.h"
#include "key_map.h"
#include "temp_program_folder.h"

namespace {

const std::string kMagic = std::string("\x0F") + "ZVQ_KEYMAPPING1";

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes += static_cast<char>(value);
  return bytes;
}

class KeyMapSaving : public ::testing::Test {
 protected:
  std::string Save(const std::vector<TKeyMapEntry>& entries, const std::string& name = "made.key") {
    SaveKeyMap(folder / ("KEYMAPS/" + name), entries);
    return folder.ReadFile("KEYMAPS/" + name);
  }
  TempProgramFolder folder;
};

}  // namespace

TEST_F(KeyMapSaving, FilesAreByteExact) {
  EXPECT_EQ(Save({}), kMagic + Bytes({0, 0, 0, 0}));
  EXPECT_EQ(Save({{'Z', 0}}), kMagic + Bytes({1, 0, 0, 0, 0x00, 0x5A, 0x00}));
  // Note first, then the key code little-endian; 16-bit codes and notes up to 255 kept.
  EXPECT_EQ(
      Save({{'Q', 12}, {static_cast<std::int16_t>(0xBC), 255}, {-1, 40}, {'Q', 3}}),
      kMagic + Bytes({4, 0, 0, 0, 12, 0x51, 0x00, 255, 0xBC, 0x00, 40, 0xFF, 0xFF, 3, 0x51, 0x00}));
}

TEST_F(KeyMapSaving, RoundTripThroughTheMainProgramsLookup) {
  const std::vector<TKeyMapEntry> entries = {
      {'Z', 0}, {'S', 1}, {static_cast<std::int16_t>(0xBC), 12}, {'Z', 7}, {0x20, 200}};
  Save(entries);
  LoadKeyMap(folder / "KEYMAPS/made.key");
  ASSERT_EQ(KeyMap.size(), entries.size());
  EXPECT_EQ(LookupNote('Z'), 0);  // the first entry of a key wins
  EXPECT_EQ(LookupNote('S'), 1);
  EXPECT_EQ(LookupNote(0xBC), 12);
  EXPECT_EQ(LookupNote(0x20), 200);
  EXPECT_EQ(LookupNote('X'), 255);

  const KeyMapFileReading reading = ReadKeyMapFile(folder / "KEYMAPS/made.key");
  EXPECT_EQ(reading.State, KeyMapFileState::Whole);
  ASSERT_EQ(reading.Entries.size(), entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(reading.Entries[i].KeyCode, entries[i].KeyCode);
    EXPECT_EQ(reading.Entries[i].Note, entries[i].Note);
  }
}

TEST_F(KeyMapSaving, ReadingTellsWhatIsWrongWithAFile) {
  folder.WriteFile("KEYMAPS/other.key",
                   std::string("\x0F") + "ZVQ_KEYMAPPING2" + Bytes({1, 0, 0, 0, 5, 'A', 0}));
  EXPECT_EQ(ReadKeyMapFile(folder / "KEYMAPS/other.key").State, KeyMapFileState::WrongMagic);
  EXPECT_TRUE(ReadKeyMapFile(folder / "KEYMAPS/other.key").Entries.empty());

  folder.WriteFile("KEYMAPS/none.key", kMagic + Bytes({0, 0, 0, 0, 5, 'A', 0}));
  EXPECT_EQ(ReadKeyMapFile(folder / "KEYMAPS/none.key").State, KeyMapFileState::NoEntries);

  // Three entries declared, two and a half present: the two whole ones.
  folder.WriteFile("KEYMAPS/short.key", kMagic + Bytes({3, 0, 0, 0, 5, 'A', 0, 6, 'B', 0, 7, 'C'}));
  const KeyMapFileReading reading = ReadKeyMapFile(folder / "KEYMAPS/short.key");
  EXPECT_EQ(reading.State, KeyMapFileState::Short);
  EXPECT_EQ(reading.DeclaredCount, 3);
  ASSERT_EQ(reading.Entries.size(), 2u);
  EXPECT_EQ(reading.Entries[1].KeyCode, 'B');

  EXPECT_THROW(ReadKeyMapFile(folder / "KEYMAPS/missing.key"), AppError);
}

TEST_F(KeyMapSaving, AFailedSaveSaysWhichFile) {
  const std::string target = folder / "NOWHERE/new.key";
  try {
    SaveKeyMap(target, {{'C', 3}});
    ADD_FAILURE() << "a key map was written into a missing folder";
  } catch (const AppError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot create file " + target);
  }
}
