// A form request to the cloud service, as both of its exchanges make it.
#pragma once

#include "http/post_form.h"

// Zero-fills `request` and sets it for a plain-HTTP POST to `path` on the
// configured service, failures posted to this thread as kFailureMessage.
void PrepareServiceRequest(HttpPostRequest& request, const char* path);
