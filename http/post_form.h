// One synchronous HTTP POST of a form body, with the answer's body handed
// back as ANSI text. Failures are not returned: they are announced by posting
// the request's window message with the failing call's error code.
#pragma once

#include <windows.h>

#include "launcher/text.h"

struct HttpPostRequest {
  char url[kTextCapacity];    // scheme and host; checked for reachability, sent as Referer
  char host[kNameCapacity];   // server to connect to, always on port 80
  char path[kNameCapacity];   // target without the leading slash
  char body[kTextCapacity];   // ANSI form body; empty for none
  bool secure;                // secure flag instead of no-cache
  HWND notifyWindow;          // null posts to this thread's own queue
  UINT notifyMessage;
};

// `response`, when not null, receives the answer's body converted to ANSI,
// kept within `responseCapacity`; it is untouched when the exchange fails.
void PostForm(const HttpPostRequest& request, char* response, size_t responseCapacity);
