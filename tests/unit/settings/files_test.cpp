#include "files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "temp_program_folder.h"

TEST(Files, ProgramFolderAndSubFoldersEndInASeparator) {
#ifndef _WIN32  // Windows turns "/" into "\\" (tests/unit/windows)
  SetProgramFolder("/opt/tessivar");
  EXPECT_EQ(ProgramFolder(), std::string("/opt/tessivar") + PathSeparator);
  SetProgramFolder("/opt/tessivar/");
  EXPECT_EQ(ProgramFolder(), "/opt/tessivar/");
#endif
  EXPECT_EQ(SubFolder("CONFIGS"), std::string("CONFIGS") + PathSeparator);
}

TEST(Files, AFolderIsNotAFile) {
  TempProgramFolder folder;
  EXPECT_FALSE(FileExists(folder / "CONFIGS"));
  EXPECT_FALSE(FileExists(folder / "CONFIGS/"));
  EXPECT_FALSE(FileExists(folder / "nothing"));
  folder.WriteFile("setup.ini", "x");
  EXPECT_TRUE(FileExists(folder / "setup.ini"));
  EXPECT_TRUE(DeleteFileAt(folder / "setup.ini"));
  EXPECT_FALSE(FileExists(folder / "setup.ini"));
  EXPECT_FALSE(DeleteFileAt(folder / "setup.ini"));
}

TEST(Files, SearchSkipsFoldersIgnoresCaseAndSortsCaseInsensitively) {
  TempProgramFolder folder;
  folder.WriteFile("SKINS/b.bmp", "");
  folder.WriteFile("SKINS/A.BMP", "");
  folder.WriteFile("SKINS/c.Bmp", "");
  folder.WriteFile("SKINS/notes.txt", "");
  folder.WriteFile("SKINS/x.bmp.bak", "");
  std::filesystem::create_directories(folder / "SKINS/folder.bmp");
  EXPECT_EQ(FindFiles(folder / "SKINS/*.bmp"),
            (std::vector<std::string>{"A.BMP", "b.bmp", "c.Bmp"}));
  EXPECT_EQ(FindFiles(folder / "SKINS/?.bmp").size(), 3u);
  EXPECT_EQ(FindFiles(folder / "SKINS/*"),
            (std::vector<std::string>{"A.BMP", "b.bmp", "c.Bmp", "notes.txt", "x.bmp.bak"}));
  EXPECT_TRUE(FindFiles(folder / "MISSING/*.bmp").empty());
}

TEST(Files, NameComparisonUpperCasesAsciiOnly) {
  EXPECT_EQ(AsciiUpper("classic.bmp"), "CLASSIC.BMP");
  EXPECT_EQ(AsciiUpper("\xe9t\xe9"), "\xe9T\xe9");  // 8-bit letters are left alone
  EXPECT_TRUE(SameNameIgnoringCase("Classic.BMP", "classic.bmp"));
  EXPECT_FALSE(SameNameIgnoringCase("Classic.bmp", "Classic.bmp "));
}

TEST(Files, DataFilesAreFoundWhateverTheLetterCase) {
  TempProgramFolder folder;
  folder.WriteFile("SKINS/Classic.bmp", "x");
  folder.WriteFile("SKINS/classic.BMP.bak", "x");
  const std::string skins = folder / "SKINS/";
  EXPECT_EQ(DataFilePath(skins, "Classic.bmp"), skins + "Classic.bmp");
  EXPECT_EQ(DataFilePath(skins, "CLASSIC.BMP"), skins + "Classic.bmp");
  EXPECT_EQ(DataFilePath(skins, "Missing.bmp"), skins + "Missing.bmp");  // as given
  std::filesystem::create_directories(folder / "SKINS/FOLDER.BMP");
  EXPECT_EQ(DataFilePath(skins, "folder.bmp"), skins + "folder.bmp");  // folders do not count
  EXPECT_EQ(DataFilePath(folder / "NOFOLDER/", "a.bmp"), folder / "NOFOLDER/a.bmp");
}
