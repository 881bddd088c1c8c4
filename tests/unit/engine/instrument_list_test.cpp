#include "instrument_list.h"

#include <gtest/gtest.h>

#include "app_error.h"
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
