// platform_win32_services.cpp - the Service Control Manager behind platform.h.
//
// Windows keeps its services in the SCM's database, whose registry image
// (HKLM\System\CurrentControlSet\Services) only the SCM reads at boot: what
// runs, as what, and whether it starts delayed is the SCM's to say, so the
// list asks it (EnumServicesStatusEx, QueryServiceConfig and
// QueryServiceConfig2). Its names and paths are wide text: they leave this
// file in the process code page, as every other name does, a name the code
// page cannot spell marked as such. The SCM is opened with no more rights
// than each call needs: to enumerate, or to connect and query one service,
// or to change its configuration and read it back.
#include "platform.h"
#include "text.h"

#include <windows.h>
#include <string.h>

// The wide text in the process code page, cut at size (never inside a
// character); *exact (when asked) zero when the code page changed it.
static void Narrow(const WCHAR *wide, char *text, size_t size, int *exact, int *cut)
{
    text[0] = '\0';
    if (exact)
        *exact = 0;
    if (cut)
        *cut = 0;
    if (!wide)
        wide = L"";
    UINT page = GetACP();
    DWORD flags = page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    int bytes = WideCharToMultiByte(page, flags, wide, -1, NULL, 0, NULL, NULL);
    char *whole = bytes > 0 ? (char *)PlatAllocZero((size_t)bytes) : NULL;
    if (!whole)
        return;
    WideCharToMultiByte(page, flags, wide, -1, whole, bytes, NULL,
                        page == CP_UTF8 ? NULL : &usedDefault);
    int fitted = TextCopy(text, size, whole);
    if (!fitted && page == CP_UTF8) {
        // A cut UTF-8 sequence is no character: back off to its start.
        size_t length = strlen(text);
        while (length > 0 && ((unsigned char)text[length - 1] & 0xC0) == 0x80)
            --length;
        if (length > 0 && ((unsigned char)text[length - 1] & 0xC0) == 0xC0)
            --length;
        text[length] = '\0';
    }
    if (cut)
        *cut = !fitted;
    if (exact) {
        // Under UTF-8 a lone surrogate is what does not come back.
        int back = MultiByteToWideChar(page, 0, whole, -1, NULL, 0);
        WCHAR *again = back > 0 ? (WCHAR *)PlatAllocZero((size_t)back * sizeof(WCHAR)) : NULL;
        *exact = fitted && !usedDefault && again
                 && MultiByteToWideChar(page, 0, whole, -1, again, back)
                 && wcscmp(again, wide) == 0;
        PlatFree(again);
    }
    PlatFree(whole);
}

long PlatServiceList(PlatServiceStatus **services, uint32_t *count)
{
    *services = NULL;
    *count = 0;
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ENUMERATE_SERVICE);
    if (!manager)
        return (long)GetLastError();
    // The first call says how much room the whole list takes; services
    // added meanwhile make the next one ask for more, a few times at most.
    BYTE *block = NULL;
    DWORD needed = 0, returned = 0, resume = 0;
    long result = PLAT_OK;
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD room = needed;
        PlatFree(block);
        block = room ? (BYTE *)PlatAllocZero(room) : NULL;
        if (room && !block) {
            result = PLAT_ERROR_OUTOFMEMORY;
            break;
        }
        resume = 0;
        if (EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32,
                                  SERVICE_STATE_ALL, block, room, &needed, &returned, &resume,
                                  NULL)) {
            result = PLAT_OK;
            break;
        }
        result = (long)GetLastError();
        if (result != ERROR_MORE_DATA)
            break;
    }
    CloseServiceHandle(manager);
    if (result != PLAT_OK) {
        PlatFree(block);
        return result;
    }
    const ENUM_SERVICE_STATUS_PROCESSW *listed = (const ENUM_SERVICE_STATUS_PROCESSW *)block;
    PlatServiceStatus *out =
        returned ? (PlatServiceStatus *)PlatAllocZero((size_t)returned * sizeof *out) : NULL;
    if (returned && !out) {
        PlatFree(block);
        return PLAT_ERROR_OUTOFMEMORY;
    }
    uint32_t kept = 0;
    for (DWORD i = 0; i < returned; ++i) {
        const SERVICE_STATUS_PROCESS *status = &listed[i].ServiceStatusProcess;
        // SERVICE_WIN32 asks for no drivers; a type says so again.
        if (!(status->dwServiceType & (SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS)))
            continue;
        PlatServiceStatus *s = &out[kept++];
        int exact = 0, cut = 0;
        Narrow(listed[i].lpServiceName, s->name, sizeof s->name, &exact, &cut);
        s->exact = exact && !cut;
        Narrow(listed[i].lpDisplayName, s->displayName, sizeof s->displayName, NULL, NULL);
        s->type = status->dwServiceType;
        s->state = status->dwCurrentState;
        s->processId = status->dwProcessId;
    }
    PlatFree(block);
    *services = out;
    *count = kept;
    return PLAT_OK;
}

// QueryServiceConfig2W's answer for level, in a block to PlatFree; null on
// failure (the error then in *error).
static BYTE *QueryConfig2(SC_HANDLE service, DWORD level, long *error)
{
    DWORD needed = 0;
    *error = PLAT_OK;
    if (QueryServiceConfig2W(service, level, NULL, 0, &needed)
        || GetLastError() != ERROR_INSUFFICIENT_BUFFER || !needed) {
        *error = (long)GetLastError();
        return NULL;
    }
    BYTE *block = (BYTE *)PlatAllocZero(needed);
    if (!block) {
        *error = PLAT_ERROR_OUTOFMEMORY;
        return NULL;
    }
    if (!QueryServiceConfig2W(service, level, block, needed, &needed)) {
        *error = (long)GetLastError();
        PlatFree(block);
        return NULL;
    }
    return block;
}

// The name in wide text, to PlatFree; null when it cannot be converted.
static WCHAR *WideName(const char *name)
{
    int units = MultiByteToWideChar(CP_ACP, 0, name, -1, NULL, 0);
    WCHAR *wide = units > 0 ? (WCHAR *)PlatAllocZero((size_t)units * sizeof(WCHAR)) : NULL;
    if (wide)
        MultiByteToWideChar(CP_ACP, 0, name, -1, wide, units);
    return wide;
}

long PlatServiceQuery(const char *name, PlatServiceConfig *config)
{
    memset(config, 0, sizeof *config);
    config->delayed = -1;
    WCHAR *wideName = WideName(name);
    if (!wideName)
        return PLAT_ERROR_INVALID_PARAMETER;
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceW(manager, wideName, SERVICE_QUERY_CONFIG) : NULL;
    long result = service ? (long)PLAT_OK : (long)GetLastError();
    PlatFree(wideName);
    DWORD needed = 0;
    QUERY_SERVICE_CONFIGW *query = NULL;
    if (result == PLAT_OK && !QueryServiceConfigW(service, NULL, 0, &needed)) {
        result = GetLastError() == ERROR_INSUFFICIENT_BUFFER ? (long)PLAT_OK : (long)GetLastError();
        query = result == PLAT_OK ? (QUERY_SERVICE_CONFIGW *)PlatAllocZero(needed) : NULL;
        if (result == PLAT_OK && !query)
            result = PLAT_ERROR_OUTOFMEMORY;
        if (query && !QueryServiceConfigW(service, query, needed, &needed))
            result = (long)GetLastError();
    }
    if (result == PLAT_OK && query) {
        config->type = query->dwServiceType;
        config->startType = query->dwStartType;
        int cut = 0;
        Narrow(query->lpBinaryPathName, config->binaryPath, sizeof config->binaryPath, NULL,
               &cut);
        config->binaryPathCut = cut;
        Narrow(query->lpServiceStartName, config->account, sizeof config->account, NULL, NULL);
        // What the SCM cannot say beyond the configuration is left unknown,
        // never taken for "no": the delayed flag is -1 then.
        long error = PLAT_OK;
        BYTE *delayed = QueryConfig2(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &error);
        if (delayed)
            config->delayed =
                ((SERVICE_DELAYED_AUTO_START_INFO *)delayed)->fDelayedAutostart ? 1 : 0;
        PlatFree(delayed);
        BYTE *described = QueryConfig2(service, SERVICE_CONFIG_DESCRIPTION, &error);
        if (described)
            Narrow(((SERVICE_DESCRIPTIONW *)described)->lpDescription, config->description,
                   sizeof config->description, NULL, NULL);
        PlatFree(described);
    } else if (result == PLAT_OK) {
        result = PLAT_ERROR_READ_FAULT;
    }
    PlatFree(query);
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return result;
}

// The start type the SCM holds for service, read with QueryServiceConfig;
// PLAT_OK or the error.
static long StartTypeOf(SC_HANDLE service, DWORD *startType)
{
    DWORD needed = 0;
    if (QueryServiceConfigW(service, NULL, 0, &needed)
        || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return (long)GetLastError();
    QUERY_SERVICE_CONFIGW *query = (QUERY_SERVICE_CONFIGW *)PlatAllocZero(needed);
    if (!query)
        return PLAT_ERROR_OUTOFMEMORY;
    long result = QueryServiceConfigW(service, query, needed, &needed) ? (long)PLAT_OK
                                                                       : (long)GetLastError();
    *startType = query->dwStartType;
    PlatFree(query);
    return result;
}

long PlatServiceSetStart(const char *name, uint32_t startType)
{
    WCHAR *wideName = WideName(name);
    if (!wideName)
        return PLAT_ERROR_INVALID_PARAMETER;
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceW(manager, wideName,
                                               SERVICE_CHANGE_CONFIG | SERVICE_QUERY_CONFIG)
                                : NULL;
    long result = service ? (long)PLAT_OK : (long)GetLastError();
    PlatFree(wideName);
    // Only the start type: SERVICE_NO_CHANGE and nulls keep every other
    // setting, the account's password among them.
    if (result == PLAT_OK
        && !ChangeServiceConfigW(service, SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, NULL,
                                 NULL, NULL, NULL, NULL, NULL, NULL))
        result = (long)GetLastError();
    DWORD now = SERVICE_NO_CHANGE;
    if (result == PLAT_OK)
        result = StartTypeOf(service, &now);
    if (result == PLAT_OK && now != startType)
        result = PLAT_ERROR_WRITE_FAULT;
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return result;
}
