/* The usual way to use WinINet: imported when the program loads. Shows that
   a planted wininet.dll beside an exe is a real attack in the sandbox. */
#include <windows.h>
#include <wininet.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  InternetCheckConnectionA("http://localhost", FLAG_ICC_FORCE_CONNECTION, 0);
  return 0;
}
