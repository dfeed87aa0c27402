// The launch report's form body.
#pragma once

#include "launcher/text.h"

// Formats the report for `deviceId` (it fills userId, op and did) with the
// configured channel and package. False (and an empty `body`) when it does not
// fit.
bool FormatLaunchReport(char (&body)[kTextCapacity], const char* deviceId);
