// The shipped key maps: their exact bytes, and what the program's loader makes of them.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "key_map.h"

namespace {

std::string ReadShipped(const std::string& name) {
  std::ifstream in(std::string(TESSIVAR_DATA_DIR) + "KEYMAPS/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int At(const std::string& bytes, std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); }

struct Key {
  int Code;
  int Note;
};

// The entries of a key map file, checking its frame on the way.
std::vector<Key> Entries(const std::string& bytes) {
  std::vector<Key> keys;
  EXPECT_GE(bytes.size(), 20u);
  if (bytes.size() < 20) return keys;
  EXPECT_EQ(bytes.substr(0, 16), std::string("\x0FZVQ_KEYMAPPING1"));
  const std::uint32_t count = At(bytes, 16) | At(bytes, 17) << 8 | At(bytes, 18) << 16 |
                              static_cast<std::uint32_t>(At(bytes, 19)) << 24;
  EXPECT_EQ(bytes.size(), 20 + 3 * std::size_t{count});
  for (std::size_t i = 20; i + 2 < bytes.size(); i += 3) {
    keys.push_back({At(bytes, i + 1) | At(bytes, i + 2) << 8, At(bytes, i)});
  }
  return keys;
}

constexpr int Comma = 0xBC, Period = 0xBE, Semicolon = 0xBA, Slash = 0xBF;
constexpr int LBracket = 0xDB, RBracket = 0xDD, Equals = 0xBB, Quote = 0xDE;

TEST(ShippedTrackerKeyMap, HoldsTheTwoLetterRowsInOrder) {
  const std::string bytes = ReadShipped("Tracker.key");
  ASSERT_EQ(bytes.size(), 20u + 3 * 37) << "17 keys of the lower row, 20 of the upper";
  EXPECT_EQ(At(bytes, 16), 37);
  // The first entry is Z -> C of the base octave: note byte first, then the key code.
  EXPECT_EQ(At(bytes, 20), 0);
  EXPECT_EQ(At(bytes, 21), 'Z');
  EXPECT_EQ(At(bytes, 22), 0);

  const std::vector<std::pair<int, int>> lower{
      {'Z', 0},    {'S', 1},  {'X', 2},     {'D', 3},        {'C', 4},   {'V', 5},
      {'G', 6},    {'B', 7},  {'H', 8},     {'N', 9},        {'J', 10},  {'M', 11},
      {Comma, 12}, {'L', 13}, {Period, 14}, {Semicolon, 15}, {Slash, 16}};
  const std::vector<std::pair<int, int>> upper{
      {'Q', 12}, {'2', 13}, {'W', 14}, {'3', 15},      {'E', 16},    {'R', 17},     {'5', 18},
      {'T', 19}, {'6', 20}, {'Y', 21}, {'7', 22},      {'U', 23},    {'I', 24},     {'9', 25},
      {'O', 26}, {'0', 27}, {'P', 28}, {LBracket, 29}, {Equals, 30}, {RBracket, 31}};
  std::vector<std::pair<int, int>> expected = lower;
  expected.insert(expected.end(), upper.begin(), upper.end());

  const std::vector<Key> keys = Entries(bytes);
  ASSERT_EQ(keys.size(), expected.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(keys[i].Code, expected[i].first) << "entry " << i;
    EXPECT_EQ(keys[i].Note, expected[i].second) << "entry " << i;
  }
}

TEST(ShippedPianoKeyMap, PlaysOneChromaticRunWithoutGaps) {
  const std::vector<Key> keys = Entries(ReadShipped("Piano.key"));
  ASSERT_EQ(keys.size(), 19u);
  const std::vector<int> codes{'A', 'W', 'S', 'E', 'D', 'F', 'T',       'G',   'Y',     'H',
                               'U', 'J', 'K', 'O', 'L', 'P', Semicolon, Quote, RBracket};
  for (std::size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(keys[i].Code, codes[i]) << "entry " << i;
    EXPECT_EQ(keys[i].Note, static_cast<int>(i)) << "entry " << i;
  }
}

TEST(ShippedKeyMaps, ListEveryKeyOnceAndStayInsideThePicture) {
  for (const char* name : {"Tracker.key", "Piano.key"}) {
    std::set<int> codes;
    for (const Key& key : Entries(ReadShipped(name))) {
      EXPECT_TRUE(codes.insert(key.Code).second) << name << " lists " << key.Code << " twice";
      EXPECT_LE(key.Note, 31) << name << ": the picture highlights relative notes 0..31";
      EXPECT_NE(key.Code, 0x20) << name << ": Space is all notes off";
      EXPECT_FALSE(key.Code >= 0x70 && key.Code <= 0x78) << name << ": F1..F9 set the octave";
    }
  }
}

TEST(ShippedKeyMaps, LoadIntoTheProgramsTable) {
  LoadKeyMap(std::string(TESSIVAR_DATA_DIR) + "KEYMAPS/Tracker.key");
  EXPECT_EQ(KeyMap.size(), 37u);
  EXPECT_EQ(LookupNote('Z'), 0);
  EXPECT_EQ(LookupNote(Comma), 12);
  EXPECT_EQ(LookupNote('Q'), 12);
  EXPECT_EQ(LookupNote(RBracket), 31);
  EXPECT_EQ(LookupNote('A'), 255) << "not in the tracker layout";

  LoadKeyMap(std::string(TESSIVAR_DATA_DIR) + "KEYMAPS/Piano.key");
  EXPECT_EQ(KeyMap.size(), 19u);
  EXPECT_EQ(LookupNote('A'), 0);
  EXPECT_EQ(LookupNote('K'), 12);
  EXPECT_EQ(LookupNote('Z'), 255) << "not in the piano layout";
  KeyMap.clear();
}

}  // namespace
