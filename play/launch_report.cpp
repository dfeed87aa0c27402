#include "http/post_form.h"
#include "http/service_request.h"
#include "launcher/config.h"
#include "play/play.h"
#include "play/report_body.h"

void SendLaunchReport(const char* deviceId) {
  HttpPostRequest request;
  PrepareServiceRequest(request, kLogPath);
  if (!FormatLaunchReport(request.body, deviceId)) return;
  PostForm(request, nullptr, 0);
}
