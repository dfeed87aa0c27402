#include "play/play.h"

#include <windows.h>
#include <shellapi.h>

#include "launcher/config.h"
#include "play/play_url.h"

void OpenPlayPage(const char* deviceId) {
  char url[kTextCapacity];
  if (BuildPlayUrl(url, kPlayUrl, deviceId)) {
    ShellExecuteA(NULL, "open", url, NULL, NULL, SW_SHOWNORMAL);
  }
}
