#include <string.h>

#include "http/post_form.h"
#include "launcher/config.h"
#include "play/play.h"
#include "play/report_body.h"

void SendLaunchReport(const char* deviceId) {
  HttpPostRequest request;
  memset(&request, 0, sizeof request);
  CopyText(request.url, kServiceUrl);
  CopyText(request.host, kServiceHost);
  CopyText(request.path, kLogPath);
  if (!FormatLaunchReport(request.body, deviceId)) return;
  request.secure = false;
  request.notifyWindow = NULL;
  request.notifyMessage = kFailureMessage;
  PostForm(request, nullptr, 0);
}
