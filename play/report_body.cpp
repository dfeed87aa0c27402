#include "play/report_body.h"

#include <string.h>

#include "launcher/config.h"

bool FormatLaunchReport(char (&body)[kTextCapacity], const char* deviceId) {
  memset(body, 0, sizeof body);
  return FormatText(body, kReportFormat, deviceId, kChannelId, kPackageName, deviceId, deviceId);
}
