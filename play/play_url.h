// The play page's address: the portal URL with the "did" query parameter.
#pragma once

#include "launcher/text.h"

// Joins `pageUrl` and `deviceId` as "did", with "&" when the page URL already
// carries a query and "?" otherwise. The value goes in unchanged. False (and
// an empty `url`) when the result does not fit.
bool BuildPlayUrl(char (&url)[kTextCapacity], const char* pageUrl, const char* deviceId);
