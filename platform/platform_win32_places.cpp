// platform_win32_places.cpp - holding the folders of work in the user's own
// places (platform.h, PlatPlaceHold).
//
// An elevated process that writes where HKCU's shell folders point, or
// through a folder any program of the user can replace by a junction, writes
// with administrator rights wherever that program chose. So each folder on
// the way is opened itself (FILE_FLAG_OPEN_REPARSE_POINT) and refused when it
// is a name surrogate, and stays open without FILE_SHARE_DELETE, so it can be
// neither renamed nor deleted (nor so swapped) until the work is done. The
// work itself may run with the desktop shell's token: the user's ordinary
// rights. The linked token (TokenLinkedToken) is no substitute: for a caller
// without the TCB privilege it is an identification token, which grants no
// access when impersonated, so it is used only when it says otherwise; Wine
// has neither (PLAT_ERROR_NO_TOKEN). A folder with a held folder in it is
// not empty and so cannot be made a junction in place; the last one of a
// chain can be, held or not, so PlatPlaceCheck looks again after the work.
#include "platform.h"

#include <windows.h>
#include <string.h>

#define PLACE_MAX_HANDLES 64

struct PlatPlaceTag {
    HANDLE handles[PLACE_MAX_HANDLES];
    int count;
    int impersonating;
};

// A copy of the desktop shell's token for impersonation, only when it is this
// process's user's (another account's shell does not own this user's places)
// and not elevated itself.
static HANDLE DesktopShellToken(HANDLE own)
{
    DWORD processId = 0;
    HWND desktop = GetShellWindow();
    if (!desktop || !GetWindowThreadProcessId(desktop, &processId) || !processId)
        return NULL;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (!process)
        return NULL;
    HANDLE token = NULL, copy = NULL;
    if (OpenProcessToken(process, TOKEN_DUPLICATE | TOKEN_QUERY, &token))
        DuplicateTokenEx(token, TOKEN_IMPERSONATE | TOKEN_QUERY, NULL, SecurityImpersonation,
                         TokenImpersonation, &copy);
    if (token)
        CloseHandle(token);
    CloseHandle(process);
    union {
        TOKEN_USER user;
        BYTE room[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    } mine, theirs;
    DWORD size = 0;
    // An elevated shell (UAC switched off) has no lower rights to lend.
    TOKEN_ELEVATION elevation = {1};
    if (copy
        && !(GetTokenInformation(own, TokenUser, &mine, sizeof mine, &size)
             && GetTokenInformation(copy, TokenUser, &theirs, sizeof theirs, &size)
             && EqualSid(mine.user.User.Sid, theirs.user.User.Sid)
             && GetTokenInformation(copy, TokenElevation, &elevation, sizeof elevation, &size)
             && !elevation.TokenIsElevated)) {
        CloseHandle(copy);
        copy = NULL;
    }
    return copy;
}

// The filtered half of this process's elevation, when it can be impersonated.
static HANDLE LinkedToken(HANDLE own)
{
    TOKEN_LINKED_TOKEN linked;
    DWORD size = 0;
    if (!GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size))
        return NULL;
    SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
    if (!GetTokenInformation(linked.LinkedToken, TokenImpersonationLevel, &level, sizeof level,
                             &size)
        || level < SecurityImpersonation) {
        CloseHandle(linked.LinkedToken);
        return NULL;
    }
    return linked.LinkedToken;
}

static int TakeUserRights(void)
{
    HANDLE own = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own))
        return 0;
    HANDLE user = DesktopShellToken(own);
    if (!user)
        user = LinkedToken(own);
    CloseHandle(own);
    if (!user)
        return 0;
    BOOL taken = SetThreadToken(NULL, user);
    CloseHandle(user);
    return taken ? 1 : 0;
}

// Opens one folder itself; PLAT_OK when it is an ordinary folder.
static long HoldFolder(const WCHAR *path, HANDLE *held)
{
    *held = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                        NULL);
    if (*held == INVALID_HANDLE_VALUE) {
        *held = NULL;
        return (long)GetLastError();
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(*held, &info))
        return (long)GetLastError();
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return PLAT_ERROR_PATH_NOT_FOUND;
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return PLAT_OK;
    FILE_ATTRIBUTE_TAG_INFO tag;
    // A reparse point whose kind cannot be read is not trusted.
    if (!GetFileInformationByHandleEx(*held, FileAttributeTagInfo, &tag, sizeof tag)
        || IsReparseTagNameSurrogate(tag.ReparseTag))
        return PLAT_ERROR_STOPPED_ON_SYMLINK;
    return PLAT_OK;
}

// Holds every folder of path below its root ("C:\" or "\\server\share\").
static long HoldChain(PlatPlace place, const char *path)
{
    WCHAR wide[MAX_PATH + 1];
    int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, wide, MAX_PATH + 1);
    if (length < 4)
        return PLAT_ERROR_INVALID_PARAMETER;
    int at = 0;
    if (wide[1] == L':' && wide[2] == L'\\') {
        at = 3;
    } else if (wide[0] == L'\\' && wide[1] == L'\\' && wide[2] != L'?' && wide[2] != L'.') {
        // Past "\\server\share\".
        int slashes = 0;
        for (at = 2; wide[at] && slashes < 2; ++at)
            slashes += wide[at] == L'\\';
        if (slashes < 2)
            return PLAT_ERROR_INVALID_PARAMETER;
    } else {
        // A device path, or a relative one: nothing to hold it by.
        return PLAT_ERROR_INVALID_PARAMETER;
    }
    while (wide[at]) {
        int end = at;
        while (wide[end] && wide[end] != L'\\' && wide[end] != L'/')
            ++end;
        int size = end - at;
        if (size == 0 || (wide[at] == L'.' && (size == 1 || (size == 2 && wide[at + 1] == L'.'))))
            return PLAT_ERROR_INVALID_PARAMETER;
        if (place->count == PLACE_MAX_HANDLES)
            return PLAT_ERROR_INVALID_PARAMETER;
        WCHAR saved = wide[end];
        wide[end] = L'\0';
        HANDLE held = NULL;
        long result = HoldFolder(wide, &held);
        if (held)
            place->handles[place->count++] = held;
        if (result != PLAT_OK)
            return result;
        wide[end] = saved;
        at = saved ? end + 1 : end;
    }
    return PLAT_OK;
}

long PlatPlaceCheck(PlatPlace place)
{
    if (!place)
        return PLAT_OK;
    for (int i = 0; i < place->count; ++i) {
        FILE_ATTRIBUTE_TAG_INFO tag;
        if (!GetFileInformationByHandleEx(place->handles[i], FileAttributeTagInfo, &tag, sizeof tag))
            return (long)GetLastError();
        if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            && IsReparseTagNameSurrogate(tag.ReparseTag))
            return PLAT_ERROR_STOPPED_ON_SYMLINK;
    }
    return PLAT_OK;
}

void PlatPlaceRelease(PlatPlace place)
{
    if (!place)
        return;
    while (place->count > 0)
        CloseHandle(place->handles[--place->count]);
    if (place->impersonating)
        RevertToSelf();
    GlobalFree((HGLOBAL)place);
}

long PlatPlaceHold(const char *const *folders, int count, int asUser, PlatPlace *place)
{
    *place = NULL;
    PlatPlace held = (PlatPlace)GlobalAlloc(GPTR, sizeof(PlatPlaceTag));
    if (!held)
        return PLAT_ERROR_OUTOFMEMORY;
    // The folders are opened with the rights the work will have.
    if (asUser) {
        if (!TakeUserRights()) {
            GlobalFree((HGLOBAL)held);
            return PLAT_ERROR_NO_TOKEN;
        }
        held->impersonating = 1;
    }
    long result = PLAT_OK;
    for (int i = 0; i < count && result == PLAT_OK; ++i)
        result = HoldChain(held, folders[i]);
    if (result != PLAT_OK) {
        PlatPlaceRelease(held);
        return result;
    }
    *place = held;
    return PLAT_OK;
}
