// whole_values.cpp - a registry value read whole (see storage.h).
//
// Another program may make a value longer between the call that gives its
// size and the one that reads it, so a read asks again until it has all of
// it; a value read in part would be written back cut.
#include "storage.h"

// The value's bytes as stored, or its text through the code page.
static long QueryValue(PlatKey key, const char *name, int raw, uint32_t *type, void *data,
                       uint32_t *size)
{
    return raw ? PlatRegReadRaw(key, name, type, data, size)
               : PlatRegQueryValue(key, name, type, data, size);
}

int ReadWholeValue(PlatHive hive, const char *path, const char *name, int raw, uint32_t *type,
                   void **data, uint32_t *size)
{
    *data = NULL;
    PlatKey key = NULL;
    if (PlatRegOpenRead(hive, path, &key) != PLAT_OK || !key)
        return 0;
    int ok = 0;
    // The value may grow between asking its size and reading it: ask again.
    for (int attempt = 0; attempt < 4 && !ok; ++attempt) {
        uint32_t needed = 0;
        if (QueryValue(key, name, raw, type, NULL, &needed) != PLAT_OK)
            break;
        void *buffer = PlatAllocZero(needed ? needed : 1);
        if (!buffer)
            break;
        uint32_t got = needed;
        long result = QueryValue(key, name, raw, type, needed ? buffer : NULL, &got);
        if (result == PLAT_OK && got <= needed) {
            *data = buffer;
            *size = got;
            ok = 1;
        } else {
            PlatFree(buffer);
            if (result != PLAT_ERROR_MORE_DATA)
                break;
        }
    }
    PlatRegClose(key);
    return ok;
}

int ValueMayExist(PlatHive hive, const char *path, const char *name)
{
    PlatKey key = NULL;
    if (PlatRegOpenRead(hive, path, &key) != PLAT_OK || !key)
        return 1;
    uint32_t size = 0;
    long result = PlatRegQueryValue(key, name, NULL, NULL, &size);
    PlatRegClose(key);
    return result != PLAT_ERROR_FILE_NOT_FOUND;
}

int KeyMayHoldValue(PlatHive hive, const char *path, const char *name)
{
    PlatKey key = NULL;
    long opened = PlatRegOpenRead(hive, path, &key);
    if (opened == PLAT_ERROR_FILE_NOT_FOUND)
        return 0;
    if (opened != PLAT_OK || !key)
        return 1;
    uint32_t size = 0;
    long result = PlatRegQueryValue(key, name, NULL, NULL, &size);
    PlatRegClose(key);
    return result != PLAT_ERROR_FILE_NOT_FOUND;
}

int KeyStateChanged(PlatKey key, const PlatKeyState *before)
{
    PlatKeyState after;
    PlatRegKeyState(key, &after);
    return after.written != before->written || after.values != before->values
           || after.subkeys != before->subkeys;
}
