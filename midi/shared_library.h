#pragma once

#include <initializer_list>
#include <string>

// Libraries loaded at run time (FluidSynth, PipeWire), so that the program starts and plays
// MIDI on machines without them and a run that never uses them does not wait for them.
// A library stays loaded for the run: its threads and handlers may outlive any use of it.

// The first of names that loads (on Windows from the program folder only, with the DLLs
// beside it); null with the system's reason in reason when none does.
void* LoadSharedLibrary(std::initializer_list<const char*> names, std::string& reason);
// A function of a loaded library; null when it has none of that name.
void* LibraryFunction(void* library, const char* name);

// Fills table.name for each name of an X-list of functions; on a missing one, sets error to
// what followed by its name and returns from the calling function.
#define TESSIVAR_LOOK_UP_FUNCTION(table, library, error, what, name)                 \
  table.name = reinterpret_cast<decltype(&::name)>(LibraryFunction(library, #name)); \
  if (table.name == nullptr) {                                                       \
    error = std::string(what) + " lacks " #name;                                     \
    return;                                                                          \
  }
