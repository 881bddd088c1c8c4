#pragma once

#include <string>

// For the companion programs: reads the configuration the main program starts with
// (the one setup.ini names, else the defaults) into Config, without the first-run
// warning, and gives the full path of its key map file (program folder + "KEYMAPS" +
// Config.KeymapFile, letter case of the name not minding). Raises what reading the
// configuration raises; Config then holds the defaults.
std::string LoadConfigInUse();
