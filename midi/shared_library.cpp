#include "shared_library.h"

#ifdef _WIN32
#include <windows.h>

#include "files.h"

void* LoadSharedLibrary(std::initializer_list<const char*> names, std::string& reason) {
  for (const char* name : names) {
    HMODULE handle =
        LoadLibraryExA((ProgramFolder() + name).c_str(), nullptr,
                       LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (handle != nullptr) return handle;
  }
  reason = "error " + std::to_string(GetLastError());
  return nullptr;
}

void* LibraryFunction(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

#else
#include <dlfcn.h>

void* LoadSharedLibrary(std::initializer_list<const char*> names, std::string& reason) {
  for (const char* name : names) {
    if (void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL)) return handle;
  }
  const char* error = dlerror();
  reason = error != nullptr ? error : "not found";
  return nullptr;
}

void* LibraryFunction(void* library, const char* name) { return dlsym(library, name); }

#endif
