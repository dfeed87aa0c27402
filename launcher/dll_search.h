// Keeps DLLs that the launcher or the system loads later from being looked up
// beside the exe (a Downloads folder) or in the current folder.
#pragma once

void RestrictDllSearchToSystem();
