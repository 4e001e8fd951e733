// other_places.cpp - the other places Windows starts a program by itself,
// listed read-only when asked (ListOtherPlaces).
//
// Beyond the logon and the services, Windows runs or loads what a few
// machine keys name, each for every user:
// - Image File Execution Options\<exe> Debugger: CreateProcess starts the
//   debugger's command instead of <exe>, the program's command line added
//   after it (with UseFilter, a subkey's Debugger for the whole path its
//   FilterFullPath names); GlobalFlag with FLG_MONITOR_SILENT_PROCESS_EXIT (0x200) has
//   Windows Error Reporting start SilentProcessExit\<exe> MonitorProcess
//   when <exe> exits, if its ReportingMode has LAUNCH_MONITORPROCESS (1).
//   Both keys have a 32-bit view on 64-bit Windows; a row the 32-bit view
//   shares with the native one is listed once.
// - Windows NT\CurrentVersion\Windows AppInit_DLLs (both views), a list
//   split at commas and blanks: user32.dll loads each into every process
//   that loads it, only while LoadAppInit_DLLs is 1 (and Secure Boot off).
// - Session Manager\AppCertDLLs: each value a DLL loaded into every process
//   that calls CreateProcess.
// - Session Manager BootExecute (REG_MULTI_SZ): native programs the Session
//   Manager runs before Windows starts, from System32, the first word
//   naming the program (".exe" added) unless it is "autocheck", which only
//   tells the Session Manager to go on without it; Windows' own entry is
//   "autocheck autochk *".
// - Lsa Authentication, Security and Notification Packages (REG_MULTI_SZ):
//   DLL names lsass.exe loads from System32 at boot.
// Nothing here is changed: the rows are readOnly. A value or key that is
// there but cannot be read is said, never passed over.
#include "task_rows.h"
#include "../storage/list_tokens.h"

#include <stdlib.h>
#include <string.h>

int ListOtherPlaces = 0;

int ItemIsOtherPlace(const AutostartItem *item)
{
    return item->logonPlace >= LogonImageDebugger && item->logonPlace <= LogonLsaPackage;
}

const char *OtherPlaceType(const AutostartItem *item)
{
    switch (item->logonPlace) {
    case LogonImageDebugger: return DEBUGGER_TYPE;
    case LogonSilentExit: return SILENT_EXIT_TYPE;
    case LogonBootExecute: return BOOT_TYPE;
    case LogonLsaPackage: return LSA_TYPE;
    default: return DLL_TYPE;
    }
}

// ---- reading, with every failure said ------------------------------------------

static void SayUnread(TaskCollector *c, PlatHive hive, const char *path, const char *name,
                      long why)
{
    char subject[TEXT_FIELD_SIZE + 64], words[TEXT_FIELD_SIZE], text[TEXT_FIELD_SIZE + 64];
    RegistryKeyText(hive, path, 0, subject, sizeof subject);
    if (name) {
        TextAppend(subject, sizeof subject, ", value ");
        TextAppend(subject, sizeof subject, name);
    }
    PlatErrorText(why, words, sizeof words);
    TextFormat(text, sizeof text, OTHER_PLACE_UNREAD, words);
    SayTasksUnread(c, subject, text);
}

static int Absent(long result)
{
    return result == PLAT_ERROR_FILE_NOT_FOUND || result == PLAT_ERROR_PATH_NOT_FOUND;
}

// The value's text through the code page, terminated after its size
// (PlatFree it): 1 read, 0 not there, -1 there but unread (said).
static int ReadValue(TaskCollector *c, PlatHive hive, const char *path, const char *name,
                     uint32_t *type, char **text, uint32_t *size)
{
    void *data = NULL;
    *text = NULL;
    if (ReadWholeValue(hive, path, name, 0, type, &data, size)) {
        *text = (char *)PlatAllocZero((size_t)*size + 2);
        if (*text)
            memcpy(*text, data, *size);
        PlatFree(data);
        if (*text)
            return 1;
        SayUnread(c, hive, path, name, PLAT_ERROR_OUTOFMEMORY);
        return -1;
    }
    // Why the whole read failed: a key or value not there is no failure.
    PlatKey key = NULL;
    long why = PlatRegOpenRead(hive, path, &key);
    if (why == PLAT_OK && key) {
        uint32_t needed = 0;
        why = PlatRegQueryValue(key, name, NULL, NULL, &needed);
        PlatRegClose(key);
        // There now, yet not read whole: it kept changing while it was read.
        if (why == PLAT_OK)
            why = PLAT_ERROR_MORE_DATA;
    }
    if (Absent(why))
        return 0;
    SayUnread(c, hive, path, name, why);
    return -1;
}

// A DWORD setting (a REG_SZ number is read too); zero when not there or unread.
static uint32_t ReadNumber(TaskCollector *c, PlatHive hive, const char *path, const char *name)
{
    uint32_t type = PLAT_REG_NONE, size = 0, number = 0;
    char *text = NULL;
    if (ReadValue(c, hive, path, name, &type, &text, &size) <= 0)
        return 0;
    if (type == PLAT_REG_DWORD && size == 4)
        memcpy(&number, text, 4);
    else if (type == PLAT_REG_SZ || type == PLAT_REG_EXPAND_SZ)
        number = (uint32_t)strtoul(text, NULL, 0);
    PlatFree(text);
    return number;
}

// The key, open for enumeration; null when not there, or unread (said).
static PlatKey OpenKey(TaskCollector *c, PlatHive hive, const char *path)
{
    PlatKey key = NULL;
    long opened = PlatRegOpenRead(hive, path, &key);
    if (opened == PLAT_OK && key)
        return key;
    if (!Absent(opened))
        SayUnread(c, hive, path, NULL, opened != PLAT_OK ? opened : (long)PLAT_ERROR_ACCESS_DENIED);
    return NULL;
}

// Nonzero when a value of the 32-bit view is the native view's, to the
// byte: the key is shared between them (or copied), and listed once.
static int SameInNativeView(PlatHive hive, const char *path, const char *name, const char *text,
                            uint32_t size)
{
    if (hive != PLAT_HKLM32)
        return 0;
    uint32_t type = PLAT_REG_NONE, nativeSize = 0;
    void *data = NULL;
    if (!ReadWholeValue(PLAT_HKLM, path, name, 0, &type, &data, &nativeSize))
        return 0;
    int same = nativeSize == size && memcmp(data, text, size) == 0;
    PlatFree(data);
    return same;
}

// ---- the rows --------------------------------------------------------------------

static AutostartItem *NewRow(TaskCollector *c, int32_t kind, PlatHive hive, const char *path,
                             const char *valueName)
{
    AutostartItem *item = NewTaskRow(c);
    if (!item) {
        ++c->leftOut;
        return NULL;
    }
    item->kind = RegistryValue;
    item->logonPlace = kind;
    item->readOnly = 1;
    item->enabled = 1;
    item->view = hive == PLAT_HKLM32 ? View32 : ViewNative;
    TextCopy(item->scope, SCOPE_SIZE, SCOPE_ALL);
    item->locationCut = !TextCopy(item->location, TEXT_FIELD_SIZE, path);
    item->cut = item->locationCut || !TextCopy(item->valueName, TEXT_FIELD_SIZE, valueName);
    return item;
}

static void AddRow(TaskCollector *c, AutostartItem *item, const char *note)
{
    if (!item->placeNote[0])
        TextCopy(item->placeNote, TEXT_FIELD_SIZE, note);
    ReadTargetDetails(item);
    ++c->count;
}

// A program's command, read as CreateProcess reads it (the system's
// variables, no App Paths).
static void CommandRow(TaskCollector *c, AutostartItem *item, const char *command,
                       const char *note)
{
    item->commandCut = !TextCopy(item->command, COMMAND_FIELD_SIZE, command);
    ParseServiceCommand(item);
    AddRow(c, item, note);
}

// The folder a bare name is loaded from: the view's system folder, taken
// from the system (folder: TEXT_FIELD_SIZE); empty when it cannot be had.
static void SystemFolder(PlatHive hive, char *folder)
{
    char windows[PLAT_TEXT_SIZE];
    folder[0] = '\0';
    if (PlatShellFolder(PLAT_CSIDL_WINDOWS, windows) && windows[0])
        TextFormat(folder, TEXT_FIELD_SIZE, "%s\\%s", windows,
                   hive == PLAT_HKLM32 ? "SysWOW64" : "System32");
}

// A file Windows loads or runs by its name: a path as written (expanded as
// the system expands it only where Windows expands it: a REG_EXPAND_SZ;
// the loaders of the rest take a %VAR% literally), a bare name in the
// system folder, with ending added when it has no extension of its own.
static void FileRow(TaskCollector *c, AutostartItem *item, PlatHive hive, const char *stored,
                    const char *file, int expand, const char *ending, const char *parameters,
                    const char *note)
{
    item->commandCut = !TextCopy(item->command, COMMAND_FIELD_SIZE, stored);
    char expanded[TEXT_FIELD_SIZE], folder[TEXT_FIELD_SIZE];
    if (expand)
        ExpandAsSystem(file, expanded);
    else
        TextCopy(expanded, TEXT_FIELD_SIZE, file);
    const char *slash = strrchr(expanded, '\\');
    const char *add = strchr(slash ? slash : expanded, '.') ? "" : ending;
    SystemFolder(hive, folder);
    if (strchr(expanded, '\\') || strchr(expanded, ':') || !folder[0])
        TextFormat(item->target, TEXT_FIELD_SIZE, "%s%s", expanded, add);
    else
        TextFormat(item->target, TEXT_FIELD_SIZE, "%s\\%s%s", folder, expanded, add);
    TextCopy(item->parameters, COMMAND_FIELD_SIZE, parameters);
    AddRow(c, item, note);
}

// ---- Image File Execution Options and the silent exit monitor ---------------------

static void VisitSilentExit(TaskCollector *c, PlatHive hive, const char *exe)
{
    char path[KEY_PATH_SIZE], note[TEXT_FIELD_SIZE];
    if (!TextFormat(path, sizeof path, "%s\\%s", SILENT_EXIT_KEY, exe))
        return;
    uint32_t type = PLAT_REG_NONE, size = 0;
    char *monitor = NULL;
    if (ReadValue(c, hive, path, "MonitorProcess", &type, &monitor, &size) > 0 && monitor[0]
        && !SameInNativeView(hive, path, "MonitorProcess", monitor, size)) {
        AutostartItem *item = NewRow(c, LogonSilentExit, hive, path, "MonitorProcess");
        if (item) {
            TextFormat(item->name, TEXT_FIELD_SIZE, "On exit of %s", exe);
            item->enabled = (ReadNumber(c, hive, path, "ReportingMode") & LAUNCH_MONITOR_PROCESS) != 0;
            TextFormat(note, sizeof note, NOTE_SILENT_EXIT, exe);
            TextCopy(item->placeNote, TEXT_FIELD_SIZE, note);
            if (!item->enabled) {
                TextAppend(item->placeNote, TEXT_FIELD_SIZE, "; ");
                TextAppend(item->placeNote, TEXT_FIELD_SIZE, NOTE_SILENT_EXIT_OFF);
            }
            CommandRow(c, item, monitor, note);
        }
    }
    PlatFree(monitor);
}

// A Debugger row of the key at path (the program's own, or a filter's).
static void DebuggerRow(TaskCollector *c, PlatHive hive, const char *path, const char *program)
{
    char note[TEXT_FIELD_SIZE];
    uint32_t type = PLAT_REG_NONE, size = 0;
    char *debugger = NULL;
    if (ReadValue(c, hive, path, "Debugger", &type, &debugger, &size) > 0 && debugger[0]
        && !SameInNativeView(hive, path, "Debugger", debugger, size)) {
        AutostartItem *item = NewRow(c, LogonImageDebugger, hive, path, "Debugger");
        if (item) {
            TextFormat(item->name, TEXT_FIELD_SIZE, "Debugger of %s", program);
            TextFormat(note, sizeof note, NOTE_DEBUGGER, program);
            CommandRow(c, item, debugger, note);
        }
    }
    PlatFree(debugger);
}

// Each subkey of the key at path, visited with its own path and name; a
// listing cut short leaves programs unlisted, and is said.
typedef void (*SubkeyVisit)(TaskCollector *c, PlatHive hive, const char *sub, const char *name,
                            void *context);
static void EachSubkey(TaskCollector *c, PlatHive hive, const char *path, SubkeyVisit visit,
                       void *context)
{
    PlatKey key = OpenKey(c, hive, path);
    if (!key)
        return;
    char name[PLAT_KEY_NAME_SIZE], sub[KEY_PATH_SIZE];
    long listed = PLAT_OK;
    for (uint32_t index = 0; (listed = PlatRegEnumKey(key, index, name, sizeof name)) == PLAT_OK;
         ++index) {
        if (TextFormat(sub, sizeof sub, "%s\\%s", path, name))
            visit(c, hive, sub, name, context);
    }
    if (listed != PLAT_ERROR_NO_MORE_ITEMS)
        SayUnread(c, hive, path, NULL, listed);
    PlatRegClose(key);
}

// With UseFilter set, each subkey whose FilterFullPath names a program's
// whole path holds that program's own Debugger and GlobalFlag: *flags
// gathers the GlobalFlags.
static void VisitFilter(TaskCollector *c, PlatHive hive, const char *sub, const char *, void *flags)
{
    uint32_t type = PLAT_REG_NONE, size = 0;
    char *full = NULL;
    if (ReadValue(c, hive, sub, "FilterFullPath", &type, &full, &size) > 0 && full[0]) {
        DebuggerRow(c, hive, sub, full);
        *(uint32_t *)flags |= ReadNumber(c, hive, sub, "GlobalFlag");
    }
    PlatFree(full);
}

static void VisitProgramOptions(TaskCollector *c, PlatHive hive, const char *path, const char *exe,
                                void *)
{
    DebuggerRow(c, hive, path, exe);
    uint32_t flags = ReadNumber(c, hive, path, "GlobalFlag");
    if (ReadNumber(c, hive, path, "UseFilter"))
        EachSubkey(c, hive, path, VisitFilter, &flags);
    if (flags & MONITOR_SILENT_EXIT_FLAG)
        VisitSilentExit(c, hive, exe);
}

static void VisitImageOptions(TaskCollector *c, PlatHive hive)
{
    EachSubkey(c, hive, IFEO_KEY, VisitProgramOptions, NULL);
}

// ---- the DLLs loaded into every process --------------------------------------------

static void VisitAppInit(TaskCollector *c, PlatHive hive)
{
    uint32_t type = PLAT_REG_NONE, size = 0;
    char *list = NULL;
    if (ReadValue(c, hive, LEGACY_WINDOWS_KEY, "AppInit_DLLs", &type, &list, &size) <= 0) {
        PlatFree(list);
        return;
    }
    int loaded = ReadNumber(c, hive, LEGACY_WINDOWS_KEY, "LoadAppInit_DLLs") == 1;
    // Listed once only where both views load the same list alike.
    if (SameInNativeView(hive, LEGACY_WINDOWS_KEY, "AppInit_DLLs", list, size)
        && loaded == (ReadNumber(c, PLAT_HKLM, LEGACY_WINDOWS_KEY, "LoadAppInit_DLLs") == 1)) {
        PlatFree(list);
        return;
    }
    size_t at = 0, start = 0, end = 0, length = strlen(list);
    while (NextListItem(list, length, &at, &start, &end, 1)) {
        AutostartItem *item = NewRow(c, LogonAppInit, hive, LEGACY_WINDOWS_KEY, "AppInit_DLLs");
        if (!item)
            break;
        char dll[TEXT_FIELD_SIZE];
        item->cut |= end - start >= sizeof dll;
        TextFormat(dll, sizeof dll, "%.*s", (int)(end - start), list + start);
        TextCopy(item->listItem, TEXT_FIELD_SIZE, dll);
        TextFormat(item->name, TEXT_FIELD_SIZE, "AppInit_DLLs: %s", dll);
        item->enabled = loaded;
        FileRow(c, item, hive, dll, dll, 0, ".dll", "", loaded ? NOTE_APP_INIT : NOTE_APP_INIT_OFF);
    }
    PlatFree(list);
}

static void VisitAppCert(TaskCollector *c)
{
    PlatKey key = OpenKey(c, PLAT_HKLM, APP_CERT_KEY);
    if (!key)
        return;
    // One byte more than the field: a name that fills it was cut.
    char name[TEXT_FIELD_SIZE + 1];
    for (uint32_t index = 0;; ++index) {
        long result = PlatRegEnumValue(key, index, name, sizeof name, NULL, NULL, NULL);
        if (result != PLAT_OK && result != PLAT_ERROR_MORE_DATA) {
            if (result != PLAT_ERROR_NO_MORE_ITEMS)
                SayUnread(c, PLAT_HKLM, APP_CERT_KEY, NULL, result);
            break;
        }
        uint32_t type = PLAT_REG_NONE, size = 0;
        char *dll = NULL;
        int read = ReadValue(c, PLAT_HKLM, APP_CERT_KEY, name, &type, &dll, &size);
        // Listed, yet not found by the name the listing gave (cut, or
        // changed by the code page): a DLL Windows loads, unread.
        if (read == 0)
            SayUnread(c, PLAT_HKLM, APP_CERT_KEY, name, PLAT_ERROR_FILE_NOT_FOUND);
        if (read > 0 && dll[0]) {
            AutostartItem *item = NewRow(c, LogonAppCert, PLAT_HKLM, APP_CERT_KEY, name);
            if (item) {
                item->cut |= strlen(name) >= TEXT_FIELD_SIZE;
                item->inexact = !item->cut && !PlatRegNameExact(key, index, name);
                TextFormat(item->name, TEXT_FIELD_SIZE, "AppCertDLLs: %s", name);
                FileRow(c, item, PLAT_HKLM, dll, dll, type == PLAT_REG_EXPAND_SZ, ".dll", "",
                        NOTE_APP_CERT);
            }
        }
        PlatFree(dll);
    }
    PlatRegClose(key);
}

// ---- what boot runs and lsass.exe loads -------------------------------------------

// Each string of a REG_MULTI_SZ (a REG_SZ is one), blanks trimmed, empty
// ones passed over; *at moves past it. Zero when none is left.
static int NextString(const char *data, uint32_t size, uint32_t *at, char *text, size_t room,
                      int *cut)
{
    while (*at < size) {
        size_t length = TextLengthIn(data + *at, size - *at);
        const char *start = data + *at, *end = start + length;
        *at += (uint32_t)length + 1;
        while (start < end && ListUnitBlank((unsigned char)*start))
            ++start;
        while (end > start && ListUnitBlank((unsigned char)end[-1]))
            --end;
        if (start == end)
            continue;
        *cut = (size_t)(end - start) >= room;
        TextFormat(text, room, "%.*s", (int)(end - start), start);
        return 1;
    }
    return 0;
}

// Nonzero for Windows' own entry, "autocheck autochk *", however spaced.
static int IsOwnBootEntry(const char *entry)
{
    static const char *const words[] = {"autocheck", "autochk", "*"};
    const char *at = entry;
    for (const char *word : words) {
        while (ListUnitBlank((unsigned char)*at))
            ++at;
        size_t length = strcspn(at, " \t");
        char got[16];
        if (length >= sizeof got)
            return 0;
        TextFormat(got, sizeof got, "%.*s", (int)length, at);
        if (TextCompareNoCase(got, word) != 0)
            return 0;
        at += length;
    }
    while (ListUnitBlank((unsigned char)*at))
        ++at;
    return *at == '\0';
}

static int IsBootKeyword(const char *word)
{
    return TextCompareNoCase(word, "autocheck") == 0 || TextCompareNoCase(word, "async") == 0
           || TextCompareNoCase(word, "debug") == 0;
}

static void VisitBootExecute(TaskCollector *c)
{
    uint32_t type = PLAT_REG_NONE, size = 0, at = 0;
    char *data = NULL;
    if (ReadValue(c, PLAT_HKLM, SESSION_MANAGER_KEY, "BootExecute", &type, &data, &size) <= 0)
        return;
    char entry[TEXT_FIELD_SIZE], program[TEXT_FIELD_SIZE];
    int cut = 0;
    while (NextString(data, size, &at, entry, sizeof entry, &cut)) {
        if (IsOwnBootEntry(entry))
            continue;
        AutostartItem *item = NewRow(c, LogonBootExecute, PLAT_HKLM, SESSION_MANAGER_KEY,
                                     "BootExecute");
        if (!item)
            break;
        item->cut |= cut;
        TextCopy(item->listItem, TEXT_FIELD_SIZE, entry);
        TextFormat(item->name, TEXT_FIELD_SIZE, "BootExecute: %s", entry);
        // "autocheck", "async" and "debug", in any order, only tell the
        // Session Manager how to run the program after them.
        const char *word = entry;
        size_t length = strcspn(word, " \t");
        TextFormat(program, sizeof program, "%.*s", (int)length, word);
        for (const char *next = word + length + strspn(word + length, " \t");
             *next && IsBootKeyword(program); next = word + length + strspn(word + length, " \t")) {
            word = next;
            length = strcspn(word, " \t");
            TextFormat(program, sizeof program, "%.*s", (int)length, word);
        }
        // A path the Session Manager knows: "\SystemRoot\" and "\??\" prefixes.
        char head[16], file[TEXT_FIELD_SIZE];
        TextFormat(head, sizeof head, "%.12s", program);
        if (TextCompareNoCase(head, "\\SystemRoot\\") == 0)
            TextFormat(file, sizeof file, "%%SystemRoot%%\\%s", program + 12);
        else
            TextCopy(file, sizeof file, strncmp(program, "\\??\\", 4) == 0 ? program + 4 : program);
        const char *rest = word + length + strspn(word + length, " \t");
        FileRow(c, item, PLAT_HKLM, entry, file, 0, ".exe", rest, NOTE_BOOT_EXECUTE);
    }
    PlatFree(data);
}

// Windows' own packages: what its editions write in these lists.
static int IsOwnPackage(const char *name)
{
    static const char *const own[] = {"msv1_0", "kerberos", "negoexts", "pku2u",  "schannel",
                                      "wdigest", "tspkg",   "cloudap",  "scecli", "rassfm",
                                      "livessp", "wsauth",  "negotiate"};
    char bare[TEXT_FIELD_SIZE];
    TextCopy(bare, sizeof bare, name);
    size_t length = strlen(bare);
    if (length > 4 && TextCompareNoCase(bare + length - 4, ".dll") == 0)
        bare[length - 4] = '\0';
    for (const char *mine : own)
        if (TextCompareNoCase(bare, mine) == 0)
            return 1;
    return 0;
}

static void VisitLsaList(TaskCollector *c, const char *value, const char *note)
{
    uint32_t type = PLAT_REG_NONE, size = 0, at = 0;
    char *data = NULL;
    if (ReadValue(c, PLAT_HKLM, LSA_KEY, value, &type, &data, &size) <= 0)
        return;
    char name[TEXT_FIELD_SIZE];
    int cut = 0;
    while (NextString(data, size, &at, name, sizeof name, &cut)) {
        // An empty list is written as one string of two quotes.
        if (strcmp(name, "\"\"") == 0 || IsOwnPackage(name))
            continue;
        AutostartItem *item = NewRow(c, LogonLsaPackage, PLAT_HKLM, LSA_KEY, value);
        if (!item)
            break;
        item->cut |= cut;
        TextCopy(item->listItem, TEXT_FIELD_SIZE, name);
        TextFormat(item->name, TEXT_FIELD_SIZE, "%s: %s", value, name);
        FileRow(c, item, PLAT_HKLM, name, name, 0, ".dll", "", note);
    }
    PlatFree(data);
}

void ReadOtherPlaceRows(TaskRows *rows)
{
    TaskCollector c;
    memset(&c, 0, sizeof c);
    {
        const PlatHive views[2] = {PLAT_HKLM, PLAT_HKLM32};
        int count = PlatHasTwoViews() ? 2 : 1;
        for (int v = 0; v < count; ++v)
            VisitImageOptions(&c, views[v]);
        for (int v = 0; v < count; ++v)
            VisitAppInit(&c, views[v]);
        VisitAppCert(&c);
        VisitBootExecute(&c);
        VisitLsaList(&c, "Authentication Packages", NOTE_LSA_AUTHENTICATION);
        VisitLsaList(&c, "Security Packages", NOTE_LSA_SECURITY);
        VisitLsaList(&c, "Notification Packages", NOTE_LSA_NOTIFICATION);
    }
    if (c.leftOut) {
        char text[TEXT_FIELD_SIZE];
        TextFormat(text, sizeof text, OTHER_PLACES_NO_MEMORY, c.leftOut);
        SayTasksUnread(&c, "", text);
    }
    rows->items = c.items;
    rows->count = c.count;
    TextCopy(rows->unread, sizeof rows->unread, c.unread);
}
