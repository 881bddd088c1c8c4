#include "config_file.h"

#include "field_stream.h"
#include "files.h"
#include "keyboard_config.h"
#include "load_limits.h"

namespace {
std::string SetupFilePath() { return ProgramFolder() + "setup.ini"; }
std::string ConfigsFolder() { return ProgramFolder() + SubFolder("CONFIGS"); }
}  // namespace

void ReadConfigFile(const std::string& fileName) {
  MemoryBuffer buffer = LoadFileWhole(fileName, ConfigFileLimit);
  if (ReadShortString(buffer, 255) != ConfigMagic) {
    SetDefaults();
    return;
  }
  Config.ConfigName = ReadShortString(buffer, 255);
  Config.SkinFile = ReadShortString(buffer, 255);
  Config.SpareDevice = ReadInt32(buffer);
  Config.RecordingDevice = ReadInt32(buffer);
  Config.PlayingDevice = ReadInt32(buffer);
  Config.KeymapFile = ReadShortString(buffer, 255);
  Config.PatchFile = ReadShortString(buffer, 255);
  Config.Octave = ReadByte(buffer);
  Config.RecordingInstrument = ReadInt32(buffer);
  Config.PlayingInstrument = ReadInt32(buffer);
  Config.RecordingChannel = ReadByte(buffer);
  Config.PlayingChannel = ReadByte(buffer);
}

void WriteConfigFile(const std::string& fileName) {
  MemoryBuffer buffer;
  WriteShortString(buffer, ConfigMagic);
  WriteShortString(buffer, Config.ConfigName.str());
  WriteShortString(buffer, Config.SkinFile.str());
  WriteInt32(buffer, Config.SpareDevice);
  WriteInt32(buffer, Config.RecordingDevice);
  WriteInt32(buffer, Config.PlayingDevice);
  WriteShortString(buffer, Config.KeymapFile.str());
  WriteShortString(buffer, Config.PatchFile.str());
  WriteByte(buffer, Config.Octave);
  WriteInt32(buffer, Config.RecordingInstrument);
  WriteInt32(buffer, Config.PlayingInstrument);
  WriteByte(buffer, Config.RecordingChannel);
  WriteByte(buffer, Config.PlayingChannel);
  SaveFileWhole(buffer, fileName);
}

void LoadStartupConfig(const std::function<void()>& warnNoDevices) {
  const std::string pointer = SetupFilePath();
  if (!FileExists(pointer)) {
    SetDefaults();
    if (warnNoDevices) warnNoDevices();
    return;
  }
  MemoryBuffer buffer = LoadFileWhole(pointer, SetupFileLimit);
  const std::string name = ReadShortString(buffer, 255);
  const std::string configFile = DataFilePath(ConfigsFolder(), name);
  if (FileExists(configFile)) {
    ReadConfigFile(configFile);
  } else {
    SetDefaults();
  }
}

std::string SessionConfigFileName() {
  const std::string& name = Config.ConfigName.str();
  // Both separators count on every platform: a file made on Windows may carry "\".
  const std::size_t cut = name.find_last_of("/\\");
  std::string last = cut == std::string::npos ? name : name.substr(cut + 1);
#ifdef _WIN32
  if (const std::size_t drive = last.find(':'); drive != std::string::npos)
    last = last.substr(drive + 1);
#endif
  if (last.empty() || last == "." || last == "..") return "Default.cfg";
  return last;
}

void SaveSessionConfig() {
  const std::string fileName = SessionConfigFileName();
  WriteConfigFile(DataFilePath(ConfigsFolder(), fileName));
  MemoryBuffer pointer;
  WriteShortString(pointer, fileName);
  SaveFileWhole(pointer, SetupFilePath());
}
