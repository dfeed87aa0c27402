// What the player sees and what the service is told.
#pragma once

// Opens the play page in the default browser with `deviceId` as "did".
void OpenPlayPage(const char* deviceId);

// Posts the launch report to the service's log endpoint; the answer is read
// and dropped, and a failure changes nothing.
void SendLaunchReport(const char* deviceId);
