// platform_win32_processes.cpp - the user's SID and the processes running
// now (platform.h, "Processes") on Windows.
//
// A process is named by the full path of its image as the system gives it,
// never by the name the snapshot lists: a namesake elsewhere is another
// program. One the caller may not open (another user's, a protected one)
// is left out rather than guessed at.
#include "platform.h"
#include "text.h"

#include <windows.h>
#include <sddl.h>
#include <tlhelp32.h>
#include <string.h>

int PlatUserSid(char *sid, size_t size)
{
    if (size)
        sid[0] = '\0';
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    // A TOKEN_USER holds the SID after it: 256 bytes hold any.
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } info;
    DWORD got = 0;
    BOOL ok = GetTokenInformation(token, TokenUser, &info, sizeof info, &got);
    CloseHandle(token);
    char *text = NULL;
    if (!ok || !ConvertSidToStringSidA(info.user.User.Sid, &text) || !text)
        return 0;
    int fits = TextCopy(sid, size, text);
    LocalFree(text);
    if (!fits && size)
        sid[0] = '\0';
    return fits;
}

// The image's path of an open process in the code page, when it survives
// the code page whole (a '?' would name another file).
static int ImagePath(HANDLE process, char *image)
{
    WCHAR wide[MAX_PATH + 1], back[MAX_PATH + 1];
    DWORD length = MAX_PATH + 1;
    if (!QueryFullProcessImageNameW(process, 0, wide, &length) || !length)
        return 0;
    char text[4 * (MAX_PATH + 1)];
    int converted = WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, NULL, NULL);
    return converted && MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, back,
                                            MAX_PATH + 1)
           && wcscmp(back, wide) == 0 && TextCopy(image, PLAT_TEXT_SIZE, text);
}

long PlatProcessList(PlatProcess **processes, uint32_t *count)
{
    *processes = NULL;
    *count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return (long)GetLastError();
    PROCESSENTRY32W entry;
    // Counted first, so that the block is sized once; the snapshot holds still.
    uint32_t listed = 0;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        ++listed;
    PlatProcess *block =
        listed ? (PlatProcess *)GlobalAlloc(GPTR, (SIZE_T)listed * sizeof(PlatProcess)) : NULL;
    if (listed && !block) {
        CloseHandle(snapshot);
        return PLAT_ERROR_OUTOFMEMORY;
    }
    uint32_t taken = 0;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && taken < listed;
         more = Process32NextW(snapshot, &entry)) {
        if (!entry.th32ProcessID)
            continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        FILETIME created, exited, kernel, user;
        PlatProcess *p = &block[taken];
        if (GetProcessTimes(process, &created, &exited, &kernel, &user) && ImagePath(process, p->image)) {
            p->id = entry.th32ProcessID;
            p->startTime = ((uint64_t)created.dwHighDateTime << 32) | created.dwLowDateTime;
            ++taken;
        } else {
            memset(p, 0, sizeof *p);
        }
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    if (!taken && block) {
        GlobalFree((HGLOBAL)block);
        block = NULL;
    }
    *processes = block;
    *count = taken;
    return PLAT_OK;
}
