#pragma once

#include <fluidsynth.h>

#include <string>

// The FluidSynth functions the built-in synthesizer uses. The library and the many it pulls
// in (audio servers, codecs) are loaded when the synthesizer first starts, not with the
// program: a run that never plays through it neither waits for them nor keeps their pages.
#define TESSIVAR_FLUID_FUNCTIONS(X) \
  X(fluid_set_log_function)         \
  X(new_fluid_settings)             \
  X(delete_fluid_settings)          \
  X(fluid_settings_setnum)          \
  X(fluid_settings_setint)          \
  X(fluid_settings_setstr)          \
  X(fluid_settings_foreach_option)  \
  X(new_fluid_synth)                \
  X(delete_fluid_synth)             \
  X(fluid_synth_sfload)             \
  X(fluid_synth_noteon)             \
  X(fluid_synth_noteoff)            \
  X(fluid_synth_key_pressure)       \
  X(fluid_synth_cc)                 \
  X(fluid_synth_program_change)     \
  X(fluid_synth_channel_pressure)   \
  X(fluid_synth_pitch_bend)         \
  X(fluid_synth_all_sounds_off)     \
  X(fluid_synth_write_float)        \
  X(new_fluid_audio_driver)         \
  X(delete_fluid_audio_driver)

struct FluidLibrary {
#define TESSIVAR_FLUID_POINTER(name) decltype(&::name) name = nullptr;
  TESSIVAR_FLUID_FUNCTIONS(TESSIVAR_FLUID_POINTER)
#undef TESSIVAR_FLUID_POINTER
};

// The functions, the library loaded at the first call from any thread and kept for the
// run; null when it cannot be loaded, with the reason in error.
const FluidLibrary* LoadFluidLibrary(std::string& error);
// The functions once LoadFluidLibrary has succeeded.
const FluidLibrary& Fluid();
