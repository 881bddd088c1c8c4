#include "temp_program_folder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "files.h"

namespace fs = std::filesystem;

TempProgramFolder::TempProgramFolder() {
  std::random_device seed;
  const fs::path folder = fs::temp_directory_path() /
                          ("tessivar-test-" + std::to_string(seed()) + std::to_string(seed()));
  fs::create_directories(folder);
  for (const char* sub : {"CONFIGS", "SKINS", "KEYMAPS", "PATCHES", "HELP"}) {
    fs::create_directories(folder / sub);
  }
  SetProgramFolder(folder.string());
  path_ = ProgramFolder();
}

TempProgramFolder::~TempProgramFolder() {
  std::error_code error;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
  fs::remove_all(path_, error);
}

std::string TempProgramFolder::operator/(const std::string& relative) const {
  std::string path = path_ + relative;
  for (std::size_t i = path_.size(); i < path.size(); ++i) {
    if (path[i] == '/') path[i] = PathSeparator;
  }
  return path;
}

void TempProgramFolder::WriteFile(const std::string& relative, const std::string& bytes) const {
  const fs::path target(path_ + relative);
  fs::create_directories(target.parent_path());
  std::ofstream file(target, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempProgramFolder::ReadFile(const std::string& relative) const {
  std::ifstream file(path_ + relative, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}
