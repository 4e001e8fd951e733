// help_file.h - the extracted help file: written under a name no other
// program can predict or hold, and held open against writing and deletion
// from before it is shown until the program ends. Platform-independent (it
// reaches files through platform.h), so it is tested natively. May include
// platform/ only.
#pragma once

#include "../platform/platform.h"

// Writes size bytes into a new file "Orvane Help <random>.chm" in folder
// (which ends in a backslash), never reusing a file that is there (another
// random name is tried), reads it back through a handle that denies writing
// and deletion, and leaves that handle in *held. Nonzero with the path
// (PLAT_TEXT_SIZE) only when the held file holds exactly these bytes; on
// failure nothing of ours is left behind.
int ExtractHelpFile(const char *folder, const void *bytes, uint32_t size, char *path,
                    PlatFile *held);
