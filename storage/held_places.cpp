// held_places.cpp - elevated work in folders another program can redirect.
//
// HKCU's User Shell Folders are the user's to point anywhere (at
// C:\Windows\System32 too), and any folder the user owns can be made a
// junction without rights. Elevated, a file of the user's own places
// (Startup, Documents and the backups under it, the disabled items) is
// created, moved, copied or deleted only through held folders none of which
// is a link, and with the user's ordinary rights; the all-users places, which
// the user cannot redirect, are held against links alone.
#include "storage.h"

#include <string.h>

// The folder of a file's path ("C:\a\b.lnk" gives "C:\a"); zero when none.
static int FolderOf(const char *file, char *folder)
{
    if (!TextCopy(folder, TEXT_FIELD_SIZE, file))
        return 0;
    char *slash = strrchr(folder, '\\');
    if (!slash || slash == folder)
        return 0;
    *slash = '\0';
    return 1;
}

// Whether the place held last is held with the user's rights; per thread,
// as the scan worker holds places too.
static thread_local int HeldAsUser = 0;

// Nonzero when every folder lies inside the user's profile folder, which
// comes from the machine's profile list, not from the user's shell folders.
static int InProfile(const char *const *folders, int count)
{
    char profile[TEXT_FIELD_SIZE];
    if (!PlatShellFolder(PLAT_CSIDL_PROFILE, profile))
        return 0;
    size_t length = strlen(profile);
    while (length > 0 && profile[length - 1] == '\\')
        profile[--length] = '\0';
    if (length < 3)
        return 0;
    for (int i = 0; i < count; ++i) {
        char head[TEXT_FIELD_SIZE];
        if (strlen(folders[i]) <= length || folders[i][length] != '\\')
            return 0;
        memcpy(head, folders[i], length);
        head[length] = '\0';
        if (TextCompareNoCase(head, profile) != 0)
            return 0;
    }
    return 1;
}

long HoldPlace(const char *first, const char *second, int ofFiles, int asUser, PlatPlace *place)
{
    *place = NULL;
    // Unelevated, the program has only the user's rights to lend.
    if (!PlatIsElevated())
        return PLAT_OK;
    char folders[2][TEXT_FIELD_SIZE];
    const char *paths[2] = {folders[0], folders[1]};
    int count = 0;
    const char *given[2] = {first, second};
    for (int i = 0; i < 2; ++i) {
        if (!given[i])
            continue;
        int ok = ofFiles ? FolderOf(given[i], folders[count])
                         : TextCopy(folders[count], TEXT_FIELD_SIZE, given[i]);
        if (!ok)
            return SetStoreError(PLAT_ERROR_PATH_NOT_FOUND);
        ++count;
    }
    long held = PlatPlaceHold(paths, count, asUser, place);
    HeldAsUser = held == PLAT_OK && asUser;
    // No lower token to take (an administrator without UAC's split, Wine):
    // only a place inside the user's profile is worked in, still through no
    // link; one redirected elsewhere (System32) is refused.
    if (held == PLAT_ERROR_NO_TOKEN && InProfile(paths, count))
        held = PlatPlaceHold(paths, count, 0, place);
    if (held == PLAT_OK)
        return PLAT_OK;
    return SetStoreError(held == PLAT_ERROR_STOPPED_ON_SYMLINK ? CAUSE_PLACE_IS_LINK
                         : held == PLAT_ERROR_NO_TOKEN          ? CAUSE_NO_USER_RIGHTS
                                                                : held);
}

void ReleasePlace(PlatPlace place)
{
    if (place)
        PlatPlaceRelease(place);
}

long PlaceError(int asUser, PlatPlace place, long error)
{
    return asUser && place && HeldAsUser && error == PLAT_ERROR_ACCESS_DENIED ? CAUSE_USER_DENIED
                                                                              : error;
}

int PlaceStillHeld(PlatPlace place)
{
    long checked = place ? PlatPlaceCheck(place) : (long)PLAT_OK;
    if (checked == PLAT_OK)
        return 1;
    // Only a link is said to be one; a check that could not be made says why.
    SetStoreError(checked == PLAT_ERROR_STOPPED_ON_SYMLINK ? (long)CAUSE_PLACE_IS_LINK : checked);
    return 0;
}

// Makes the folder when missing, only while its parent is held. A parent
// made a link meanwhile (an empty one can be) gets an empty folder at most:
// the work that follows holds the whole way again and is refused there.
void MakeFolderHeld(const char *path, int asUser)
{
    if (PlatFileAttributes(path) != PLAT_NO_ATTRIBUTES)
        return;
    PlatPlace place = NULL;
    if (HoldPlace(path, NULL, 1, asUser, &place) == PLAT_OK)
        PlatCreateFolder(path);
    ReleasePlace(place);
}
