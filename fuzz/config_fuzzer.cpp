// The configuration and setup.ini through the start-up load and the exit save. The first
// byte chooses which file the rest of the input is: odd, setup.ini itself (naming any
// configuration, any path); even, the configuration that a fixed setup.ini names. After
// the exit save, a second start-up must load exactly the record that was saved.
#include <cstdint>
#include <filesystem>

#include "app_error.h"
#include "config_file.h"
#include "fuzz_folder.h"
#include "keyboard_config.h"

namespace {

const std::uint8_t FixedPointer[] = {9, 'F', 'u', 'z', 'z', 'e', 'd', '.', 'c', 'f', 'g'};

void ClearFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::remove_all(folder + "CONFIGS", error);
  std::filesystem::create_directory(folder + "CONFIGS", error);
  std::filesystem::remove(folder + "setup.ini", error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& folder = FuzzProgramFolder();
  ClearFolder(folder);
  if (size == 0) return 0;
  const bool pointerFuzzed = (data[0] & 1) != 0;
  if (pointerFuzzed) {
    WriteFuzzFile("setup.ini", data + 1, size - 1);
  } else {
    WriteFuzzFile("setup.ini", FixedPointer, sizeof FixedPointer);
    WriteFuzzFile("CONFIGS/Fuzzed.cfg", data + 1, size - 1);
  }

  SetDefaults();
  try {
    LoadStartupConfig([] {});
  } catch (const AppError&) {
    // The program's own messages are the expected outcome of a bad file.
  }
  const TKeyboardConfig loaded = Config;
  try {
    SaveSessionConfig();
  } catch (const AppError&) {
    return 0;  // a name the file system refuses: nothing saved
  }
  Require(Config == loaded, "the exit save changed the record");

  SetDefaults();
  bool warned = false;
  LoadStartupConfig([&] { warned = true; });
  Require(!warned, "setup.ini missing after the exit save");
  Require(Config == loaded, "the next start-up did not load what the exit saved");
  return 0;
}
