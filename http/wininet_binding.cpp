#include "http/wininet_binding.h"

#include "launcher/text.h"

namespace {

WinInetFunctions g_functions;
bool g_bound = false;

template <typename Function>
bool Bind(HMODULE module, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return *function != nullptr;
}

}  // namespace

const WinInetFunctions* BindWinInet() {
  if (g_bound) return &g_functions;
  char path[kPathCapacity] = {};
  UINT length = GetSystemDirectoryA(path, sizeof path);
  if (length == 0 || length >= sizeof path || !AppendText(path, "\\wininet.dll")) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // A full path, and its own folder first for what it loads in turn.
  HMODULE module = LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == NULL) return nullptr;
  WinInetFunctions& f = g_functions;
  g_bound = Bind(module, "InternetCheckConnectionA", &f.InternetCheckConnectionA) &&
            Bind(module, "InternetOpenA", &f.InternetOpenA) &&
            Bind(module, "InternetConnectA", &f.InternetConnectA) &&
            Bind(module, "HttpOpenRequestA", &f.HttpOpenRequestA) &&
            Bind(module, "HttpSendRequestA", &f.HttpSendRequestA) &&
            Bind(module, "HttpQueryInfoA", &f.HttpQueryInfoA) &&
            Bind(module, "InternetReadFile", &f.InternetReadFile) &&
            Bind(module, "InternetCloseHandle", &f.InternetCloseHandle);
  return g_bound ? &g_functions : nullptr;
}
