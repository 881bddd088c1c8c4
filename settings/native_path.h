#pragma once

#include <filesystem>
#include <string>

// File names are bytes in the platform's 8-bit encoding: UTF-8 here, the ANSI code page
// on Windows (where the standard library would otherwise read them as UTF-8). These turn
// them into std::filesystem paths and back without passing through another encoding.
std::filesystem::path NativePath(const std::string& name);
std::string NarrowName(const std::filesystem::path& path);

#ifdef _WIN32
// The name of the file (not folder) at path as the file system spells it, which may
// differ from path in letter case; empty when there is no such file.
std::string FileNameOnDisk(const std::string& path);
#endif
