#include "launcher/dll_search.h"

#include <windows.h>

void RestrictDllSearchToSystem() {
  // Looked up at run time: systems without it still run the launch.
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  SetDefaultDllDirectoriesFunction setDefaultDllDirectories =
      reinterpret_cast<SetDefaultDllDirectoriesFunction>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefaultDllDirectories != NULL) setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
