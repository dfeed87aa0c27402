// WinINet is not one of the DLLs Windows always loads from its own folder, so
// an import of it at load time would let a wininet.dll dropped beside the exe
// (a Downloads folder) run first. It is bound at run time from the system
// folder instead, and called through these pointers under its own names.
#pragma once

#include <windows.h>
#include <wininet.h>

struct WinInetFunctions {
  decltype(&::InternetCheckConnectionA) InternetCheckConnectionA;
  decltype(&::InternetOpenA) InternetOpenA;
  decltype(&::InternetConnectA) InternetConnectA;
  decltype(&::HttpOpenRequestA) HttpOpenRequestA;
  decltype(&::HttpSendRequestA) HttpSendRequestA;
  decltype(&::HttpQueryInfoA) HttpQueryInfoA;
  decltype(&::InternetReadFile) InternetReadFile;
  decltype(&::InternetCloseHandle) InternetCloseHandle;
};

// The bound functions, loaded on first use; null (with the platform's error
// code set) when WinINet cannot be had from the system folder.
const WinInetFunctions* BindWinInet();
