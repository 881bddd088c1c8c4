#include "files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "native_path.h"

namespace {

std::string& ProgramFolderStorage() {
  static std::string folder;
  return folder;
}

char AsciiUpperChar(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// '*' matches any run of characters, '?' any one character; letters match in either case.
bool WildcardMatch(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == '?' || AsciiUpperChar(pattern[p]) == AsciiUpperChar(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

const std::string& ProgramFolder() { return ProgramFolderStorage(); }

void SetProgramFolder(std::string folder) {
#ifdef _WIN32
  // The window system gives the folder with "/"; the program's paths use "\".
  std::replace(folder.begin(), folder.end(), '/', '\\');
#endif
  if (folder.empty() || folder.back() != PathSeparator) folder += PathSeparator;
  ProgramFolderStorage() = std::move(folder);
}

std::string SubFolder(std::string_view name) {
  std::string result(name);
  result += PathSeparator;
  return result;
}

bool FileExists(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(NativePath(path), error);
  return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool DeleteFileAt(const std::string& path) {
  std::error_code error;
  return std::filesystem::remove(NativePath(path), error) && !error;
}

std::vector<std::string> FindFiles(const std::string& mask) {
  namespace fs = std::filesystem;
  const std::size_t cut = mask.find_last_of(PathSeparator == '/' ? "/" : "\\/");
  const std::string folder = cut == std::string::npos ? std::string(".") : mask.substr(0, cut + 1);
  const std::string pattern = cut == std::string::npos ? mask : mask.substr(cut + 1);

  std::vector<std::string> names;
  std::error_code error;
  fs::directory_iterator it(NativePath(folder), error);
  if (error) return names;
  for (const fs::directory_iterator end; it != end; it.increment(error)) {
    if (error) break;
    std::error_code statusError;
    if (it->is_directory(statusError)) continue;
    std::string name = NarrowName(it->path().filename());
    if (WildcardMatch(pattern, name)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string upperA = AsciiUpper(a), upperB = AsciiUpper(b);
    return upperA != upperB ? upperA < upperB : a < b;
  });
  return names;
}

std::string AsciiUpper(std::string_view s) {
  std::string result(s);
  for (char& c : result) c = AsciiUpperChar(c);
  return result;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AsciiUpper(a) == AsciiUpper(b);
}

std::string DataFilePath(const std::string& folder, const std::string& name) {
  std::string exact = folder + name;
#ifdef _WIN32
  // The file system ignores letter case itself; take the name as it is spelled on disk.
  if (name.find_first_of("/\\") == std::string::npos) {
    if (const std::string onDisk = FileNameOnDisk(exact); !onDisk.empty()) return folder + onDisk;
  }
#endif
  if (name.empty() || FileExists(exact) || name.find_first_of("/\\") != std::string::npos)
    return exact;
  namespace fs = std::filesystem;
  std::error_code error;
  fs::directory_iterator it(NativePath(folder), error);
  if (error) return exact;
  for (const fs::directory_iterator end; it != end; it.increment(error)) {
    if (error) break;
    const std::string candidate = NarrowName(it->path().filename());
    std::error_code statusError;
    if (SameNameIgnoringCase(candidate, name) && !it->is_directory(statusError))
      return folder + candidate;
  }
  return exact;
}
