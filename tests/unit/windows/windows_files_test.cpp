// Paths and data files on a Windows file system: "\" separators, names that differ only
// in letter case, and file names in the ANSI code page.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config_file.h"
#include "field_stream.h"
#include "files.h"
#include "key_map.h"
#include "keyboard_config.h"
#include "raised_message.h"
#include "temp_program_folder.h"

namespace {

// The names in a folder, in byte order, as the platform's own ANSI search gives them.
std::vector<std::string> AnsiListing(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

void CreateAnsiFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_EQ(written, bytes.size());
}

// A word with letters outside ASCII in the ANSI code page of the machine, one byte each,
// or empty when the code page cannot spell it that way.
std::string AnsiWord(const wchar_t* word) {
  char bytes[64] = {};
  BOOL lossy = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, word, -1, bytes, sizeof(bytes),
                                       nullptr, &lossy);
  if (size <= 0 || lossy || static_cast<std::size_t>(size - 1) != wcslen(word)) return {};
  return bytes;
}

MemoryBuffer Bytes(const std::string& text) {
  MemoryBuffer buffer;
  buffer.Bytes.assign(text.begin(), text.end());
  return buffer;
}

std::string Text(const MemoryBuffer& buffer) { return {buffer.Bytes.begin(), buffer.Bytes.end()}; }

}  // namespace

TEST(WindowsFiles, TheProgramFolderUsesBackslashes) {
  SetProgramFolder("C:/Program Files/Tessivar");
  EXPECT_EQ(ProgramFolder(), "C:\\Program Files\\Tessivar\\");
  SetProgramFolder("C:/Program Files/Tessivar/");  // already ends in a separator
  EXPECT_EQ(ProgramFolder(), "C:\\Program Files\\Tessivar\\");
  SetProgramFolder("D:\\Music\\Tessivar\\");
  EXPECT_EQ(ProgramFolder(), "D:\\Music\\Tessivar\\");
  EXPECT_EQ(SubFolder("CONFIGS"), "CONFIGS\\");

  TempProgramFolder folder;
  EXPECT_EQ(folder.Path().find('/'), std::string::npos) << folder.Path();
  EXPECT_EQ(folder.Path().back(), '\\');
  EXPECT_EQ(folder.Path().substr(1, 2), ":\\");
}

TEST(WindowsFiles, SearchesAndLookupsTakeEitherSeparatorAndAnyLetterCase) {
  TempProgramFolder folder;
  folder.WriteFile("SKINS\\Classic.bmp", "skin");
  folder.WriteFile("SKINS\\dark.BMP", "skin");
  const std::string skins = folder.Path() + SubFolder("SKINS");
  const std::vector<std::string> both{"Classic.bmp", "dark.BMP"};
  EXPECT_EQ(FindFiles(skins + "*.bmp"), both);
  EXPECT_EQ(FindFiles(folder.Path() + "SKINS/*.BMP"), both);
  EXPECT_EQ(FindFiles(skins + "c*"), std::vector<std::string>{"Classic.bmp"});

  // The name as it is on the disk, however it was asked for.
  EXPECT_EQ(DataFilePath(skins, "Classic.bmp"), skins + "Classic.bmp");
  EXPECT_EQ(DataFilePath(skins, "CLASSIC.BMP"), skins + "Classic.bmp");
  EXPECT_EQ(DataFilePath(skins, "Dark.bmp"), skins + "dark.BMP");
  EXPECT_EQ(DataFilePath(skins, "Missing.bmp"), skins + "Missing.bmp");
  EXPECT_TRUE(FileExists(skins + "CLASSIC.BMP"));
  EXPECT_FALSE(FileExists(folder.Path() + "SKINS"));
  EXPECT_FALSE(FileExists(folder.Path() + "SKINS\\"));
}

TEST(WindowsFiles, TheSessionSaveKeepsTheNameOfTheFileItReplaces) {
  TempProgramFolder folder;
  const std::string configs = folder.Path() + SubFolder("CONFIGS");
  SetDefaults();
  Config.ConfigName = "MyConfig.cfg";
  SaveSessionConfig();
  ASSERT_EQ(AnsiListing(configs), std::vector<std::string>{"MyConfig.cfg"});

  Config.ConfigName = "MYCONFIG.CFG";
  Config.Octave = 6;
  SaveSessionConfig();  // replaces the file, whose name stays as it was
  EXPECT_EQ(AnsiListing(configs), std::vector<std::string>{"MyConfig.cfg"});
  SetDefaults();
  ReadConfigFile(configs + "MyConfig.cfg");
  EXPECT_EQ(Config.Octave, 6);
}

TEST(WindowsFiles, NamesInTheAnsiCodePageKeepTheirBytes) {
  const std::string word = AnsiWord(L"Kl\u00e4nge");
  const std::string other = AnsiWord(L"\u00c9t\u00e9");
  if (word.empty() || other.empty()) GTEST_SKIP() << "code page " << GetACP();
  ASSERT_EQ(word.size(), 6u);
  TempProgramFolder folder;
  const std::string keymaps = folder.Path() + SubFolder("KEYMAPS");

  // A key map named in the ANSI code page, made by the platform's own ANSI call.
  MemoryBuffer keyMap;
  WriteShortString(keyMap, "ZVQ_KEYMAPPING1");
  WriteInt32(keyMap, 1);
  WriteByte(keyMap, 7);
  WriteInt16(keyMap, 0x5A);
  CreateAnsiFile(keymaps + word + ".key", Text(keyMap));

  EXPECT_EQ(FindFiles(keymaps + "*.key"), std::vector<std::string>{word + ".key"});
  EXPECT_TRUE(FileExists(keymaps + word + ".key"));
  // Upper-casing touches the ASCII letters only; the file is found by its bytes.
  EXPECT_EQ(DataFilePath(keymaps, AsciiUpper(word) + ".KEY"), keymaps + word + ".key");
  LoadKeyMap(DataFilePath(keymaps, AsciiUpper(word) + ".KEY"));
  EXPECT_EQ(LookupNote(0x5A), 7);

  // Saved under such a name, the platform lists exactly those bytes.
  SaveFileWhole(Bytes("first"), keymaps + other + ".key");
  SaveFileWhole(Bytes("second"), keymaps + other + ".key");  // replaces it
  EXPECT_EQ(AnsiListing(keymaps), (std::vector<std::string>{word + ".key", other + ".key"}));
  EXPECT_EQ(Text(LoadFileWhole(keymaps + other + ".key", 64)), "second");
  // Sorted by their bytes after ASCII upper-casing: "K" before the accented capital.
  EXPECT_EQ(FindFiles(keymaps + "*"), (std::vector<std::string>{word + ".key", other + ".key"}));

  EXPECT_TRUE(DeleteFileAt(keymaps + other + ".key"));
  EXPECT_FALSE(FileExists(keymaps + other + ".key"));
  EXPECT_EQ(MessageOf([&] { LoadFileWhole(keymaps + other + ".key", 64); }),
            "Cannot open file " + keymaps + other + ".key");
}
