#include "play/play_url.h"

#include <string.h>

bool BuildPlayUrl(char (&url)[kTextCapacity], const char* pageUrl, const char* deviceId) {
  memset(url, 0, sizeof url);
  const char* format = strchr(pageUrl, '?') != nullptr ? "%s&did=%s" : "%s?did=%s";
  return FormatText(url, format, pageUrl, deviceId);
}
