#include "http/service_request.h"

#include <string.h>

#include "launcher/config.h"

void PrepareServiceRequest(HttpPostRequest& request, const char* path) {
  static_assert(sizeof kServiceUrl <= sizeof request.url && sizeof kServiceHost <= sizeof request.host,
                "the service's names fit the request");
  memset(&request, 0, sizeof request);
  CopyText(request.url, kServiceUrl);
  CopyText(request.host, kServiceHost);
  CopyText(request.path, path);
  request.secure = false;
  request.notifyWindow = NULL;
  request.notifyMessage = kFailureMessage;
}
