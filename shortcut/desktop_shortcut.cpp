#include "shortcut/desktop_shortcut.h"

#include <string.h>
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "launcher/config.h"

namespace {

// The shortcut's UTF-16 file name, which IPersistFile::Save takes; false when
// the name does not convert or does not fit.
bool BuildShortcutFileName(const char* basePath, wchar_t (&wideName)[kPathCapacity]) {
  char name[kPathCapacity] = {};
  if (!CopyText(name, basePath) || !AppendText(name, ".lnk")) return false;
  int units = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, name, -1, NULL, 0);
  if (units == 0 || units > static_cast<int>(kPathCapacity)) return false;
  return MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, name, -1, wideName, units) != 0;
}

}  // namespace

void CreateDesktopShortcut(const char* targetPath, const char* shortcutBasePath) {
  CoInitialize(NULL);
  IShellLinkA* link = NULL;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&link)))) {
    link->SetPath(targetPath);
    link->SetDescription("");
    link->SetShowCmd(SW_SHOW);
    IPersistFile* file = NULL;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      wchar_t wideName[kPathCapacity];
      if (BuildShortcutFileName(shortcutBasePath, wideName)) file->Save(wideName, TRUE);
      file->Release();
    }
    link->Release();
  }
  CoUninitialize();
}

bool FindExecutablePath(char (&path)[kPathCapacity]) {
  memset(path, 0, sizeof path);
  DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
  if (length == 0 || length >= sizeof path) {
    memset(path, 0, sizeof path);
    return false;
  }
  return true;
}

bool FindShortcutBasePath(char (&path)[kPathCapacity]) {
  memset(path, 0, sizeof path);
  if (!SHGetSpecialFolderPathA(NULL, path, CSIDL_DESKTOP, FALSE) || path[0] == '\0' ||
      !AppendPathPart(path, kShortcutName)) {
    memset(path, 0, sizeof path);
    return false;
  }
  return true;
}
