// The launch: shortcut, device identity, play page, launch report. No window,
// no questions; every stage absorbs its own failures and the exit status is 0.
#include <windows.h>

#include "identity/device_id.h"
#include "launcher/dll_search.h"
#include "play/play.h"
#include "shortcut/desktop_shortcut.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictDllSearchToSystem();

  char executablePath[kPathCapacity];
  char shortcutBasePath[kPathCapacity];
  char idFilePath[kPathCapacity];
  char deviceId[kDeviceIdCapacity];

  if (FindExecutablePath(executablePath) && FindShortcutBasePath(shortcutBasePath)) {
    CreateDesktopShortcut(executablePath, shortcutBasePath);
  }
  ResolveDeviceId(idFilePath, deviceId);
  OpenPlayPage(deviceId);
  SendLaunchReport(deviceId);
  return 0;
}
