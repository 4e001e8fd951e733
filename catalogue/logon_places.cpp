// logon_places.cpp - the places beyond the Run family that the logon starts
// programs from.
//
// Winlogon starts every program of HKLM's Winlogon Userinit (Windows' own
// value is "C:\Windows\system32\userinit.exe,") and the desktop shell of its
// Shell ("explorer.exe"), unless the user's own Winlogon key has a Shell,
// which then replaces it; a Shell that policy sets (Policies\System, HKCU or
// HKLM) replaces both. Winlogon's Taskman and AppSetup name programs of
// their own (Windows sets none), its VmApplet the program that sets up a
// missing paging file ("SystemPropertiesPerformance.exe /pagefile"), and
// SafeBoot's AlternateShell ("cmd.exe") is the shell of Safe Mode with
// Command Prompt. Active Setup runs a component's StubPath
// (HKLM\...\Installed Components\<id>, either view) once for each user whose
// copy of the component (HKCU) is missing or has a lower Version. The logon
// runs the Environment UserInitMprLogonScript of the user and of the
// machine. A RunOnceEx pass first loads the DLLs named by the Depend key of
// a section. A remote-desktop logon starts
// rdpwd's StartupPrograms (Windows' own "rdpclip"). Load and Run of the
// user's legacy Windows key are still read for old programs. A list value is
// a row per program; a disabled program or value waits in the same value of
// the sibling key whose name ends in "-" ("Winlogon-", "Installed
// Components-\<id>", "RunOnceEx-\<section>\Depend").
#include "catalogue.h"
#include "../storage/list_tokens.h"

#include <stdlib.h>
#include <string.h>

enum { WholeValue = 0, CommaList = 1, BlankList = 2 };

struct LogonValuePlace {
    int32_t kind;          // LogonPlaceKind
    PlatHive hive;
    const char *keyPath;   // the enabled key
    const char *valueName;
    int list;              // WholeValue, CommaList, BlankList (commas and blanks)
    const char *own;       // Windows' own program of the list (with its arguments
                           // after a blank), or null
    const char *note;
};

static const LogonValuePlace ValuePlaces[] = {
    {LogonUserinit, PLAT_HKLM, WINLOGON_KEY, "Userinit", CommaList, "userinit.exe", NOTE_USERINIT},
    {LogonShell, PLAT_HKLM, WINLOGON_KEY, "Shell", CommaList, "explorer.exe", NOTE_SHELL},
    {LogonUserShell, PLAT_HKCU, WINLOGON_KEY, "Shell", CommaList, "explorer.exe",
     NOTE_USER_SHELL},
    {LogonPolicyShell, PLAT_HKCU, POLICY_SYSTEM_KEY, "Shell", CommaList, "explorer.exe",
     NOTE_POLICY_SHELL},
    {LogonPolicyShell, PLAT_HKLM, POLICY_SYSTEM_KEY, "Shell", CommaList, "explorer.exe",
     NOTE_POLICY_SHELL},
    {LogonWinlogonOther, PLAT_HKLM, WINLOGON_KEY, "Taskman", CommaList, NULL, NOTE_TASKMAN},
    {LogonWinlogonOther, PLAT_HKLM, WINLOGON_KEY, "AppSetup", CommaList, NULL, NOTE_APP_SETUP},
    {LogonWinlogonOther, PLAT_HKLM, WINLOGON_KEY, "VmApplet", CommaList,
     "SystemPropertiesPerformance.exe /pagefile", NOTE_VM_APPLET},
    {LogonScript, PLAT_HKCU, ENVIRONMENT_KEY, LOGON_SCRIPT_VALUE, WholeValue, NULL,
     NOTE_LOGON_SCRIPT},
    {LogonMachineScript, PLAT_HKLM, ENVIRONMENT_KEY, LOGON_SCRIPT_VALUE, WholeValue, NULL,
     NOTE_MACHINE_SCRIPT},
    {LogonRemoteDesktop, PLAT_HKLM, RDPWD_KEY, "StartupPrograms", CommaList, "rdpclip.exe",
     NOTE_REMOTE_DESKTOP},
    {LogonSafeModeShell, PLAT_HKLM, SAFE_BOOT_KEY, "AlternateShell", CommaList, "cmd.exe",
     NOTE_SAFE_MODE_SHELL},
    {LogonLegacy, PLAT_HKCU, LEGACY_WINDOWS_KEY, "Load", BlankList, NULL, NOTE_LEGACY},
    {LogonLegacy, PLAT_HKCU, LEGACY_WINDOWS_KEY, "Run", BlankList, NULL, NOTE_LEGACY},
};
#define VALUE_PLACE_COUNT (sizeof ValuePlaces / sizeof ValuePlaces[0])

int LogonListSplitsAtBlanks(const AutostartItem *item)
{
    return item->logonPlace == LogonLegacy;
}

// Counting (records null) or loading, and how many rows were seen.
struct Visit {
    AutostartItem *records;
    int32_t *running;
    int32_t limit;
    int32_t seen;
};

// A key that changed while it was enumerated may have had a row skipped:
// one more is counted than was read, so the scan reads everything again.
static void NoteChanged(Visit *visit, PlatKey key, const PlatKeyState *before)
{
    if (KeyStateChanged(key, before))
        ++visit->seen;
}

// The record to fill next, or null when counting or full.
static AutostartItem *NextRow(Visit *visit)
{
    visit->seen++;
    if (!visit->records || *visit->running >= visit->limit)
        return NULL;
    return &visit->records[*visit->running];
}

static void FillRow(AutostartItem *item, int32_t kind, PlatHive hive, const char *path,
                    const char *value, int32_t enabled)
{
    item->kind = RegistryValue;
    item->logonPlace = kind;
    TextCopy(item->scope, SCOPE_SIZE, hive == PLAT_HKCU ? SCOPE_USER : SCOPE_ALL);
    item->view = hive == PLAT_HKLM32 ? View32 : ViewNative;
    item->enabled = enabled;
    // A key name may be 255 characters: a path longer than the field is
    // listed cut, never acted on.
    item->locationCut = !TextCopy(item->location, TEXT_FIELD_SIZE, path);
    item->cut = item->locationCut || !TextCopy(item->valueName, TEXT_FIELD_SIZE, value);
}

static void AddPlaceNote(AutostartItem *item, const char *note)
{
    if (item->placeNote[0])
        TextAppend(item->placeNote, TEXT_FIELD_SIZE, "; ");
    TextAppend(item->placeNote, TEXT_FIELD_SIZE, note);
}

static void LoadRow(Visit *visit, AutostartItem *item)
{
    ParseCommand(item);
    ReadTargetDetails(item);
    ++*visit->running;
}

char *ReadValueText(PlatHive hive, const char *path, const char *name)
{
    uint32_t type = PLAT_REG_NONE, size = 0;
    void *data = NULL;
    if (!ReadWholeValue(hive, path, name, 0, &type, &data, &size))
        return NULL;
    size_t length = TextLengthIn((const char *)data, size);
    char *text = (char *)PlatAllocZero(length + 1);
    if (text)
        memcpy(text, data, length);
    PlatFree(data);
    return text;
}

static int NextListItem(const char *text, size_t *at, size_t *start, size_t *end, int blanks)
{
    return NextListItem(text, strlen(text), at, start, end, blanks);
}

// The stored UTF-16 of a value (PlatFree it) and in *count its units to the
// terminator; null when it cannot be read.
static uint16_t *ReadUnits(PlatHive hive, const char *path, const char *name, size_t *count)
{
    uint32_t type = PLAT_REG_NONE, size = 0;
    void *data = NULL;
    *count = 0;
    if (!ReadWholeValue(hive, path, name, 1, &type, &data, &size))
        return NULL;
    const uint16_t *units = (const uint16_t *)data;
    while (*count < size / 2 && units[*count])
        ++*count;
    return (uint16_t *)data;
}

// Nonzero when the program is, unit for unit, the ordinal-th of the stored
// list: the code page replaced no character of it (the store finds it by
// its UTF-16 form, and would find it nowhere, or find another).
static int ItemExact(const uint16_t *units, size_t count, int ordinal, const char *program,
                     int blanks)
{
    uint16_t mine[2 * TEXT_FIELD_SIZE];
    size_t length = PlatTextToUtf16(program, mine, sizeof mine) / 2;
    size_t at = 0, start = 0, end = 0;
    for (int n = 0; units && NextListItem(units, count, &at, &start, &end, blanks); ++n)
        if (n == ordinal)
            return length && end - start == length && !memcmp(units + start, mine, length * 2);
    return 0;
}

// The folder as the logon reads it; a reference to the Windows folder is
// the system's own (a program of the user may set %SystemRoot% for itself).
static void ExpandFolder(const char *text, const char *windows, char *folder)
{
    static const char *const kWindows[] = {"%SystemRoot%", "%windir%"};
    for (const char *reference : kWindows) {
        char head[16];
        size_t length = strlen(reference);
        if (TextFormat(head, sizeof head, "%.*s", (int)length, text)
            && TextCompareNoCase(head, reference) == 0
            && TextFormat(folder, TEXT_FIELD_SIZE, "%s%s", windows, text + length))
            return;
    }
    ExpandAsLogon(text, folder);
}

// Windows' own program: its file name (".exe" may be left out) bare or in
// the Windows folder or a system folder, taken from the system, never from
// the environment; a program of that name elsewhere is not. Where the
// Windows folder cannot be known, every program of that name is taken for
// Windows' own: never switched off rather than the logon broken. An own
// program with arguments (VmApplet's) is that program with exactly those.
static int IsWindowsOwn(const char *program, const char *own)
{
    char ownFile[64];
    TextCopy(ownFile, sizeof ownFile, own);
    char *ownArguments = strchr(ownFile, ' ');
    if (ownArguments)
        *ownArguments++ = '\0';
    char text[TEXT_FIELD_SIZE];
    const char *rest = "";
    if (program[0] == '"') {
        TextCopy(text, sizeof text, program + 1);
        char *quote = strchr(text, '"');
        if (quote) {
            rest = program + 1 + (quote - text) + 1;
            *quote = '\0';
        }
    } else {
        TextCopy(text, sizeof text, program);
        // Only where the own program has arguments does a blank end it.
        char *blank = ownArguments ? strchr(text, ' ') : NULL;
        if (blank) {
            rest = program + (blank - text);
            *blank = '\0';
        }
    }
    while (ListUnitBlank((unsigned char)*rest))
        ++rest;
    if (TextCompareNoCase(rest, ownArguments ? ownArguments : "") != 0)
        return 0;
    char *slash = strrchr(text, '\\');
    const char *file = slash ? slash + 1 : text;
    char bare[64];
    TextCopy(bare, sizeof bare, ownFile);
    char *dot = strrchr(bare, '.');
    if (dot)
        *dot = '\0';
    if (TextCompareNoCase(file, ownFile) != 0 && TextCompareNoCase(file, bare) != 0)
        return 0;
    char windows[PLAT_TEXT_SIZE];
    if (!slash || !PlatShellFolder(PLAT_CSIDL_WINDOWS, windows) || !windows[0])
        return 1;
    *slash = '\0';
    char folder[TEXT_FIELD_SIZE];
    ExpandFolder(text, windows, folder);
    return IsWindowsFolder(windows, folder);
}

// The row's place: one kind may hold several values, and a hive each.
static const LogonValuePlace *PlaceOf(const AutostartItem *item)
{
    int user = ScopeIsUser(item->scope);
    for (size_t i = 0; i < VALUE_PLACE_COUNT; ++i)
        if (ValuePlaces[i].kind == item->logonPlace && (ValuePlaces[i].hive == PLAT_HKCU) == user
            && TextCompareNoCase(ValuePlaces[i].valueName, item->valueName) == 0)
            return &ValuePlaces[i];
    return NULL;
}

int LogonItemIsWindowsOwn(const AutostartItem *item)
{
    const LogonValuePlace *place = PlaceOf(item);
    return place && place->own && item->listItem[0] && IsWindowsOwn(item->listItem, place->own);
}

// Nonzero when the Shell names a program: the ones it takes precedence
// over are then not started.
static int ShellSet(PlatHive hive, const char *key)
{
    char *text = ReadValueText(hive, key, "Shell");
    size_t at = 0, start = 0, end = 0;
    int set = text && NextListItem(text, &at, &start, &end, 0);
    PlatFree(text);
    return set;
}

enum { UserShell = 1, PolicyShell = 2 };

// A list longer than this is not searched for repeats (real ones hold a few).
#define REPEAT_CHECK_ITEMS 64

static int IsComma(const char *text, size_t at)
{
    return text[at] == ',';
}

// Nonzero when another program of the list at [start, end) is the same file
// name in any case: Winlogon starts each of them.
static int ItemRepeated(const char *text, size_t start, size_t end, int blanks)
{
    char mine[TEXT_FIELD_SIZE], other[TEXT_FIELD_SIZE];
    if (end - start >= sizeof mine)
        return 0;
    memcpy(mine, text + start, end - start);
    mine[end - start] = '\0';
    size_t at = 0, from = 0, to = 0;
    for (int items = 0; NextListItem(text, &at, &from, &to, blanks); ++items) {
        if (items >= REPEAT_CHECK_ITEMS)
            return 0;
        if (from == start || to - from != end - start)
            continue;
        memcpy(other, text + from, to - from);
        other[to - from] = '\0';
        if (TextCompareNoCase(mine, other) == 0)
            return 1;
    }
    return 0;
}

// The ways the stored text of a program of a live list differs from the
// row that shows it: blanks around it, an empty item beside it (a comma
// too many; Userinit's own form ends in one comma), the program twice.
static void MarkInexactItem(AutostartItem *item, const LogonValuePlace *place, const char *text,
                            size_t start, size_t end)
{
    int blanks = place->list == BlankList;
    size_t length = strlen(text);
    if (!blanks && ((start > 0 && ListUnitBlank(text[start - 1])) || (end < length && ListUnitBlank(text[end]))))
        AddPlaceNote(item, NOTE_LIST_BLANKS);
    if (!blanks) {
        // The separators before and after the item, blanks passed over.
        size_t before = start, after = end;
        int commasBefore = 0, commasAfter = 0;
        while (before > 0 && (ListUnitBlank(text[before - 1]) || IsComma(text, before - 1)))
            commasBefore += IsComma(text, --before);
        while (after < length && (ListUnitBlank(text[after]) || IsComma(text, after)))
            commasAfter += IsComma(text, after++);
        int first = before == 0, last = after == length;
        int ownEnd = place->kind == LogonUserinit && last && commasAfter == 1;
        if ((first && commasBefore > 0) || commasBefore > 1
            || (last && commasAfter > 0 && !ownEnd) || commasAfter > 1)
            AddPlaceNote(item, NOTE_LIST_EMPTY_ITEM);
    }
    if (ItemRepeated(text, start, end, blanks))
        AddPlaceNote(item, NOTE_LIST_REPEATED);
}

static void VisitValue(Visit *visit, const LogonValuePlace *place, int32_t enabled,
                       int shells)
{
    char path[TEXT_FIELD_SIZE];
    TextFormat(path, sizeof path, "%s%s", place->keyPath, enabled ? "" : "-");
    char *text = ReadValueText(place->hive, path, place->valueName);
    if (!text)
        return;
    const char *note = place->kind == LogonShell && (shells & UserShell) ? NOTE_SHELL_REPLACED
                                                                          : place->note;
    if ((place->kind == LogonShell || place->kind == LogonUserShell) && (shells & PolicyShell))
        note = NOTE_SHELL_BY_POLICY;
    int blanks = place->list == BlankList;
    size_t at = 0, start = 0, end = 0, stored = 0;
    int whole = place->list == WholeValue;
    uint16_t *units = whole ? NULL : ReadUnits(place->hive, path, place->valueName, &stored);
    for (int ordinal = 0; whole ? text[0] != '\0' : NextListItem(text, &at, &start, &end, blanks);
         ++ordinal) {
        AutostartItem *item = NextRow(visit);
        if (item) {
            FillRow(item, place->kind, place->hive, path, place->valueName, enabled);
            if (whole) {
                item->commandCut = !TextCopy(item->command, COMMAND_FIELD_SIZE, text);
                TextCopy(item->name, TEXT_FIELD_SIZE, place->valueName);
            } else {
                size_t length = end - start;
                if (length >= TEXT_FIELD_SIZE) {
                    item->cut = 1; // a cut program would match no item of the list
                    length = TEXT_FIELD_SIZE - 1;
                }
                memcpy(item->listItem, text + start, length);
                item->listItem[length] = '\0';
                TextCopy(item->command, COMMAND_FIELD_SIZE, item->listItem);
                item->inexact = !item->cut
                                && !ItemExact(units, stored, ordinal, item->listItem, blanks);
                item->windowsOwn = enabled && place->own && IsWindowsOwn(item->listItem, place->own);
                TextFormat(item->name, TEXT_FIELD_SIZE, "%s: %s%s", place->valueName,
                           item->listItem, item->windowsOwn ? WINDOWS_OWN_MARK : "");
            }
            if (enabled)
                TextCopy(item->placeNote, TEXT_FIELD_SIZE, note);
            // A disabled item's value holds it as this program wrote it.
            if (enabled && !whole)
                MarkInexactItem(item, place, text, start, end);
            LoadRow(visit, item);
        }
        if (whole)
            break;
    }
    PlatFree(units);
    PlatFree(text);
}

// -1, 0 or 1 as version a ("1,0,0,2"; commas or dots) is below, equal to or
// above b; a missing part is 0.
static int CompareVersions(const char *a, const char *b)
{
    for (int part = 0; part < 4; ++part) {
        char *end = NULL;
        unsigned long x = strtoul(a, &end, 10);
        a = end;
        unsigned long y = strtoul(b, &end, 10);
        b = end;
        if (x != y)
            return x < y ? -1 : 1;
        a += *a == ',' || *a == '.';
        b += *b == ',' || *b == '.';
    }
    return 0;
}

// Whether the component has run for this user: its copy under HKCU (the
// 32-bit view's under Software\Wow6432Node) and its Version against HKLM's.
static void ActiveSetupNote(AutostartItem *item, PlatHive hive, const char *machinePath,
                            const char *id)
{
    char userPath[KEY_PATH_SIZE];
    TextFormat(userPath, sizeof userPath, "%s\\%s",
               hive == PLAT_HKLM32 ? ACTIVE_SETUP_USER_KEY_32 : ACTIVE_SETUP_KEY, id);
    // Active Setup passes over a component whose IsInstalled is a zero DWORD.
    uint32_t type = PLAT_REG_NONE, size = 0;
    void *installed = NULL;
    if (ReadWholeValue(hive, machinePath, "IsInstalled", 1, &type, &installed, &size)) {
        int off = type == PLAT_REG_DWORD && size == 4 && !memcmp(installed, "\0\0\0\0", 4);
        PlatFree(installed);
        if (off) {
            TextCopy(item->placeNote, TEXT_FIELD_SIZE, NOTE_ACTIVE_SETUP_NOT_INSTALLED);
            return;
        }
    }
    PlatKey key = NULL;
    if (PlatRegOpenRead(PLAT_HKCU, userPath, &key) != PLAT_OK || !key) {
        TextCopy(item->placeNote, TEXT_FIELD_SIZE, NOTE_ACTIVE_SETUP_PENDING);
        return;
    }
    PlatRegClose(key);
    char *mine = ReadValueText(PLAT_HKCU, userPath, "Version");
    char *wanted = ReadValueText(hive, machinePath, "Version");
    if (wanted && wanted[0] && CompareVersions(mine ? mine : "", wanted) < 0)
        TextCopy(item->placeNote, TEXT_FIELD_SIZE, NOTE_ACTIVE_SETUP_PENDING);
    else if (mine && mine[0])
        TextFormat(item->placeNote, TEXT_FIELD_SIZE, NOTE_ACTIVE_SETUP_RUN " (version %s)", mine);
    else
        TextCopy(item->placeNote, TEXT_FIELD_SIZE, NOTE_ACTIVE_SETUP_RUN);
    PlatFree(mine);
    PlatFree(wanted);
}

// Every component with a StubPath; its name is the component's default value
// (read from the enabled component, which stays when its StubPath is off).
static void VisitActiveSetup(Visit *visit, PlatHive hive, int32_t enabled)
{
    char root[TEXT_FIELD_SIZE];
    TextFormat(root, sizeof root, "%s%s", ACTIVE_SETUP_KEY, enabled ? "" : "-");
    PlatKey key = NULL;
    if (PlatRegOpenRead(hive, root, &key) != PLAT_OK || !key)
        return;
    PlatKeyState before;
    PlatRegKeyState(key, &before);
    char id[PLAT_KEY_NAME_SIZE];
    for (uint32_t index = 0; PlatRegEnumKey(key, index, id, sizeof id) == PLAT_OK; ++index) {
        char path[KEY_PATH_SIZE], machinePath[KEY_PATH_SIZE];
        if (!TextFormat(path, sizeof path, "%s\\%s", root, id)
            || !TextFormat(machinePath, sizeof machinePath, "%s\\%s", ACTIVE_SETUP_KEY, id))
            continue;
        char *stub = ReadValueText(hive, path, STUB_PATH_VALUE);
        AutostartItem *item = stub ? NextRow(visit) : NULL;
        if (item) {
            FillRow(item, LogonActiveSetup, hive, path, STUB_PATH_VALUE, enabled);
            item->commandCut = !TextCopy(item->command, COMMAND_FIELD_SIZE, stub);
            char *title = ReadValueText(hive, machinePath, "");
            TextCopyShown(item->name, TEXT_FIELD_SIZE, title && title[0] ? title : id, 0);
            PlatFree(title);
            if (enabled)
                ActiveSetupNote(item, hive, machinePath, id);
            LoadRow(visit, item);
        }
        PlatFree(stub);
    }
    NoteChanged(visit, key, &before);
    PlatRegClose(key);
}

static int IsEntry(long result)
{
    return result == PLAT_OK || result == PLAT_ERROR_MORE_DATA;
}

static void VisitDependKey(Visit *visit, PlatHive hive, const char *path, int32_t enabled)
{
    PlatKey key = NULL;
    if (PlatRegOpenRead(hive, path, &key) != PLAT_OK || !key)
        return;
    PlatKeyState before;
    PlatRegKeyState(key, &before);
    // One byte more than the field: a name that fills it was cut.
    char name[TEXT_FIELD_SIZE + 1];
    for (uint32_t index = 0;
         IsEntry(PlatRegEnumValue(key, index, name, sizeof name, NULL, NULL, NULL)); ++index) {
        AutostartItem *item = NextRow(visit);
        if (!item)
            continue;
        FillRow(item, LogonDepend, hive, path, name, enabled);
        item->cut |= strlen(name) >= TEXT_FIELD_SIZE;
        item->inexact = !item->cut && !PlatRegNameExact(key, index, name);
        TextCopy(item->name, TEXT_FIELD_SIZE, name);
        char *dll = ReadValueText(hive, path, name);
        item->commandCut = !TextCopy(item->command, COMMAND_FIELD_SIZE, dll);
        PlatFree(dll);
        if (enabled)
            TextCopy(item->placeNote, TEXT_FIELD_SIZE, NOTE_DEPEND);
        LoadRow(visit, item);
    }
    NoteChanged(visit, key, &before);
    PlatRegClose(key);
}

// The Depend key of each section (RunOnceEx's own "Depend" is no section).
static void VisitDepend(Visit *visit, PlatHive hive, int32_t enabled)
{
    char root[TEXT_FIELD_SIZE], path[KEY_PATH_SIZE];
    TextFormat(root, sizeof root, "%s\\%s%s", CURRENT_VERSION_KEY, RUN_ONCE_EX,
               enabled ? "" : "-");
    PlatKey key = NULL;
    if (PlatRegOpenRead(hive, root, &key) != PLAT_OK || !key)
        return;
    PlatKeyState before;
    PlatRegKeyState(key, &before);
    char section[PLAT_KEY_NAME_SIZE];
    for (uint32_t index = 0; PlatRegEnumKey(key, index, section, sizeof section) == PLAT_OK;
         ++index)
        if (TextCompareNoCase(section, RUN_ONCE_EX_DEPEND) != 0
            && TextFormat(path, sizeof path, "%s\\%s\\%s", root, section, RUN_ONCE_EX_DEPEND))
            VisitDependKey(visit, hive, path, enabled);
    NoteChanged(visit, key, &before);
    PlatRegClose(key);
}

int32_t VisitLogonPlaces(AutostartItem *records, int32_t *runningCount, int32_t limit)
{
    Visit visit = {records, runningCount, limit, 0};
    int shells = (ShellSet(PLAT_HKCU, WINLOGON_KEY) ? UserShell : 0)
                 | (ShellSet(PLAT_HKCU, POLICY_SYSTEM_KEY) || ShellSet(PLAT_HKLM, POLICY_SYSTEM_KEY)
                        ? PolicyShell
                        : 0);
    for (size_t i = 0; i < VALUE_PLACE_COUNT; ++i)
        for (int32_t enabled = 1; enabled >= 0; --enabled)
            VisitValue(&visit, &ValuePlaces[i], enabled, shells);
    const PlatHive machine[2] = {PLAT_HKLM, PLAT_HKLM32};
    int views = PlatHasTwoViews() ? 2 : 1;
    for (int v = 0; v < views; ++v)
        for (int32_t enabled = 1; enabled >= 0; --enabled)
            VisitActiveSetup(&visit, machine[v], enabled);
    const PlatHive runOnceEx[3] = {PLAT_HKCU, PLAT_HKLM, PLAT_HKLM32};
    for (int h = 0; h < 1 + views; ++h)
        for (int32_t enabled = 1; enabled >= 0; --enabled)
            VisitDepend(&visit, runOnceEx[h], enabled);
    return visit.seen + VisitPolicyScripts(records, runningCount, limit);
}

int LogonPlaceKeyListed(PlatHive hive, const char *family, const char *rest)
{
    if (!rest[0])
        for (const LogonValuePlace &place : ValuePlaces)
            if (place.hive == hive && TextCompareNoCase(place.keyPath, family) == 0)
                return 1;
    // An Active Setup component, of either view.
    int component = rest[0] == '\\' && rest[1] && !strchr(rest + 1, '\\');
    return component && hive != PLAT_HKCU
           && (TextCompareNoCase(family, ACTIVE_SETUP_KEY) == 0
               || TextCompareNoCase(family, ACTIVE_SETUP_USER_KEY_32) == 0);
}
