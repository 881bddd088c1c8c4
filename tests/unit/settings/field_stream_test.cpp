#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "app_error.h"
#include "field_stream.h"
#include "raised_message.h"
#include "short_string.h"
#include "temp_program_folder.h"

namespace {

MemoryBuffer BufferOf(std::vector<std::uint8_t> bytes) { return MemoryBuffer{std::move(bytes), 0}; }

}  // namespace

TEST(FieldStream, WritersProduceLittleEndianFieldsWithoutPadding) {
  MemoryBuffer buffer;
  WriteShortString(buffer, "");
  WriteInt32(buffer, -1);
  WriteInt32(buffer, 0x01020304);
  WriteInt16(buffer, -2);
  WriteByte(buffer, 0xAB);
  WriteShortString(buffer, "Hi");
  const std::vector<std::uint8_t> expected = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02,
                                              0x01, 0xFE, 0xFF, 0xAB, 0x02, 'H',  'i'};
  EXPECT_EQ(buffer.Bytes, expected);
}

TEST(FieldStream, ReadersRoundTripAndAdvance) {
  MemoryBuffer buffer;
  WriteInt32(buffer, -123456789);
  WriteInt16(buffer, -32768);
  WriteByte(buffer, 200);
  WriteShortString(buffer, "Tracker.key");
  EXPECT_EQ(ReadInt32(buffer), -123456789);
  EXPECT_EQ(ReadInt16(buffer), -32768);
  EXPECT_EQ(ReadByte(buffer), 200);
  EXPECT_EQ(ReadShortString(buffer, 255), "Tracker.key");
  EXPECT_EQ(buffer.Position, buffer.Bytes.size());
}

TEST(FieldStream, ShortStringMaxCutsTheResultButConsumesEveryCharacter) {
  MemoryBuffer buffer;
  WriteShortString(buffer, std::string(200, 'x'));
  WriteByte(buffer, 7);
  EXPECT_EQ(ReadShortString(buffer, 255).size(), 200u);
  buffer.Position = 0;
  EXPECT_EQ(ReadShortString(buffer, 10), std::string(10, 'x'));
  EXPECT_EQ(buffer.Position, 201u);
  EXPECT_EQ(ReadByte(buffer), 7);
}

TEST(FieldStream, ReadersStopAtTheEndOfTheBuffer) {
  MemoryBuffer empty;
  EXPECT_EQ(ReadShortString(empty, 255), "");
  EXPECT_EQ(ReadInt32(empty), 0);
  EXPECT_EQ(ReadInt16(empty), 0);
  EXPECT_EQ(ReadByte(empty), 0);
  EXPECT_EQ(empty.Position, 0u);

  // A string whose length byte promises more than the buffer holds.
  MemoryBuffer cut = BufferOf({10, 'a', 'b', 'c'});
  EXPECT_EQ(ReadShortString(cut, 255), "abc");
  EXPECT_EQ(cut.Position, 4u);

  // An int32 with only two bytes left yields 0 and leaves the position at the end.
  MemoryBuffer partial = BufferOf({1, 2});
  EXPECT_EQ(ReadInt32(partial), 0);
  EXPECT_EQ(partial.Position, 2u);
  EXPECT_EQ(ReadByte(partial), 0);
}

TEST(FieldStream, WholeFileLoadAndSave) {
  TempProgramFolder folder;
  MemoryBuffer buffer = BufferOf({1, 2, 3, 0, 255});
  SaveFileWhole(buffer, folder / "data.bin");
  MemoryBuffer loaded = LoadFileWhole(folder / "data.bin", 64);
  EXPECT_EQ(loaded.Bytes, buffer.Bytes);
  EXPECT_EQ(loaded.Position, 0u);

  // Replacing truncates to the new content.
  SaveFileWhole(BufferOf({9}), folder / "data.bin");
  EXPECT_EQ(LoadFileWhole(folder / "data.bin", 64).Bytes, std::vector<std::uint8_t>{9});
}

TEST(FieldStream, WholeFileErrorsCarryTheProgramsMessages) {
  TempProgramFolder folder;
  const std::string missing = folder / "missing.bin";
  EXPECT_EQ(MessageOf([&] { LoadFileWhole(missing, 64); }), "Cannot open file " + missing);
  // A folder is not a file that can be opened.
  EXPECT_EQ(MessageOf([&] { LoadFileWhole(folder / "CONFIGS", 64); }),
            "Cannot open file " + (folder / "CONFIGS"));
  const std::string noFolder = folder / "NOFOLDER/x.cfg";
  EXPECT_EQ(MessageOf([&] { SaveFileWhole(BufferOf({1}), noFolder); }),
            "Cannot create file " + noFolder);
}

#ifndef _WIN32
TEST(FieldStream, AFailedSaveLeavesTheOldFileWholeAndNoTemporaryBehind) {
  TempProgramFolder folder;
  const std::string target = folder / "CONFIGS/keep.cfg";
  SaveFileWhole(BufferOf({1, 2, 3}), target);

  // A file size limit makes the write fail part way, as a full disk does.
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = previous;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string message =
      MessageOf([&] { SaveFileWhole(BufferOf(std::vector<std::uint8_t>(100000, 7)), target); });
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previousSignal);

  EXPECT_EQ(message, "Stream write error");
  EXPECT_EQ(LoadFileWhole(target, 64).Bytes, (std::vector<std::uint8_t>{1, 2, 3}));
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator(folder / "CONFIGS")) {
    ++files;
  }
  EXPECT_EQ(files, 1u);
}
#endif

TEST(ShortStrings, ALongNameIsCutBetweenCharactersWithin255Bytes) {
#ifdef _WIN32
  GTEST_SKIP() << "names are in the ANSI code page on Windows, not UTF-8";
#endif
  const std::string e = "\xC3\xA9";             // two bytes in UTF-8
  const std::string clef = "\xF0\x9D\x84\x9E";  // four bytes
  std::string accents = "a";
  for (int i = 0; i < 127; ++i) accents += e;
  ShortString name = std::string_view(accents);
  EXPECT_EQ(name.size(), 255u);  // fits exactly: kept whole
  name = std::string(254, 'x') + e;
  EXPECT_EQ(name.str(), std::string(254, 'x'));
  for (std::size_t ascii : {252u, 253u, 254u}) {
    name = std::string(ascii, 'x') + clef + "y";
    EXPECT_EQ(name.str(), std::string(ascii, 'x')) << ascii;
  }
  name = std::string(251, 'x') + clef + "y";
  EXPECT_EQ(name.str(), std::string(251, 'x') + clef);
  // Bytes that are no UTF-8 (a Latin-1 name) are cut at 255 as before.
  name = std::string(300, '\xE9');
  EXPECT_EQ(name.size(), 255u);

  MemoryBuffer buffer;
  WriteShortString(buffer, std::string(254, 'x') + e);
  EXPECT_EQ(buffer.Bytes.size(), 255u);
  EXPECT_EQ(buffer.Bytes[0], 254);
}
