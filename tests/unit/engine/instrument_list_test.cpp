#include "instrument_list.h"

#include <gtest/gtest.h>

#include "app_error.h"
#include "load_limits.h"
#include "temp_program_folder.h"

using Names = std::vector<std::string>;

TEST(InstrumentList, LineEndsAreCrLfOrCrLf) {
  EXPECT_EQ(SplitInstrumentNames("Piano\r\nOrgan\nFlute\rHarp"),
            (Names{"Piano", "Organ", "Flute", "Harp"}));
  EXPECT_EQ(SplitInstrumentNames("A\n\rB"), (Names{"A", "", "B"}));  // LF then CR: two line ends
}

TEST(InstrumentList, FinalLineEndAddsNoEntryButEmptyLinesStay) {
  EXPECT_EQ(SplitInstrumentNames("A\r\n"), (Names{"A"}));
  EXPECT_EQ(SplitInstrumentNames("A\n\nC\n"), (Names{"A", "", "C"}));
  EXPECT_EQ(SplitInstrumentNames("\n"), (Names{""}));
  EXPECT_TRUE(SplitInstrumentNames("").empty());
  EXPECT_EQ(SplitInstrumentNames("  spaced  \n"), (Names{"  spaced  "}));
}

TEST(InstrumentList, NulEndsTheText) {
  EXPECT_EQ(SplitInstrumentNames(std::string_view("A\nB\0C\nD", 7)), (Names{"A", "B"}));
}

TEST(InstrumentList, FileIsReadWholeAndMissingFileRaises) {
  TempProgramFolder folder;
  folder.WriteFile("PATCHES/Gm.kit", "Acoustic Grand Piano\r\nBright Acoustic Piano\r\n");
  EXPECT_EQ(ReadInstrumentList(folder / "PATCHES/Gm.kit"),
            (Names{"Acoustic Grand Piano", "Bright Acoustic Piano"}));
  EXPECT_THROW(ReadInstrumentList(folder / "PATCHES/none.kit"), AppError);
}

TEST(InstrumentList, AnyFileGivesAListTheMenusCanShow) {
  // Positions past 256 stay (they raise the range error when played); a flood of empty
  // lines stops at the bound.
  const Names flood = SplitInstrumentNames(std::string(5'000'000, '\n'));
  EXPECT_EQ(flood.size(), MaxInstrumentNames);
  EXPECT_GT(MaxInstrumentNames, 256u);
  std::string numbered;
  for (int i = 0; i < 2000; ++i) numbered += std::to_string(i) + "\r\n";
  const Names names = SplitInstrumentNames(numbered);
  ASSERT_EQ(names.size(), MaxInstrumentNames);
  EXPECT_EQ(names[300], "300");
  EXPECT_EQ(names.back(), std::to_string(MaxInstrumentNames - 1));
#ifndef _WIN32
  // A name longer than any real one is cut between characters ("é" is two bytes in UTF-8;
  // on Windows names are in the ANSI code page).
  std::string accents;
  for (int i = 0; i < 200; ++i) accents += "\xC3\xA9";
  const Names longName = SplitInstrumentNames(accents + "\nNext");
  EXPECT_EQ(longName[0], accents.substr(0, 254));
  EXPECT_EQ(longName[1], "Next");
#endif

  // A file far larger than any list is refused as a whole.
  TempProgramFolder folder;
  folder.WriteFile("PATCHES/flood.kit", std::string(InstrumentListFileLimit + 1, '\n'));
  EXPECT_THROW(ReadInstrumentList(folder / "PATCHES/flood.kit"), AppError);
}
