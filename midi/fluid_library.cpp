#include "fluid_library.h"

#include <mutex>

#ifdef TESSIVAR_LOAD_FLUIDSYNTH
#include <dlfcn.h>

#include <initializer_list>
#endif

namespace {

FluidLibrary library;
bool loaded = false;
std::string loadError;

#ifdef TESSIVAR_LOAD_FLUIDSYNTH
void Load() {
  void* handle = nullptr;
  // FluidSynth 2's names, newest first; the plain name where only a development link exists.
  for (const char* name : {"libfluidsynth.so.3", "libfluidsynth.so.2", "libfluidsynth.so"}) {
    handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) break;
  }
  if (handle == nullptr) {
    const char* reason = dlerror();
    loadError = "The synthesizer's library FluidSynth could not be loaded";
    if (reason != nullptr) loadError += std::string(": ") + reason;
    return;
  }
#define TESSIVAR_FLUID_LOOKUP(name)                                         \
  library.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name)); \
  if (library.name == nullptr) {                                            \
    loadError = "The synthesizer's library FluidSynth lacks " #name;        \
    return;                                                                 \
  }
  TESSIVAR_FLUID_FUNCTIONS(TESSIVAR_FLUID_LOOKUP)
#undef TESSIVAR_FLUID_LOOKUP
  // The library stays loaded for the run: its threads and handlers may outlive any engine.
  loaded = true;
}
#else
void Load() {
#define TESSIVAR_FLUID_LINKED(name) library.name = &::name;
  TESSIVAR_FLUID_FUNCTIONS(TESSIVAR_FLUID_LINKED)
#undef TESSIVAR_FLUID_LINKED
  loaded = true;
}
#endif

std::once_flag once;

}  // namespace

const FluidLibrary* LoadFluidLibrary(std::string& error) {
  std::call_once(once, &Load);
  if (!loaded) {
    error = loadError;
    return nullptr;
  }
  return &library;
}

const FluidLibrary& Fluid() { return library; }
