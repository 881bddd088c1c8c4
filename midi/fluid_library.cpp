#include "fluid_library.h"

#include <mutex>

#ifdef TESSIVAR_LOAD_FLUIDSYNTH
#include <initializer_list>
#ifdef _WIN32
#include <windows.h>

#include "files.h"
#else
#include <dlfcn.h>
#endif
#endif

namespace {

FluidLibrary library;
bool loaded = false;
std::string loadError;

#if defined(TESSIVAR_LOAD_FLUIDSYNTH) && defined(_WIN32)
// FluidSynth's DLL beside the program (with the DLLs it needs), no other copy on the path.
void Load() {
  HMODULE handle = nullptr;
  for (const char* name : {"libfluidsynth-3.dll", "libfluidsynth-2.dll", "fluidsynth.dll"}) {
    handle = LoadLibraryExA((ProgramFolder() + name).c_str(), nullptr,
                            LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (handle != nullptr) break;
  }
  if (handle == nullptr) {
    const DWORD error = GetLastError();
    loadError =
        "The synthesizer's library FluidSynth could not be loaded: libfluidsynth-3.dll "
        "is not in the program folder, or a DLL it needs is missing (error " +
        std::to_string(error) + ")";
    return;
  }
  // Through void(*)(): GetProcAddress gives every function one type.
#define TESSIVAR_FLUID_LOOKUP(name)                                  \
  library.name = reinterpret_cast<decltype(&::name)>(                \
      reinterpret_cast<void (*)()>(GetProcAddress(handle, #name)));  \
  if (library.name == nullptr) {                                     \
    loadError = "The synthesizer's library FluidSynth lacks " #name; \
    return;                                                          \
  }
  TESSIVAR_FLUID_FUNCTIONS(TESSIVAR_FLUID_LOOKUP)
#undef TESSIVAR_FLUID_LOOKUP
  loaded = true;
}
#elif defined(TESSIVAR_LOAD_FLUIDSYNTH)
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
