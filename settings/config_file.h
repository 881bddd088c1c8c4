#pragma once

#include <functional>
#include <string>

inline constexpr const char* ConfigMagic = "ZVQ_TESSIVARDECK_CONFIGFILE";

// Fills Config from a configuration file; a wrong magic gives the defaults.
// Raises "Cannot open file %s" (Config unchanged).
void ReadConfigFile(const std::string& fileName);

// Writes Config as a configuration file; Config itself is not changed.
void WriteConfigFile(const std::string& fileName);

// Chooses and loads the configuration at start-up through setup.ini. On a first run
// (no setup.ini) the defaults are taken and warnNoDevices is called.
void LoadStartupConfig(const std::function<void()>& warnNoDevices);

// Saves Config into the CONFIGS folder under its name, then rewrites setup.ini.
void SaveSessionConfig();

// The file name the session is saved under: the last component of Config.ConfigName,
// so that a configuration from elsewhere can never make the exit write outside the
// CONFIGS folder; an empty, "." or ".." component becomes "Default.cfg".
std::string SessionConfigFileName();
