#include "config_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app_error.h"
#include "field_stream.h"
#include "files.h"
#include "keyboard_config.h"
#include "load_limits.h"
#include "temp_program_folder.h"

namespace {

std::string Bytes(const MemoryBuffer& buffer) { return {buffer.Bytes.begin(), buffer.Bytes.end()}; }

std::string Counted(const std::string& s) {
  return std::string(1, static_cast<char>(s.size())) + s;
}

const std::string MinusOne = "\xFF\xFF\xFF\xFF";

class ConfigFile : public ::testing::Test {
 protected:
  void SetUp() override { Config = TKeyboardConfig{}; }
  TempProgramFolder folder;
};

}  // namespace

TEST(SettingsRecord, DefaultsAndTruncation) {
  Config = TKeyboardConfig{};
  SetDefaults();
  EXPECT_EQ(Config.ConfigName, "Default.cfg");
  EXPECT_EQ(Config.SkinFile, "Classic.bmp");
  EXPECT_EQ(Config.SpareDevice, -1);
  EXPECT_EQ(Config.RecordingDevice, -1);
  EXPECT_EQ(Config.PlayingDevice, -1);
  EXPECT_EQ(Config.KeymapFile, "Tracker.key");
  EXPECT_EQ(Config.PatchFile, "Gm.kit");
  EXPECT_EQ(Config.Octave, 3);
  EXPECT_EQ(Config.RecordingInstrument, -1);
  EXPECT_EQ(Config.PlayingInstrument, -1);
  EXPECT_EQ(Config.RecordingChannel, 1);
  EXPECT_EQ(Config.PlayingChannel, 1);

  Config.SkinFile = std::string(300, 's');
  EXPECT_EQ(Config.SkinFile.str(), std::string(255, 's'));
}

TEST_F(ConfigFile, DefaultsAreWrittenByteForByte) {
  SetDefaults();
  WriteConfigFile(folder / "CONFIGS/Default.cfg");
  const std::string expected = Counted("ZVQ_TESSIVARDECK_CONFIGFILE") + Counted("Default.cfg") +
                               Counted("Classic.bmp") + MinusOne + MinusOne + MinusOne +
                               Counted("Tracker.key") + Counted("Gm.kit") + "\x03" + MinusOne +
                               MinusOne + "\x01\x01";
  EXPECT_EQ(expected.size(), 94u);
  EXPECT_EQ(folder.ReadFile("CONFIGS/Default.cfg"), expected);
}

TEST_F(ConfigFile, WriteThenReadRestoresEveryField) {
  SetDefaults();
  Config.ConfigName = "Mine.cfg";
  Config.SkinFile = "Dark.bmp";
  Config.SpareDevice = 7;
  Config.RecordingDevice = 2;
  Config.PlayingDevice = 0;
  Config.KeymapFile = "Piano.key";
  Config.PatchFile = "Other.kit";
  Config.Octave = 5;
  Config.RecordingInstrument = 0;
  Config.PlayingInstrument = 300;
  Config.RecordingChannel = 10;
  Config.PlayingChannel = 16;
  const TKeyboardConfig written = Config;
  WriteConfigFile(folder / "elsewhere.cfg");
  EXPECT_EQ(Config, written);  // writing changes nothing, ConfigName included
  SetDefaults();
  ReadConfigFile(folder / "elsewhere.cfg");
  EXPECT_EQ(Config, written);
}

TEST_F(ConfigFile, WrongMagicGivesDefaultsAndMissingFileKeepsTheRecord) {
  SetDefaults();
  Config.Octave = 7;
  folder.WriteFile("CONFIGS/bad.cfg", Counted("ZVQ_TESSIVARDECK_CONFIGFILf") + Counted("X.cfg"));
  ReadConfigFile(folder / "CONFIGS/bad.cfg");
  EXPECT_EQ(Config.Octave, 3);
  EXPECT_EQ(Config.ConfigName, "Default.cfg");

  Config.Octave = 6;
  const std::string missing = folder / "CONFIGS/none.cfg";
  try {
    ReadConfigFile(missing);
    FAIL() << "no error raised";
  } catch (const AppError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot open file " + missing);
  }
  EXPECT_EQ(Config.Octave, 6);
}

TEST_F(ConfigFile, TruncatedFileFillsTheMissingFieldsWithZeroAndEmpty) {
  folder.WriteFile("CONFIGS/cut.cfg",
                   Counted("ZVQ_TESSIVARDECK_CONFIGFILE") + Counted("Cut.cfg") + Counted("Sk"));
  SetDefaults();
  ReadConfigFile(folder / "CONFIGS/cut.cfg");
  EXPECT_EQ(Config.ConfigName, "Cut.cfg");
  EXPECT_EQ(Config.SkinFile, "Sk");
  EXPECT_EQ(Config.RecordingDevice, 0);
  EXPECT_EQ(Config.KeymapFile, "");
  EXPECT_EQ(Config.PlayingChannel, 0);
}

TEST_F(ConfigFile, FirstRunTakesDefaultsAndWarnsThenExitSavesBothFiles) {
  int warnings = 0;
  LoadStartupConfig([&] { ++warnings; });
  EXPECT_EQ(warnings, 1);
  EXPECT_EQ(Config.ConfigName, "Default.cfg");
  Config.RecordingDevice = 1;
  SaveSessionConfig();
  EXPECT_EQ(folder.ReadFile("setup.ini"), Counted("Default.cfg"));

  Config = TKeyboardConfig{};
  LoadStartupConfig([&] { ++warnings; });
  EXPECT_EQ(warnings, 1);  // the second run finds setup.ini: no warning
  EXPECT_EQ(Config.RecordingDevice, 1);
}

TEST_F(ConfigFile, PointerToMissingConfigOrToTheFolderItselfGivesDefaults) {
  folder.WriteFile("setup.ini", Counted("Gone.cfg"));
  int warnings = 0;
  Config.Octave = 8;
  LoadStartupConfig([&] { ++warnings; });
  EXPECT_EQ(Config.Octave, 3);
  folder.WriteFile("setup.ini", std::string(1, '\0'));  // the empty name: CONFIGS itself
  Config.Octave = 8;
  LoadStartupConfig([&] { ++warnings; });
  EXPECT_EQ(Config.Octave, 3);
  EXPECT_EQ(warnings, 0);
}

TEST_F(ConfigFile, TheStoredNameDecidesWhereTheExitSaves) {
  // A file opened from elsewhere under another name keeps its stored ConfigName.
  SetDefaults();
  Config.Octave = 4;
  WriteConfigFile(folder / "mine.cfg");
  SetDefaults();
  ReadConfigFile(folder / "mine.cfg");
  SaveSessionConfig();
  EXPECT_TRUE(FileExists(folder / "CONFIGS/Default.cfg"));
  EXPECT_FALSE(FileExists(folder / "CONFIGS/mine.cfg"));
  MemoryBuffer saved = LoadFileWhole(folder / "CONFIGS/Default.cfg", ConfigFileLimit);
  EXPECT_EQ(Bytes(saved).size(), 94u);
}

TEST_F(ConfigFile, ASavedNameNeverLeadsOutsideTheConfigsFolder) {
  SetDefaults();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"../../outside.cfg", "outside.cfg"},
      {"/tmp/abs.cfg", "abs.cfg"},
      {"..\\win.cfg", "win.cfg"},
      {"..", "Default.cfg"},
      {"sub/.", "Default.cfg"},
      {"", "Default.cfg"},
      {"Plain.cfg", "Plain.cfg"}};
  for (const auto& [stored, saved] : cases) {
    Config.ConfigName = stored;
    EXPECT_EQ(SessionConfigFileName(), saved) << stored;
  }
  Config.ConfigName = "../../outside.cfg";
  SaveSessionConfig();
  EXPECT_TRUE(FileExists(folder / "CONFIGS/outside.cfg"));
  EXPECT_FALSE(FileExists(folder / "../outside.cfg"));
  EXPECT_EQ(folder.ReadFile("setup.ini"), Counted("outside.cfg"));
  // The record itself keeps what the file said.
  EXPECT_EQ(Config.ConfigName, "../../outside.cfg");
}

TEST_F(ConfigFile, AFailedConfigSaveLeavesThePointerAlone) {
  folder.WriteFile("setup.ini", Counted("Old.cfg"));
  SetDefaults();
  Config.ConfigName = "New.cfg";
  std::filesystem::remove_all(folder / "CONFIGS");
  EXPECT_THROW(SaveSessionConfig(), AppError);
  EXPECT_EQ(folder.ReadFile("setup.ini"), Counted("Old.cfg"));
}
