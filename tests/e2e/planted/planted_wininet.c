/* A stand-in for a wininet.dll that someone dropped beside a downloaded exe:
   when a process loads it, it leaves a marker file (path in PLANTED_MARKER). */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    char marker[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("PLANTED_MARKER", marker, sizeof marker);
    if (length > 0 && length < sizeof marker) {
      HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
  }
  return TRUE;
}

/* Enough of WinINet's names for a program that imports it to load. */
__declspec(dllexport) BOOL WINAPI InternetCheckConnectionA(LPCSTR url, DWORD flags, DWORD reserved) {
  (void)url;
  (void)flags;
  (void)reserved;
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
