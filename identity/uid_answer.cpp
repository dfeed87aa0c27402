#include "identity/uid_answer.h"

#include <string.h>

static bool IsDeviceIdCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

bool ExtractDeviceId(const char* answer, char (&deviceId)[kDeviceIdCapacity]) {
  static_assert(kDeviceIdLength < kDeviceIdCapacity, "the identifier and its terminator fit");
  memset(deviceId, 0, sizeof deviceId);
  const char* marker = strstr(answer, kUidMarker);
  if (marker == nullptr) return false;
  const char* id = marker + strlen(kUidMarker);
  for (size_t i = 0; i < kDeviceIdLength; ++i) {
    if (!IsDeviceIdCharacter(id[i])) return false;  // also stops at the terminator
  }
  memcpy(deviceId, id, kDeviceIdLength);
  return true;
}
