#include "fluid_library.h"

#include <mutex>

#include "shared_library.h"

namespace {

FluidLibrary library;
bool loaded = false;
std::string loadError;

void Load() {
  std::string reason;
#ifdef _WIN32
  // FluidSynth's DLL beside the program (with the DLLs it needs), no other copy on the path.
  void* handle =
      LoadSharedLibrary({"libfluidsynth-3.dll", "libfluidsynth-2.dll", "fluidsynth.dll"}, reason);
  if (handle == nullptr) {
    loadError =
        "The synthesizer's library FluidSynth could not be loaded: libfluidsynth-3.dll "
        "is not in the program folder, or a DLL it needs is missing (" +
        reason + ")";
    return;
  }
#else
  // FluidSynth 2's names, newest first; the plain name where only a development link exists.
  void* handle =
      LoadSharedLibrary({"libfluidsynth.so.3", "libfluidsynth.so.2", "libfluidsynth.so"}, reason);
  if (handle == nullptr) {
    loadError = "The synthesizer's library FluidSynth could not be loaded: " + reason;
    return;
  }
#endif
#define TESSIVAR_FLUID_LOOKUP(name)                                                             \
  TESSIVAR_LOOK_UP_FUNCTION(library, handle, loadError, "The synthesizer's library FluidSynth", \
                            name)
  TESSIVAR_FLUID_FUNCTIONS(TESSIVAR_FLUID_LOOKUP)
#undef TESSIVAR_FLUID_LOOKUP
  loaded = true;
}

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
