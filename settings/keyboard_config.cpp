#include "keyboard_config.h"

TKeyboardConfig Config;

void SetDefaults() {
  Config.ConfigName = "Default.cfg";
  Config.SkinFile = "Classic.bmp";
  Config.SpareDevice = -1;
  Config.RecordingDevice = -1;
  Config.PlayingDevice = -1;
  Config.KeymapFile = "Tracker.key";
  Config.PatchFile = "Gm.kit";
  Config.Octave = 3;
  Config.RecordingInstrument = -1;
  Config.PlayingInstrument = -1;
  Config.RecordingChannel = 1;
  Config.PlayingChannel = 1;
}
