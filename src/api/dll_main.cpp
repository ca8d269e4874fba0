// The Windows DLL's load and unload hook. The C++ runtime has run the
// static constructors before DllMain sees the attach and runs the
// destructors after it returns from the detach; here the shared constant
// strings are built at load, so a load that cannot build them fails at once
// instead of the first export call.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "api/registry.h"
#include "base/tokens.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  (void)module;
  // Thread notifications stay on: the runtime's thread-local storage (the
  // generator's state) relies on them.
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      try {
        // The separator and the 22 operator tokens are built together.
        (void)field_separator();
      } catch (...) {
        // Out of memory this early: refuse to load rather than fail later.
        return FALSE;
      }
      return TRUE;
    case DLL_PROCESS_DETACH:
      // Unloaded by FreeLibrary (reserved is null; at process exit nothing
      // needs freeing): the registry's entries are released, and the
      // environments the host did not kill are left untouched.
      if (reserved == nullptr) release_registry_entries();
      return TRUE;
    default:
      return TRUE;
  }
}
