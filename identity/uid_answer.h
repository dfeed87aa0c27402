// Reading the device identifier out of the identity service's answer.
#pragma once

#include "launcher/text.h"

constexpr char kUidMarker[] = "uid:'";
constexpr size_t kDeviceIdLength = 32;

// Takes the 32 characters that follow the first "uid:'" in `answer`. They are
// accepted only when all 32 are ASCII letters, digits, '-' or '_': the answer
// comes over plain HTTP and what is accepted is stored for good and sent
// unescaped in a URL. On refusal `deviceId` is left empty and the result is
// false.
bool ExtractDeviceId(const char* answer, char (&deviceId)[kDeviceIdCapacity]);
