#include "fuzz_folder.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "files.h"

namespace fs = std::filesystem;

const std::string& FuzzProgramFolder() {
  static const std::string folder = [] {
    // Shared memory where there is some: a few file operations per input run at memory speed.
    std::error_code error;
    fs::path base =
        fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
    const fs::path path = base / ("tessivar-fuzz-" + std::to_string(::getpid()));
    for (const char* sub : {"CONFIGS", "SKINS", "KEYMAPS", "PATCHES", "HELP"})
      fs::create_directories(path / sub);
    SetProgramFolder(path.string());
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(ProgramFolder(), ignored);
    });
    return ProgramFolder();
  }();
  return folder;
}

void WriteFuzzFile(const std::string& relative, const std::uint8_t* data, std::size_t size) {
  std::ofstream file(FuzzProgramFolder() + relative, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}
