// platform_win32.cpp - the platform interface (platform.h) on Windows.
//
// Each operation is the ANSI Win32 call the program is specified against,
// with the flags it names; the wrapper adds only what keeps the logic above
// it simple and safe: sizes checked, strings always terminated, and the
// cases where Windows leaves buffers undefined (ERROR_MORE_DATA) turned
// into a defined result. Where the code page could change a name or a
// value's bytes, the wide calls are used here, and only here: names are
// checked against their stored form, and values are copied as stored.
#include "platform.h"
#include "network_path.h"
#include "text.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <shlwapi.h>
#include <stdlib.h>

#include <atomic>
#include <string.h>

// The longest value name the registry allows, and its terminator.
#define MAX_VALUE_NAME 16384

static HKEY HiveKey(PlatHive hive)
{
    return hive == PLAT_HKCU ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// The view flag of every open, create and delete. 32-bit Windows ignores
// both flags; HKCU\Software has one view and gets none.
static REGSAM ViewFlag(PlatHive hive)
{
    if (hive == PLAT_HKLM)
        return KEY_WOW64_64KEY;
    if (hive == PLAT_HKLM32)
        return KEY_WOW64_32KEY;
    return 0;
}

typedef BOOL(WINAPI *IsWow64ProcessFunction)(HANDLE process, PBOOL wow64);
typedef LONG(WINAPI *RegDeleteKeyExFunction)(HKEY key, LPCSTR subkey, REGSAM sam, DWORD reserved);

// Looked up at run time: older systems lack these entries.
static FARPROC SystemEntry(const char *module, const char *name)
{
    HMODULE loaded = GetModuleHandleA(module);
    return loaded ? GetProcAddress(loaded, name) : NULL;
}

int PlatFilesRedirected(void)
{
#ifdef _WIN64
    return 0;
#else
    // Asked from every detail thread: each may find it, all alike.
    static std::atomic<int> known(-1);
    if (known.load() < 0) {
        IsWow64ProcessFunction isWow64 =
            (IsWow64ProcessFunction)(void *)SystemEntry("kernel32.dll", "IsWow64Process");
        BOOL wow64 = FALSE;
        known.store(isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64 ? 1 : 0);
    }
    return known.load();
#endif
}

int PlatHasTwoViews(void)
{
#ifdef _WIN64
    return 1;
#else
    return PlatFilesRedirected();
#endif
}

static HKEY ToHkey(PlatKey key)
{
    return (HKEY)key;
}

// ---- Registry -----------------------------------------------------------

long PlatRegOpenRead(PlatHive hive, const char *path, PlatKey *key)
{
    HKEY opened = NULL;
    LONG result = RegOpenKeyExA(HiveKey(hive), path, 0,
                                KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | ViewFlag(hive),
                                &opened);
    *key = result == ERROR_SUCCESS ? (PlatKey)opened : NULL;
    return result;
}

long PlatRegCreate(PlatHive hive, const char *path, PlatKeyAccess access, PlatKey *key)
{
    HKEY opened = NULL;
    REGSAM sam = (access == PLAT_KEY_ALL_ACCESS ? KEY_ALL_ACCESS : KEY_WRITE) | ViewFlag(hive);
    LONG result = RegCreateKeyExA(HiveKey(hive), path, 0, NULL, REG_OPTION_NON_VOLATILE, sam,
                                  NULL, &opened, NULL);
    *key = result == ERROR_SUCCESS ? (PlatKey)opened : NULL;
    return result;
}

// After ERROR_MORE_DATA Windows leaves the buffers in no defined state and
// does not say which part was too long. Ask again with room for any name and
// no data to learn the whole name and the data's length, then deliver the
// name cut to fit and the data only when it fits.
static long EnumValueTooLong(HKEY key, DWORD index, char *name, uint32_t nameSize,
                             uint32_t *type, void *data, uint32_t *dataSize)
{
    static thread_local char wholeName[MAX_VALUE_NAME];
    DWORD nameLength = sizeof wholeName;
    DWORD valueType = REG_NONE;
    DWORD needed = 0;
    LONG result = RegEnumValueA(key, index, wholeName, &nameLength, NULL, &valueType, NULL,
                                data ? &needed : NULL);
    if (result == ERROR_NO_MORE_ITEMS)
        return result;
    if (result != ERROR_SUCCESS)
        wholeName[0] = '\0';
    wholeName[sizeof wholeName - 1] = '\0';
    TextCopy(name, nameSize, wholeName);
    if (type)
        *type = valueType;
    if (!data)
        return ERROR_MORE_DATA;

    uint32_t room = *dataSize;
    DWORD got = room;
    memset(data, 0, room);
    if (result == ERROR_SUCCESS && needed <= room
        && RegQueryValueExA(key, wholeName, NULL, &valueType, (BYTE *)data, &got)
               == ERROR_SUCCESS) {
        *dataSize = got;
    } else {
        memset(data, 0, room);
        *dataSize = needed;
    }
    return ERROR_MORE_DATA;
}

long PlatRegEnumValue(PlatKey key, uint32_t index, char *name, uint32_t nameSize,
                      uint32_t *type, void *data, uint32_t *dataSize)
{
    if (!name || nameSize == 0)
        return ERROR_INVALID_PARAMETER;
    name[0] = '\0';
    DWORD nameLength = nameSize;
    DWORD valueType = REG_NONE;
    DWORD size = data ? *dataSize : 0;
    LONG result = RegEnumValueA(ToHkey(key), index, name, &nameLength, NULL, &valueType,
                                (BYTE *)data, data ? &size : NULL);
    if (result == ERROR_MORE_DATA)
        return EnumValueTooLong(ToHkey(key), index, name, nameSize, type, data, dataSize);
    name[nameSize - 1] = '\0';
    if (result != ERROR_SUCCESS) {
        name[0] = '\0';
        return result;
    }
    if (type)
        *type = valueType;
    if (data)
        *dataSize = size;
    return result;
}

// The wide form of a name of the code page; null stays null (the default
// value). Names are at most MAX_VALUE_NAME characters. The buffers of the
// calls below are per thread: the scan worker reads while the window writes.
static const WCHAR *WideName(const char *name, WCHAR *buffer, int room)
{
    if (!name)
        return NULL;
    if (!MultiByteToWideChar(CP_ACP, 0, name, -1, buffer, room))
        buffer[0] = L'\0';
    buffer[room - 1] = L'\0';
    return buffer;
}

int PlatRegNameExact(PlatKey key, uint32_t index, const char *name)
{
    static thread_local WCHAR stored[MAX_VALUE_NAME];
    static thread_local WCHAR given[MAX_VALUE_NAME];
    DWORD length = MAX_VALUE_NAME;
    if (RegEnumValueW(ToHkey(key), index, stored, &length, NULL, NULL, NULL, NULL)
        != ERROR_SUCCESS)
        return 0;
    // Strict conversion: a byte the code page cannot read is no name.
    if (!MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, given, MAX_VALUE_NAME))
        return 0;
    return wcscmp(stored, given) == 0 ? 1 : 0;
}

long PlatRegReadRaw(PlatKey key, const char *name, uint32_t *type, void *data,
                    uint32_t *dataSize)
{
    static thread_local WCHAR wide[MAX_VALUE_NAME];
    DWORD valueType = REG_NONE;
    DWORD size = data ? *dataSize : 0;
    LONG result = RegQueryValueExW(ToHkey(key), WideName(name, wide, MAX_VALUE_NAME), NULL,
                                   &valueType, (BYTE *)data, &size);
    if (type)
        *type = valueType;
    if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA)
        *dataSize = size;
    return result;
}

long PlatRegWriteRaw(PlatKey key, const char *name, uint32_t type, const void *data,
                     uint32_t size)
{
    static thread_local WCHAR wide[MAX_VALUE_NAME];
    // Windows adds a terminator to a string whose next character in memory
    // is zero ("the user forgot to count it"): the bytes are written from a
    // copy followed by non-zero bytes, so an unterminated value stays so.
    BYTE *padded = (BYTE *)malloc((size_t)size + 4);
    if (!padded)
        return ERROR_OUTOFMEMORY;
    if (size)
        memcpy(padded, data, size);
    memset(padded + size, 0xFF, 4);
    LONG result = RegSetValueExW(ToHkey(key), WideName(name, wide, MAX_VALUE_NAME), 0, type,
                                 padded, size);
    free(padded);
    return result;
}

long PlatRegQueryValue(PlatKey key, const char *name, uint32_t *type, void *data,
                       uint32_t *dataSize)
{
    DWORD valueType = REG_NONE;
    DWORD size = data ? *dataSize : 0;
    LONG result = RegQueryValueExA(ToHkey(key), name, NULL, &valueType, (BYTE *)data, &size);
    if (type)
        *type = valueType;
    if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA)
        *dataSize = size;
    return result;
}

long PlatRegSetValue(PlatKey key, const char *name, uint32_t type, const void *data,
                     uint32_t size)
{
    return RegSetValueExA(ToHkey(key), name, 0, type, (const BYTE *)data, size);
}

long PlatRegDeleteValue(PlatKey key, const char *name)
{
    return RegDeleteValueA(ToHkey(key), name);
}

long PlatRegDeleteSubkey(PlatHive hive, PlatKey key, const char *subkey)
{
    RegDeleteKeyExFunction deleteKeyEx =
        (RegDeleteKeyExFunction)(void *)SystemEntry("advapi32.dll", "RegDeleteKeyExA");
    // Without RegDeleteKeyExA the system has one view only.
    if (!deleteKeyEx)
        return RegDeleteKeyA(ToHkey(key), subkey);
    return deleteKeyEx(ToHkey(key), subkey, ViewFlag(hive), 0);
}

long PlatRegEnumKey(PlatKey key, uint32_t index, char *name, uint32_t nameSize)
{
    if (!name || nameSize == 0)
        return ERROR_INVALID_PARAMETER;
    char whole[PLAT_KEY_NAME_SIZE];
    DWORD length = sizeof whole;
    LONG result = RegEnumKeyExA(ToHkey(key), index, whole, &length, NULL, NULL, NULL, NULL);
    whole[sizeof whole - 1] = '\0';
    TextCopy(name, nameSize, result == ERROR_SUCCESS ? whole : "");
    return result;
}

long PlatRegKeyState(PlatKey key, PlatKeyState *state)
{
    memset(state, 0, sizeof *state);
    DWORD values = 0, subkeys = 0;
    FILETIME written = {0, 0};
    LONG result = RegQueryInfoKeyA(ToHkey(key), NULL, NULL, NULL, &subkeys, NULL, NULL, &values,
                                   NULL, NULL, NULL, &written);
    if (result != ERROR_SUCCESS)
        return result;
    state->written = ((uint64_t)written.dwHighDateTime << 32) | written.dwLowDateTime;
    state->values = values;
    state->subkeys = subkeys;
    return result;
}

long PlatRegClose(PlatKey key)
{
    return RegCloseKey(ToHkey(key));
}

// ---- Shell folders and files -------------------------------------------

int PlatShellFolder(int csidl, char *path)
{
    path[0] = '\0';
    BOOL ok = SHGetSpecialFolderPathA(NULL, path, csidl, TRUE);
    path[PLAT_TEXT_SIZE - 1] = '\0';
    if (!ok)
        path[0] = '\0';
    return ok ? 1 : 0;
}

int PlatIndirectString(const char *source, char *text, size_t size)
{
    if (size)
        text[0] = '\0';
    WCHAR wide[PLAT_TEXT_SIZE], resolved[PLAT_TEXT_SIZE];
    if (!size || !MultiByteToWideChar(CP_ACP, 0, source, -1, wide, PLAT_TEXT_SIZE)
        || SHLoadIndirectString(wide, resolved, PLAT_TEXT_SIZE, NULL) != S_OK)
        return 0;
    resolved[PLAT_TEXT_SIZE - 1] = L'\0';
    // Some versions hand back what they cannot resolve as it was given.
    if (resolved[0] == L'@' || lstrcmpW(resolved, wide) == 0)
        return 0;
    int length = WideCharToMultiByte(CP_ACP, 0, resolved, -1, text, (int)size, NULL, NULL);
    if (length <= 0) {
        text[0] = '\0';
        return 0;
    }
    return 1;
}

int PlatCreateFolder(const char *path)
{
    return CreateDirectoryA(path, NULL) ? 1 : 0;
}

// A search, and whether the last name it gave is the file's name exactly.
struct PlatFindTag {
    HANDLE handle;
    int exact;
    DWORD attributes;
    uint64_t size;
    uint64_t writeTime;
};

// The code page's form of a found file's name; the search remembers whether
// it gives the stored name back (no '?', no look-alike, not cut).
static void DeliverFoundName(PlatFind find, const WCHAR *stored, char *name)
{
    char converted[4 * MAX_PATH];
    WCHAR back[MAX_PATH + 1];
    int length = WideCharToMultiByte(CP_ACP, 0, stored, -1, converted, sizeof converted, NULL,
                                     NULL);
    if (!length)
        converted[0] = '\0';
    int fits = TextCopy(name, PLAT_TEXT_SIZE, converted);
    find->exact = length && fits
                  && MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, converted, -1, back,
                                         MAX_PATH + 1)
                  && wcscmp(back, stored) == 0;
}

PlatFind PlatFindFirst(const char *pattern, char *name)
{
    WCHAR widePattern[MAX_PATH + 8];
    WIN32_FIND_DATAW found;
    name[0] = '\0';
    if (!MultiByteToWideChar(CP_ACP, 0, pattern, -1, widePattern, MAX_PATH + 8))
        return NULL;
    HANDLE handle = FindFirstFileW(widePattern, &found);
    if (handle == INVALID_HANDLE_VALUE)
        return NULL;
    PlatFind find = (PlatFind)GlobalAlloc(GPTR, sizeof(PlatFindTag));
    if (!find) {
        FindClose(handle);
        return NULL;
    }
    find->handle = handle;
    find->attributes = found.dwFileAttributes;
    find->size = ((uint64_t)found.nFileSizeHigh << 32) | found.nFileSizeLow;
    find->writeTime = ((uint64_t)found.ftLastWriteTime.dwHighDateTime << 32)
                      | found.ftLastWriteTime.dwLowDateTime;
    DeliverFoundName(find, found.cFileName, name);
    return find;
}

int PlatFindNext(PlatFind find, char *name)
{
    WIN32_FIND_DATAW found;
    if (!FindNextFileW(find->handle, &found)) {
        name[0] = '\0';
        find->exact = 0;
        return 0;
    }
    find->attributes = found.dwFileAttributes;
    find->size = ((uint64_t)found.nFileSizeHigh << 32) | found.nFileSizeLow;
    find->writeTime = ((uint64_t)found.ftLastWriteTime.dwHighDateTime << 32)
                      | found.ftLastWriteTime.dwLowDateTime;
    DeliverFoundName(find, found.cFileName, name);
    return 1;
}

uint32_t PlatFindAttributes(PlatFind find)
{
    return find ? find->attributes : 0;
}

uint64_t PlatFindSize(PlatFind find)
{
    return find ? find->size : 0;
}

uint64_t PlatFindWriteTime(PlatFind find)
{
    return find ? find->writeTime : 0;
}

int PlatFindExact(PlatFind find)
{
    return find && find->exact;
}

void PlatFindClose(PlatFind find)
{
    if (!find)
        return;
    FindClose(find->handle);
    GlobalFree((HGLOBAL)find);
}

int PlatMoveFile(const char *from, const char *to)
{
    // MoveFileA never replaces an existing destination.
    return MoveFileA(from, to) ? 1 : 0;
}

int PlatReplaceFile(const char *from, const char *to)
{
    // Within a volume a rename: the old file stays until the new one takes its name.
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 1 : 0;
}

int PlatDeleteFile(const char *path)
{
    return DeleteFileA(path) ? 1 : 0;
}

int PlatCopyFile(const char *from, const char *to)
{
    if (!CopyFileA(from, to, TRUE))
        return 0;
    // CopyFile keeps the attributes: a hidden file's backup would stay hidden.
    DWORD attributes = GetFileAttributesA(to);
    const DWORD unwanted = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & unwanted)) {
        DWORD plain = attributes & ~unwanted;
        SetFileAttributesA(to, plain ? plain : FILE_ATTRIBUTE_NORMAL);
    }
    return 1;
}

uint32_t PlatFileAttributes(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes == INVALID_FILE_ATTRIBUTES ? PLAT_NO_ATTRIBUTES : (uint32_t)attributes;
}

void PlatLocalTime(PlatTime *now)
{
    SYSTEMTIME time;
    GetLocalTime(&time);
    now->year = time.wYear;
    now->month = time.wMonth;
    now->day = time.wDay;
    now->hour = time.wHour;
    now->minute = time.wMinute;
    now->second = time.wSecond;
}

uint64_t PlatFileTimeNow(void)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return ((uint64_t)now.dwHighDateTime << 32) | now.dwLowDateTime;
}

int PlatFileTimeToLocal(uint64_t fileTime, PlatTime *local)
{
    FILETIME utc = {(DWORD)fileTime, (DWORD)(fileTime >> 32)};
    SYSTEMTIME system, time;
    // Through the time zone rules of that date, not today's offset.
    if (!FileTimeToSystemTime(&utc, &system) || !SystemTimeToTzSpecificLocalTime(NULL, &system, &time))
        return 0;
    local->year = time.wYear;
    local->month = time.wMonth;
    local->day = time.wDay;
    local->hour = time.wHour;
    local->minute = time.wMinute;
    local->second = time.wSecond;
    return 1;
}

int PlatComputerName(char *name, size_t size)
{
    // Room for every character of the longest name in UTF-8.
    char text[4 * MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = sizeof text;
    if (size)
        name[0] = '\0';
    if (!GetComputerNameA(text, &length) || !text[0])
        return 0;
    TextCopy(name, size, text);
    return size > 0;
}

int PlatLocalTimeOffset(PlatTime *now, int32_t *minutesAhead)
{
    // One reading of the clock, made local by the zone's rules for that
    // moment: the difference is the offset exactly.
    SYSTEMTIME utc, local;
    GetSystemTime(&utc);
    FILETIME utcFile, localFile;
    int known = SystemTimeToTzSpecificLocalTime(NULL, &utc, &local)
                && SystemTimeToFileTime(&utc, &utcFile) && SystemTimeToFileTime(&local, &localFile);
    if (!known)
        GetLocalTime(&local);
    now->year = local.wYear;
    now->month = local.wMonth;
    now->day = local.wDay;
    now->hour = local.wHour;
    now->minute = local.wMinute;
    now->second = local.wSecond;
    if (!known)
        return 0;
    ULARGE_INTEGER a, b;
    a.LowPart = localFile.dwLowDateTime;
    a.HighPart = localFile.dwHighDateTime;
    b.LowPart = utcFile.dwLowDateTime;
    b.HighPart = utcFile.dwHighDateTime;
    // FILETIME counts 100 ns: 600 000 000 to a minute.
    *minutesAhead = (int32_t)(((int64_t)a.QuadPart - (int64_t)b.QuadPart) / 600000000);
    return 1;
}

int PlatUserName(char *name, size_t size)
{
    // The wide call: the "A" one counts its room in characters, not the
    // bytes a UTF-8 name takes. 256 characters and a terminator at most.
    WCHAR wide[257];
    DWORD length = sizeof wide / sizeof wide[0];
    char text[4 * 257];
    if (size)
        name[0] = '\0';
    if (!GetUserNameW(wide, &length) || !wide[0]
        || WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, NULL, NULL) <= 0)
        return 0;
    TextCopy(name, size, text);
    return size > 0;
}

int PlatIsNetworkPath(const char *path)
{
    int network = 0;
    char drive = PathDriveOf(path, &network);
    if (network || !drive)
        return network;
    // The drive's kind is local bookkeeping: no server is asked.
    char root[4] = {drive, ':', '\\', '\0'};
    return GetDriveTypeA(root) == DRIVE_REMOTE;
}

int PlatFileExists(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int PlatFileStamp(const char *path, uint64_t *size, uint64_t *writeTime)
{
    *size = *writeTime = 0;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)
        || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    *size = ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    *writeTime = ((uint64_t)data.ftLastWriteTime.dwHighDateTime << 32)
                 | data.ftLastWriteTime.dwLowDateTime;
    return 1;
}

int PlatSearchProgram(const char *name, char *found)
{
    // The folders the logon searches, never this program's own folder or
    // its current folder (SearchPathA's first two when given no path), nor
    // a folder of PATH that is relative or on the network (a search there
    // waits on the server).
    found[0] = '\0';
    // The Windows folder from the system: %windir% is the user's to set.
    char windows[MAX_PATH], folders[2 * MAX_PATH + 32];
    UINT windowsLength = GetSystemWindowsDirectoryA(windows, sizeof windows);
    if (!windowsLength || windowsLength >= sizeof windows
        || !TextFormat(folders, sizeof folders, "%s;%s\\System32;%%PATH%%", windows, windows))
        return 0;
    DWORD needed = ExpandEnvironmentStringsA(folders, NULL, 0);
    char *list = needed ? (char *)malloc(needed) : NULL;
    char *kept = needed ? (char *)malloc(needed + 1) : NULL;
    if (!list || !kept) {
        free(list);
        free(kept);
        return 0;
    }
    ExpandEnvironmentStringsA(folders, list, needed);
    size_t keptLength = 0;
    for (char *folder = strtok(list, ";"); folder; folder = strtok(NULL, ";")) {
        size_t length = strlen(folder);
        if (folder[0] == '"' && length >= 2 && folder[length - 1] == '"') {
            folder[--length] = '\0';
            ++folder;
            --length;
        }
        int letter = (folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z');
        int full = letter && folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/');
        if (!full || PlatIsNetworkPath(folder))
            continue;
        if (keptLength)
            kept[keptLength++] = ';';
        memcpy(kept + keptLength, folder, length);
        keptLength += length;
    }
    kept[keptLength] = '\0';
    free(list);
    char path[MAX_PATH];
    char *unused = NULL;
    DWORD length = keptLength ? SearchPathA(kept, name, ".exe", sizeof path, path, &unused) : 0;
    free(kept);
    if (length == 0 || length >= sizeof path || !PlatFileExists(path))
        return 0;
    return TextCopy(found, PLAT_TEXT_SIZE, path);
}

PlatFile PlatFileCreate(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    return file == INVALID_HANDLE_VALUE ? NULL : (PlatFile)file;
}

PlatFile PlatFileCreateNew(const char *path)
{
    // CREATE_NEW never opens what is there, a planted link included.
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    return file == INVALID_HANDLE_VALUE ? NULL : (PlatFile)file;
}

PlatFile PlatFileAppend(const char *path)
{
    // Reading and appending only: every write lands at the end, whatever
    // the file pointer says.
    HANDLE file = CreateFileA(path, GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    return file == INVALID_HANDLE_VALUE ? NULL : (PlatFile)file;
}

void PlatSleep(uint32_t milliseconds)
{
    Sleep(milliseconds);
}

long PlatLastError(void)
{
    return (long)GetLastError();
}

PlatFile PlatFileHold(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    return file == INVALID_HANDLE_VALUE ? NULL : (PlatFile)file;
}

uint32_t PlatFileRead(PlatFile file, void *data, uint32_t size)
{
    DWORD got = 0;
    return ReadFile((HANDLE)file, data, size, &got, NULL) ? got : 0;
}

int PlatFolderIsLink(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return 0;
    // The reparse tag of a found entry is in dwReserved0.
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(path, &found);
    if (find == INVALID_HANDLE_VALUE)
        return 1; // a reparse point whose kind cannot be read: not trusted
    FindClose(find);
    return IsReparseTagNameSurrogate(found.dwReserved0) ? 1 : 0;
}

int PlatFileWrite(PlatFile file, const void *data, uint32_t size)
{
    DWORD written = 0;
    return WriteFile((HANDLE)file, data, size, &written, NULL) && written == size ? 1 : 0;
}

int PlatFileClose(PlatFile file)
{
    return CloseHandle((HANDLE)file) ? 1 : 0;
}

void *PlatFileLoad(const char *path, uint32_t *size)
{
    *size = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    DWORD high = 0;
    DWORD length = GetFileSize(file, &high);
    char *block = NULL;
    DWORD got = 0;
    // Two zero bytes after the content, so a reader of UTF-16 text can stop.
    if (length != INVALID_FILE_SIZE && high == 0 && length < 0x7FFFFFF0)
        block = (char *)GlobalAlloc(GPTR, (SIZE_T)length + 2);
    if (block && (!ReadFile(file, block, length, &got, NULL) || got != length)) {
        GlobalFree((HGLOBAL)block);
        block = NULL;
    }
    CloseHandle(file);
    if (block)
        *size = length;
    return block;
}

long PlatFileLoadMost(const char *path, uint32_t most, void **data, uint32_t *size)
{
    *data = NULL;
    *size = 0;
    // The writer (a service) may hold it open: every sharing is granted.
    HANDLE file = CreateFileA(path, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return (long)GetLastError();
    LARGE_INTEGER length;
    long result = PLAT_OK;
    char *block = NULL;
    if (!GetFileSizeEx(file, &length))
        result = (long)GetLastError();
    else if (length.QuadPart < 0 || (uint64_t)length.QuadPart > most)
        result = PLAT_ERROR_MORE_DATA;
    else if (!(block = (char *)GlobalAlloc(GPTR, (SIZE_T)length.QuadPart + 2)))
        result = PLAT_ERROR_OUTOFMEMORY;
    DWORD got = 0;
    BOOL read = block && ReadFile(file, block, (DWORD)length.QuadPart, &got, NULL);
    if (block && (!read || got != (DWORD)length.QuadPart)) {
        // A file cut short meanwhile is not read in part.
        result = read ? (long)PLAT_ERROR_READ_FAULT : (long)GetLastError();
        GlobalFree((HGLOBAL)block);
        block = NULL;
    }
    CloseHandle(file);
    if (block) {
        *data = block;
        *size = (uint32_t)length.QuadPart;
    }
    return result;
}

// ---- Shortcuts ----------------------------------------------------------

// Reads one text of the link; a failure leaves only that output empty.
static HRESULT ReadLinkText(HRESULT status, char *buffer, char *output)
{
    buffer[PLAT_TEXT_SIZE - 1] = '\0';
    if (SUCCEEDED(status))
        TextCopy(output, PLAT_TEXT_SIZE, buffer);
    return status;
}

int32_t PlatResolveShortcut(void *owner, const char *linkPath, uint32_t flags, char *target,
                            char *comment, char *arguments)
{
    target[0] = comment[0] = arguments[0] = '\0';

    IShellLinkA *link = NULL;
    HRESULT status = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, (void **)&link);
    if (FAILED(status))
        return status;

    IPersistFile *file = NULL;
    status = link->QueryInterface(IID_IPersistFile, (void **)&file);
    if (FAILED(status)) {
        link->Release();
        return status;
    }

    WCHAR widePath[PLAT_TEXT_SIZE];
    if (!MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, PLAT_TEXT_SIZE))
        status = HRESULT_FROM_WIN32(GetLastError());
    else
        status = file->Load(widePath, STGM_READ);
    // The stored target first: resolving a link to a share, or asking a
    // share for a long name, waits on the server.
    int network = 0;
    if (SUCCEEDED(status)) {
        char stored[PLAT_TEXT_SIZE];
        WIN32_FIND_DATAA found;
        stored[0] = '\0';
        if (SUCCEEDED(link->GetPath(stored, PLAT_TEXT_SIZE, &found, 0)))
            stored[PLAT_TEXT_SIZE - 1] = '\0';
        else
            stored[0] = '\0';
        network = stored[0] && PlatIsNetworkPath(stored);
    }
    if (SUCCEEDED(status) && !network)
        status = link->Resolve((HWND)owner, flags);
    if (SUCCEEDED(status)) {
        char buffer[PLAT_TEXT_SIZE];
        WIN32_FIND_DATAA found;
        buffer[0] = '\0';
        status = ReadLinkText(link->GetPath(buffer, PLAT_TEXT_SIZE, &found, 0), buffer, target);
        // A link may store its target in 8.3 form: the long form is what a
        // person reads and what a command line names.
        char longPath[PLAT_TEXT_SIZE];
        network = network || PlatIsNetworkPath(target);
        DWORD longLength = target[0] && !network ? GetLongPathNameA(target, longPath, PLAT_TEXT_SIZE) : 0;
        if (longLength > 0 && longLength < PLAT_TEXT_SIZE)
            TextCopy(target, PLAT_TEXT_SIZE, longPath);
        buffer[0] = '\0';
        status = ReadLinkText(link->GetDescription(buffer, PLAT_TEXT_SIZE), buffer, comment);
        buffer[0] = '\0';
        status = ReadLinkText(link->GetArguments(buffer, PLAT_TEXT_SIZE), buffer, arguments);
    }
    file->Release();
    link->Release();
    return status;
}

// ---- Version information ------------------------------------------------

uint32_t PlatVersionSize(const char *path)
{
    DWORD unused = 0;
    if (!path || !path[0])
        return 0;
    return GetFileVersionInfoSizeA(path, &unused);
}

int PlatVersionRead(const char *path, uint32_t size, void *block)
{
    return GetFileVersionInfoA(path, 0, size, block) ? 1 : 0;
}

int PlatVersionQuery(const void *block, const char *subBlock, const void **value,
                     uint32_t *length)
{
    void *found = NULL;
    UINT foundLength = 0;
    if (!VerQueryValueA(block, subBlock, &found, &foundLength) || !found) {
        *value = NULL;
        *length = 0;
        return 0;
    }
    *value = found;
    *length = foundLength;
    return 1;
}

// ---- Environment, memory, errors ---------------------------------------

uint32_t PlatExpandEnvironment(const char *source, char *dest, uint32_t destSize)
{
    // Expand into a buffer that holds any expansion, so a result that does
    // not fit the caller's field is cut there rather than left undefined.
    DWORD room = 32768;
    char *whole = (char *)malloc(room);
    DWORD needed = whole ? ExpandEnvironmentStringsA(source, whole, room) : 0;
    if (needed > room) {
        char *larger = (char *)realloc(whole, needed);
        if (larger) {
            whole = larger;
            room = needed;
            needed = ExpandEnvironmentStringsA(source, whole, room);
        }
    }
    if (needed == 0 || needed > room)
        TextCopy(dest, destSize, source);
    else
        TextCopy(dest, destSize, whole);
    free(whole);
    return needed > room ? 0 : needed;
}

typedef int(WINAPI *CompareStringOrdinalFunction)(LPCWCH a, int aLength, LPCWCH b, int bLength,
                                                  BOOL ignoreCase);

int PlatNamesEqual(const char *a, const char *b)
{
    static thread_local WCHAR wideA[MAX_VALUE_NAME];
    static thread_local WCHAR wideB[MAX_VALUE_NAME];
    WideName(a, wideA, MAX_VALUE_NAME);
    WideName(b, wideB, MAX_VALUE_NAME);
    // Windows Vista and later: the comparison the registry and NTFS make.
    static CompareStringOrdinalFunction compare =
        (CompareStringOrdinalFunction)(void *)SystemEntry("kernel32.dll", "CompareStringOrdinal");
    if (compare)
        return compare(wideA, -1, wideB, -1, TRUE) == CSTR_EQUAL;
    CharUpperW(wideA);
    CharUpperW(wideB);
    return wcscmp(wideA, wideB) == 0;
}

uint32_t PlatTextToUtf16(const char *text, void *bytes, uint32_t room)
{
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    if (units <= 0 || (uint32_t)(units - 1) * 2 > room)
        return 0;
    WCHAR *wide = (WCHAR *)malloc((size_t)units * sizeof(WCHAR));
    if (!wide)
        return 0;
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, units);
    memcpy(bytes, wide, (size_t)(units - 1) * 2);
    free(wide);
    return (uint32_t)(units - 1) * 2;
}

uint32_t PlatCodePage(void)
{
    return GetACP();
}

unsigned char PlatUpperChar(unsigned char c)
{
    // CharUpperA takes a single character in the low word of its pointer.
    return (unsigned char)(UINT_PTR)CharUpperA((LPSTR)(UINT_PTR)c);
}

void *PlatAllocZero(size_t size)
{
    return (void *)GlobalAlloc(GPTR, size);
}

void PlatFree(void *block)
{
    if (block)
        GlobalFree((HGLOBAL)block);
}

void PlatErrorText(long code, char *text, size_t size)
{
    char *system = NULL;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS
                                      | FORMAT_MESSAGE_FROM_SYSTEM,
                                  NULL, (DWORD)code, 0x400, (LPSTR)&system, 0, NULL);
    if (length && system) {
        TextCopy(text, size, system);
        // The system's texts end in a line break: one line each on stderr.
        size_t end = strlen(text);
        while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n' || text[end - 1] == ' '))
            text[--end] = '\0';
    } else {
        // The system has no text for this code: still say what failed.
        TextFormat(text, size, "Unknown error %lu (0x%08lX).", (unsigned long)code,
                   (unsigned long)code);
    }
    if (system)
        LocalFree(system);
}
