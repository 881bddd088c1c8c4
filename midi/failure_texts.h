#pragma once

#include <map>
#include <mutex>
#include <string>

#include "midi_system.h"

// The text a MIDI system last raised each failure code with, for its ErrorText: the back
// end's own words where it gave some, else the platform's standard text. Safe to use from
// a preparing thread and the GUI thread at once.
class FailureTexts {
 public:
  // Records text for code; gives code back, so that a failure reads
  // `return texts_.Fail(code, text);`.
  MidiResult Fail(MidiResult code, std::string text);
  // The recorded text, else the standard one (MMSYSERR_BADERRNUM when there is none).
  MidiResult ErrorText(MidiResult code, std::string& text) const;

 private:
  mutable std::mutex mutex_;
  std::map<MidiResult, std::string> texts_;
};
