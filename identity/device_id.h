// The device identifier: kept between launches in an INI file under the
// user's local application data, obtained from the service when missing.
#pragma once

#include "launcher/text.h"

// Builds the id file path, settles `deviceId` from the file, or asks the
// service when there is no file. An empty `deviceId` means none could be had.
void ResolveDeviceId(char (&idFilePath)[kPathCapacity], char (&deviceId)[kDeviceIdCapacity]);

// Asks the identity endpoint for an identifier and stores an accepted one in
// the id file; with an empty `idFilePath` it is used for this launch only.
void RequestDeviceId(const char* idFilePath, char (&deviceId)[kDeviceIdCapacity]);
