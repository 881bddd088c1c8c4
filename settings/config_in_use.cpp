#include "config_in_use.h"

#include "config_file.h"
#include "files.h"
#include "keyboard_config.h"

std::string LoadConfigInUse() {
  try {
    LoadStartupConfig(nullptr);
  } catch (...) {
    SetDefaults();
    throw;
  }
  return DataFilePath(ProgramFolder() + SubFolder("KEYMAPS"), Config.KeymapFile);
}
