#include "key_map.h"

#include <gtest/gtest.h>

#include "app_error.h"
#include "field_stream.h"
#include "temp_program_folder.h"

namespace {

struct Entry {
  std::uint8_t note;
  std::int16_t key;
};

std::string KeyMapFile(std::int32_t count, const std::vector<Entry>& entries,
                       const std::string& magic = KeyMapMagic) {
  MemoryBuffer buffer;
  WriteShortString(buffer, magic);
  WriteInt32(buffer, count);
  for (const Entry& entry : entries) {
    WriteByte(buffer, entry.note);
    WriteInt16(buffer, entry.key);
  }
  return {buffer.Bytes.begin(), buffer.Bytes.end()};
}

class KeyMapFiles : public ::testing::Test {
 protected:
  std::string Load(const std::string& bytes) {
    folder.WriteFile("KEYMAPS/test.key", bytes);
    LoadKeyMap(folder / "KEYMAPS/test.key");
    return folder / "KEYMAPS/test.key";
  }
  TempProgramFolder folder;
};

}  // namespace

TEST_F(KeyMapFiles, EntriesAreNoteThenKeyCodeInFileOrder) {
  const std::string bytes = KeyMapFile(3, {{0, 'Z'}, {12, 'Q'}, {255, 0x00BC}});
  EXPECT_EQ(bytes.size(), 20u + 3 * 3);
  Load(bytes);
  ASSERT_EQ(KeyMap.size(), 3u);
  EXPECT_EQ(KeyMap[2].KeyCode, 0xBC);
  EXPECT_EQ(KeyMap[2].Note, 255);
  EXPECT_EQ(LookupNote('Z'), 0);
  EXPECT_EQ(LookupNote('Q'), 12);
  EXPECT_EQ(LookupNote(0xBC), 255);
  EXPECT_EQ(LookupNote('A'), 255);
}

TEST_F(KeyMapFiles, FirstEntryOfADuplicatedKeyWins) {
  Load(KeyMapFile(2, {{5, 'A'}, {9, 'A'}}));
  EXPECT_EQ(LookupNote('A'), 5);
}

TEST_F(KeyMapFiles, KeyCodesCompareAsSixteenBits) {
  Load(KeyMapFile(1, {{7, -1}}));
  EXPECT_EQ(LookupNote(0xFFFF), 7);
}

TEST_F(KeyMapFiles, WrongMagicOrNonPositiveCountGivesAnEmptyTable) {
  Load(KeyMapFile(1, {{1, 'A'}}));
  ASSERT_EQ(KeyMap.size(), 1u);
  Load(KeyMapFile(1, {{1, 'A'}}, "ZVQ_KEYMAPPING2"));
  EXPECT_TRUE(KeyMap.empty());
  Load(KeyMapFile(0, {{1, 'A'}}));
  EXPECT_TRUE(KeyMap.empty());
  Load(KeyMapFile(-5, {{1, 'A'}}));
  EXPECT_TRUE(KeyMap.empty());
  EXPECT_EQ(LookupNote('A'), 255);
}

TEST_F(KeyMapFiles, AHugeCountLoadsOnlyTheEntriesPresent) {
  Load(KeyMapFile(2000000000, {}));
  EXPECT_TRUE(KeyMap.empty());
  Load(KeyMapFile(2000000000, {{3, 'S'}, {4, 'D'}}) + "\x01");  // a stray byte after two entries
  ASSERT_EQ(KeyMap.size(), 2u);
  EXPECT_EQ(LookupNote('D'), 4);
  // A count smaller than the file holds reads only that many.
  Load(KeyMapFile(1, {{3, 'S'}, {4, 'D'}}));
  EXPECT_EQ(KeyMap.size(), 1u);
  EXPECT_EQ(LookupNote('D'), 255);
}

TEST_F(KeyMapFiles, AMissingFileRaisesAndEmptiesTheTable) {
  Load(KeyMapFile(1, {{1, 'A'}}));
  const std::string missing = folder / "KEYMAPS/none.key";
  try {
    LoadKeyMap(missing);
    FAIL() << "no error raised";
  } catch (const AppError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot open file " + missing);
  }
  EXPECT_TRUE(KeyMap.empty());
}
