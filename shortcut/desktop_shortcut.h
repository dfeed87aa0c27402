// The desktop shortcut to the launcher, rewritten on every launch.
#pragma once

#include "launcher/text.h"

// Writes `shortcutBasePath` + ".lnk" as a shortcut to `targetPath`, replacing
// any file of that name. Failures leave the desktop as it was.
void CreateDesktopShortcut(const char* targetPath, const char* shortcutBasePath);

// The running executable's full path; false when it does not fit.
bool FindExecutablePath(char (&path)[kPathCapacity]);

// The user's desktop folder, "\" and the shortcut's name; false when there is
// no desktop folder or the name does not fit, so nothing is written elsewhere.
bool FindShortcutBasePath(char (&path)[kPathCapacity]);
