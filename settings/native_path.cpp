#include "native_path.h"

#ifdef _WIN32
#include <windows.h>

std::filesystem::path NativePath(const std::string& name) {
  if (name.empty()) return {};
  const int size = static_cast<int>(name.size());
  const int wideSize = MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
  MultiByteToWideChar(CP_ACP, 0, name.data(), size, wide.data(), wideSize);
  return std::filesystem::path(std::move(wide));
}

std::string NarrowName(const std::filesystem::path& path) {
  const std::wstring& wide = path.native();
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int narrowSize =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(narrowSize), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), size, narrow.data(), narrowSize, nullptr, nullptr);
  return narrow;
}

std::string FileNameOnDisk(const std::string& path) {
  // Wildcards would make the search match other names.
  if (path.empty() || path.find_first_of("*?") != std::string::npos) return {};
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(path.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return {};
  FindClose(search);
  if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {};
  return entry.cFileName;
}

#else

std::filesystem::path NativePath(const std::string& name) { return std::filesystem::path(name); }

std::string NarrowName(const std::filesystem::path& path) { return path.string(); }

#endif
