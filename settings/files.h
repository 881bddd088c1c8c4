#pragma once

#include <string>
#include <string_view>
#include <vector>

// The folder of the running executable, ending in a path separator. Every data path
// is this folder + sub-folder + file name, joined by plain concatenation.
const std::string& ProgramFolder();
void SetProgramFolder(std::string folder);  // adds the trailing separator if missing

// The platform's separator, used where the data paths write "\".
inline constexpr char PathSeparator =
#ifdef _WIN32
    '\\';
#else
    '/';
#endif

// "CONFIGS" -> "CONFIGS/" on this platform.
std::string SubFolder(std::string_view name);

// True only for an existing file; a folder of that name does not count.
bool FileExists(const std::string& path);
// Deletes a file; the result is reported but callers may ignore it.
bool DeleteFileAt(const std::string& path);

// The bare names of the files (not folders) in folder + pattern, e.g. ".../SKINS/*.bmp".
// The wildcard ('*' and '?') matches without regard to letter case; names are sorted
// case-insensitively. A missing folder gives an empty list.
std::vector<std::string> FindFiles(const std::string& mask);

// folder + name for a data file. Names compare without regard to letter case (as on the
// file systems configurations were first made on): when no file of exactly that name
// exists, a file whose name differs only in letter case is taken instead. Without
// either, folder + name as given.
std::string DataFilePath(const std::string& folder, const std::string& name);

// ASCII-only upper-casing, the rule for every name comparison of the program.
std::string AsciiUpper(std::string_view s);
bool SameNameIgnoringCase(std::string_view a, std::string_view b);
