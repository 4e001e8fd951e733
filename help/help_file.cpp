// help_file.cpp - extracting the help file (see help_file.h).
//
// A compiled help file can carry script, and the program may run elevated:
// a file that another program chose the name of, or could change between
// writing and showing, would run that program's script with our rights.
#include "help_file.h"

#include "../platform/text.h"

#include <string.h>

#define HELP_NAME_TRIES 16

// A new file under a random name; null when none could be made.
static PlatFile CreateRandomFile(const char *folder, char *path)
{
    for (int attempt = 0; attempt < HELP_NAME_TRIES; ++attempt) {
        unsigned char random[8];
        if (!PlatRandom(random, sizeof random))
            return NULL;
        char hex[2 * sizeof random + 1];
        for (size_t i = 0; i < sizeof random; ++i)
            TextFormat(hex + 2 * i, 3, "%02x", random[i]);
        if (!TextFormat(path, PLAT_TEXT_SIZE, "%sOrvane Help %s.chm", folder, hex))
            return NULL;
        PlatFile file = PlatFileCreateNew(path);
        if (file)
            return file;
        long error = PlatLastError();
        // Taken (by chance or by design): another name; anything else ends it.
        if (error != PLAT_ERROR_ALREADY_EXISTS && error != 80)
            return NULL;
    }
    return NULL;
}

// Nonzero when the held file holds exactly size bytes equal to bytes.
static int HoldsExactly(PlatFile held, const void *bytes, uint32_t size)
{
    unsigned char chunk[4096];
    uint32_t at = 0;
    for (;;) {
        uint32_t got = PlatFileRead(held, chunk, sizeof chunk);
        if (got == 0)
            return at == size;
        if (got > size - at || memcmp(chunk, (const unsigned char *)bytes + at, got) != 0)
            return 0;
        at += got;
    }
}

int ExtractHelpFile(const char *folder, const void *bytes, uint32_t size, char *path,
                    PlatFile *held)
{
    *held = NULL;
    PlatFile file = CreateRandomFile(folder, path);
    if (!file) {
        path[0] = '\0';
        return 0;
    }
    int written = PlatFileWrite(file, bytes, size);
    int closed = PlatFileClose(file);
    // Held from here on: what is shown is what was written, to the end.
    *held = written && closed ? PlatFileHold(path) : NULL;
    if (*held && HoldsExactly(*held, bytes, size))
        return 1;
    if (*held)
        PlatFileClose(*held);
    *held = NULL;
    PlatDeleteFile(path);
    path[0] = '\0';
    return 0;
}
