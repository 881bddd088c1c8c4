#include "failure_texts.h"

#include <utility>

#include "combined_midi_system.h"

MidiResult FailureTexts::Fail(MidiResult code, std::string text) {
  const std::lock_guard lock(mutex_);
  texts_[code] = std::move(text);
  return code;
}

MidiResult FailureTexts::ErrorText(MidiResult code, std::string& text) const {
  {
    const std::lock_guard lock(mutex_);
    const auto found = texts_.find(code);
    if (found != texts_.end()) {
      text = found->second;
      return MMSYSERR_NOERROR;
    }
  }
  return StandardMidiErrorText(code, text) ? MMSYSERR_NOERROR : MMSYSERR_BADERRNUM;
}
