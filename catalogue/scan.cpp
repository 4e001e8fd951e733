// scan.cpp - rebuilds the catalogue from storage in two passes: a counting
// pass that sizes one zero-filled block of N + 1 records, and a loading pass
// that fills at most N of them, so storage that grows between the passes
// can never push the scan past its block. Any program may write a Run value
// at any time: a load that meets more than was counted would drop the last
// places' rows, and one that deletes a value while its key is read shifts
// the next one out of sight, so the scan starts again when a key changed
// under it or held more than was counted, and says so when it never settles.
#include "catalogue.h"

#include <string.h>

CatalogueData ItemCatalogue = {NULL, 0, 0, 0, "", 0};
CatalogueErrorSink CatalogueErrors = NULL;
void *CatalogueErrorContext = NULL;

// Set while ScanStorageForIds runs: the rows of the table to read (null:
// every row), and whether the places outside the table are read too.
static const uint8_t *RowsWanted = NULL;
static int OthersWanted = 1;

static int RowWanted(int i)
{
    return LocationRowPresent(&AutostartLocations[i]) && (!RowsWanted || RowsWanted[i]);
}

// Policies that stop Windows starting a whole key (DWORD 1 under
// Policies\Explorer of either hive), read once per scan.
static int PolicySwitches = 0;
enum {
    PolicyNoMachineRun = 1,
    PolicyNoUserRun = 2,
    PolicyNoMachineRunOnce = 4,
    PolicyNoUserRunOnce = 8
};

static int PolicySet(const char *name)
{
    const PlatHive hives[2] = {PLAT_HKCU, PLAT_HKLM};
    for (PlatHive hive : hives) {
        PlatKey key = NULL;
        if (PlatRegOpenRead(hive, POLICY_EXPLORER_KEY, &key) != PLAT_OK || !key)
            continue;
        uint32_t value = 0, type = PLAT_REG_NONE, size = sizeof value;
        long result = PlatRegQueryValue(key, name, &type, &value, &size);
        PlatRegClose(key);
        if (result == PLAT_OK && type == PLAT_REG_DWORD && size == 4 && value == 1)
            return 1;
    }
    return 0;
}

static void ReadPolicySwitches(void)
{
    PolicySwitches = (PolicySet("DisableLocalMachineRun") ? PolicyNoMachineRun : 0)
                     | (PolicySet("DisableCurrentUserRun") ? PolicyNoUserRun : 0)
                     | (PolicySet("DisableLocalMachineRunOnce") ? PolicyNoMachineRunOnce : 0)
                     | (PolicySet("DisableCurrentUserRunOnce") ? PolicyNoUserRunOnce : 0);
}

static int KeySwitchedOffByPolicy(const AutostartLocation *row)
{
    int user = ScopeIsUser(row->scope);
    if (strcmp(row->keyPath, RUN_KEY) == 0)
        return PolicySwitches & (user ? PolicyNoUserRun : PolicyNoMachineRun);
    if (strcmp(row->keyPath, CURRENT_VERSION_KEY "\\RunOnce") == 0)
        return PolicySwitches & (user ? PolicyNoUserRunOnce : PolicyNoMachineRunOnce);
    return 0;
}

// A RunOnceEx entry is "||command" (a command line) or "dll|function|args".
static void ParseEntryCommand(AutostartItem *item, int runOnceEx)
{
    if (!runOnceEx) {
        ParseCommand(item);
        return;
    }
    AutostartItem split = *item;
    const char *bar = strchr(item->command, '|');
    if (item->command[0] == '|' && item->command[1] == '|') {
        TextCopy(split.command, sizeof split.command, item->command + 2);
        ParseCommand(&split);
    } else if (bar) {
        char dll[COMMAND_FIELD_SIZE];
        TextCopy(dll, sizeof dll, item->command);
        dll[bar - item->command] = '\0';
        ExpandAsLogon(dll, split.target);
        TextCopy(split.parameters, sizeof split.parameters, bar + 1);
    } else {
        ParseCommand(&split);
    }
    TextCopy(item->target, sizeof item->target, split.target);
    TextCopy(item->parameters, sizeof item->parameters, split.parameters);
}

int ItemActionable(const AutostartItem *item)
{
    return !item->cut && !item->inexact && !item->logonPlace;
}

int ItemNameCut(const AutostartItem *item)
{
    return item->cut && item->kind != Shortcut && !item->locationCut;
}

int ItemLocationCut(const AutostartItem *item)
{
    return item->locationCut || (item->cut && item->kind != RegistryValue);
}

AutostartItem *CatalogueItem(int32_t index)
{
    return index >= 0 && index < ItemCatalogue.count ? &ItemCatalogue.items[index] : NULL;
}

// Stands in for the block when it cannot be allocated: an empty catalogue
// whose one record is zero, as after a scan that found nothing.
static AutostartItem EmptyCatalogueRecord;

// An enumeration result that names an entry. ERROR_MORE_DATA does too: the
// value is there, only its name or data did not fit. Anything else (a key
// deleted meanwhile, a failing call) ends the row, or it would never end.
static int IsEntry(long result)
{
    return result == PLAT_OK || result == PLAT_ERROR_MORE_DATA;
}

static void RegistryKeyPath(const char *place, int32_t enabled, char *path)
{
    TextCopy(path, TEXT_FIELD_SIZE, place);
    if (!enabled)
        TextAppend(path, TEXT_FIELD_SIZE, "-");
}

// A RunOnceEx section's default value is its title, never an entry.
static int IsSectionTitle(int section, const char *name)
{
    return section && !name[0];
}

static int32_t CountKeyValues(PlatHive hive, const char *path, int section)
{
    PlatKey key = NULL;
    if (PlatRegOpenRead(hive, path, &key) != PLAT_OK || !key)
        return 0;
    int32_t count = 0;
    char name[TEXT_FIELD_SIZE];
    for (uint32_t index = 0;
         IsEntry(PlatRegEnumValue(key, index, name, sizeof name, NULL, NULL, NULL)); ++index)
        count += !IsSectionTitle(section, name);
    PlatRegClose(key);
    return count;
}

// The path of RunOnceEx's section at index (its values are the entries; its
// "Depend" subkey is not a section): 1 a section, 0 none, -1 to pass over.
// path: KEY_PATH_SIZE.
static int SectionPath(PlatKey key, const char *root, uint32_t index, char *path)
{
    char section[PLAT_KEY_NAME_SIZE];
    if (PlatRegEnumKey(key, index, section, sizeof section) != PLAT_OK)
        return 0;
    if (TextCompareNoCase(section, RUN_ONCE_EX_DEPEND) == 0
        || !TextFormat(path, KEY_PATH_SIZE, "%s\\%s", root, section))
        return -1;
    return 1;
}

static int32_t CountRegistryRow(const AutostartLocation *row)
{
    char path[TEXT_FIELD_SIZE];
    RegistryKeyPath(row->keyPath, row->enabled, path);
    if (!RowHasSections(row))
        return CountKeyValues(HiveOfRow(row), path, 0);
    PlatKey key = NULL;
    if (PlatRegOpenRead(HiveOfRow(row), path, &key) != PLAT_OK || !key)
        return 0;
    int32_t count = 0;
    char section[KEY_PATH_SIZE];
    for (uint32_t index = 0;; ++index) {
        int found = SectionPath(key, path, index, section);
        if (found == 0)
            break;
        if (found > 0)
            count += CountKeyValues(HiveOfRow(row), section, 1);
    }
    PlatRegClose(key);
    return count;
}

// Builds "folder\*"; zero when the folder's path leaves no room for it.
static int FolderPattern(const char *folder, char *pattern)
{
    return TextFormat(pattern, TEXT_FIELD_SIZE, "%s\\*", folder);
}

// Explorer starts every file of a Startup folder: not its subfolders (nor
// "." and ".."), and not desktop.ini, the folder's own settings.
static int IsStartupFile(PlatFind find, const char *name)
{
    return !(PlatFindAttributes(find) & PLAT_FILE_FOLDER)
           && TextCompareNoCase(name, "desktop.ini") != 0;
}

static int32_t CountFolderRow(const AutostartLocation *row)
{
    char folder[TEXT_FIELD_SIZE];
    char pattern[TEXT_FIELD_SIZE];
    char name[TEXT_FIELD_SIZE];
    // The folders of disabled items exist after a scan: made where the user
    // could not have redirected them, held (MakeDisabledFolder).
    int found = row->disabledFolder ? MakeDisabledFolder(ScopeIsUser(row->scope), folder)
                                    : ResolveLocationFolder(row, folder);
    if (!found || !FolderPattern(folder, pattern))
        return 0;
    PlatFind find = PlatFindFirst(pattern, name);
    if (!find)
        return 0;
    int32_t count = 0;
    do
        count += IsStartupFile(find, name);
    while (PlatFindNext(find, name));
    PlatFindClose(find);
    return count;
}

int32_t CountItems(void)
{
    int32_t total = 0;
    for (int i = 0; i < LOCATION_COUNT; ++i) {
        const AutostartLocation *row = &AutostartLocations[i];
        if (!RowWanted(i))
            continue;
        total += row->kind == LocationRegistryKey ? CountRegistryRow(row) : CountFolderRow(row);
    }
    int32_t none = 0;
    return total + (OthersWanted ? VisitLogonPlaces(NULL, &none, 0) : 0);
}

// An entry that Windows' startup settings switch off is listed as disabled
// in place: its location says where it is, approvalDisabled why it is off.
static void ReadApproval(AutostartItem *item)
{
    if (item->enabled && ApprovalSaysDisabled(item)) {
        item->enabled = 0;
        item->approvalDisabled = 1;
    }
}

// Set while ScanStorage runs: the loading passes then leave each target's
// files unopened (detailsPending) for ReadItemDetails.
static int DeferDetails = 0;
// Set while ScanStorageUntil runs: asked between places and folder files.
static int (*StopAsked)(void *context) = NULL;
static void *StopContext = NULL;

static int ScanStopped(void)
{
    return StopAsked && StopAsked(StopContext);
}


void ReadTargetDetails(AutostartItem *item)
{
    TargetFolderOf(item->target, item->targetFolder);
    item->detailsPending = 1;
    if (!DeferDetails)
        ReadItemDetails(item);
}

void ReadItemDetails(AutostartItem *item)
{
    if (!item->detailsPending)
        return;
    item->detailsPending = 0;
    char native[TEXT_FIELD_SIZE];
    NativeFilePath(item->target, native);
    ReadPublisher(item, native);
    // A file on the network is never opened during a Refresh: an
    // unreachable server would hold the list for a minute per call.
    if (native[0] && PlatIsNetworkPath(native)) {
        TextCopy(item->description, TEXT_FIELD_SIZE, NOT_READ_NETWORK);
        TextCopy(item->company, TEXT_FIELD_SIZE, NOT_READ_NETWORK);
        return;
    }
    // A name the logon's search did not find is missing; looking for it here
    // would find a file beside this program.
    int full = PathIsFull(native);
    ReadVersionStrings(full ? native : "", item->description, item->company);
    item->targetMissing = !full || !PlatFileExists(native);
}

// A value whose data is longer than the field: read whole and cut at the
// field, so the list shows what it runs instead of nothing, marked as cut
// when its text really is longer.
static void ReadLongCommand(PlatKey key, const char *name, AutostartItem *item)
{
    uint32_t size = 0;
    if (PlatRegQueryValue(key, name, NULL, NULL, &size) != PLAT_OK || size == 0)
        return;
    char *whole = (char *)PlatAllocZero((size_t)size + 1);
    if (!whole)
        return;
    uint32_t got = size;
    if (PlatRegQueryValue(key, name, NULL, whole, &got) == PLAT_OK && got <= size) {
        size_t length = TextLengthIn(whole, got);
        item->commandCut = length > COMMAND_FIELD_SIZE - 1;
        if (item->commandCut)
            length = COMMAND_FIELD_SIZE - 1;
        memcpy(item->command, whole, length);
        item->command[length] = '\0';
    }
    PlatFree(whole);
}

// Nonzero when the key holds an entry at index or after it.
static int MoreValues(PlatKey key, uint32_t index, int section)
{
    char name[TEXT_FIELD_SIZE + 1];
    for (;; ++index) {
        name[0] = '\0';
        if (!IsEntry(PlatRegEnumValue(key, index, name, sizeof name, NULL, NULL, NULL)))
            return 0;
        if (!IsSectionTitle(section, name))
            return 1;
    }
}

// Nonzero when the key held more entries than the block had room left for,
// or changed while it was read.
static int LoadKeyValues(AutostartItem *records, int32_t *runningCount, int32_t limit,
                         const AutostartLocation *row, const char *path)
{
    int section = RowHasSections(row);
    PlatKey key = NULL;
    if (PlatRegOpenRead(HiveOfRow(row), path, &key) != PLAT_OK || !key)
        return 0;

    PlatKeyState before;
    PlatRegKeyState(key, &before);
    int more = 0;
    for (uint32_t index = 0;; ++index) {
        if (*runningCount >= limit) {
            more = MoreValues(key, index, section);
            break;
        }
        AutostartItem *item = &records[*runningCount];
        // One byte more than the field: a name that fills it was cut.
        char name[TEXT_FIELD_SIZE + 1];
        uint32_t type = PLAT_REG_NONE;
        uint32_t dataSize = COMMAND_FIELD_SIZE;
        name[0] = '\0';
        // The data goes straight into the record's command field; the value's
        // type is not examined: it is taken as text up to its first zero.
        long result = PlatRegEnumValue(key, index, name, sizeof name, &type, item->command,
                                       &dataSize);
        if (!IsEntry(result) || IsSectionTitle(section, name)) {
            memset(item->command, 0, sizeof item->command);
            if (!IsEntry(result))
                break;
            continue;
        }
        if (result == PLAT_OK && dataSize < COMMAND_FIELD_SIZE)
            memset(item->command + dataSize, 0, COMMAND_FIELD_SIZE - dataSize);
        // Data without a terminator within the field is taken as cut there.
        item->commandCut = TextLengthIn(item->command, COMMAND_FIELD_SIZE) == COMMAND_FIELD_SIZE;
        item->command[COMMAND_FIELD_SIZE - 1] = '\0';
        // A section's path may not fit the field: listed cut, never acted on.
        item->locationCut = !TextCopy(item->location, TEXT_FIELD_SIZE, path);
        item->cut = item->locationCut || strlen(name) >= TEXT_FIELD_SIZE;
        item->inexact = !item->cut && !PlatRegNameExact(key, index, name);
        if (!item->cut && dataSize > COMMAND_FIELD_SIZE)
            ReadLongCommand(key, name, item);

        item->kind = RegistryValue;
        TextCopy(item->name, TEXT_FIELD_SIZE, name);
        TextCopy(item->scope, SCOPE_SIZE, row->scope);
        item->enabled = row->enabled;
        item->view = row->view;
        item->policyOff = row->enabled && KeySwitchedOffByPolicy(row);
        ReadApproval(item);
        ParseEntryCommand(item, section);
        ReadTargetDetails(item);
        ++*runningCount;
    }
    more |= KeyStateChanged(key, &before);
    PlatRegClose(key);
    return more;
}

static int LoadRegistryRow(AutostartItem *records, int32_t *runningCount, int32_t limit,
                           const AutostartLocation *row)
{
    char path[TEXT_FIELD_SIZE];
    RegistryKeyPath(row->keyPath, row->enabled, path);
    if (!RowHasSections(row))
        return LoadKeyValues(records, runningCount, limit, row, path);
    PlatKey key = NULL;
    if (PlatRegOpenRead(HiveOfRow(row), path, &key) != PLAT_OK || !key)
        return 0;
    char section[KEY_PATH_SIZE];
    PlatKeyState before;
    PlatRegKeyState(key, &before);
    int more = 0;
    for (uint32_t index = 0; !more; ++index) {
        int found = SectionPath(key, path, index, section);
        if (found == 0)
            break;
        if (found > 0)
            more = LoadKeyValues(records, runningCount, limit, row, section);
    }
    more |= KeyStateChanged(key, &before);
    PlatRegClose(key);
    return more;
}

static int IsShellLink(const char *name)
{
    size_t length = strlen(name);
    return length >= 4 && TextCompareNoCase(name + length - 4, ".lnk") == 0;
}

// A shortcut's command as a command line anyone can read and run: its
// target's long path, quoted when it holds a blank, one blank, arguments.
static void ShortcutCommand(AutostartItem *item)
{
    const char *quote = strchr(item->target, ' ') ? "\"" : "";
    TextFormat(item->command, COMMAND_FIELD_SIZE, "%s%s%s%s%s", quote, item->target, quote,
               item->parameters[0] ? " " : "", item->parameters);
}

// Elevated, files seen through a folder made a link (any user can make the
// shared folder of disabled items one) belong to some other place.
static int FolderOnTheWayIsLink(const char *folder)
{
    if (!PlatIsElevated())
        return 0;
    PlatPlace place = NULL;
    long held = PlatPlaceHold(&folder, 1, 0, &place);
    if (place)
        PlatPlaceRelease(place);
    return held == PLAT_ERROR_STOPPED_ON_SYMLINK;
}

static int LoadFolderRow(AutostartItem *records, int32_t *runningCount, int32_t limit,
                         const AutostartLocation *row, const char *folder)
{
    char pattern[TEXT_FIELD_SIZE];
    char name[TEXT_FIELD_SIZE];
    if (!FolderPattern(folder, pattern))
        return 0;
    PlatFind find = PlatFindFirst(pattern, name);
    if (!find)
        return 0;
    int linked = FolderOnTheWayIsLink(folder);
    int more = 0;
    do {
        if (ScanStopped())
            break;
        if (!IsStartupFile(find, name))
            continue;
        if (*runningCount >= limit) {
            more = 1;
            break;
        }
        AutostartItem *item = &records[*runningCount];
        item->kind = Shortcut;
        if (linked)
            TextCopy(item->placeNote, TEXT_FIELD_SIZE, NOTE_FOLDER_IS_LINK);
        item->cut = !TextFormat(item->location, TEXT_FIELD_SIZE, "%s\\%s", folder, name);
        item->inexact = !item->cut && !PlatFindExact(find);
        item->hidden = (PlatFindAttributes(find) & PLAT_FILE_HIDDEN) != 0;
        TextCopy(item->name, TEXT_FIELD_SIZE, name);
        TextCopy(item->scope, SCOPE_SIZE, row->scope);
        item->enabled = row->enabled;
        ReadApproval(item);
        if (IsShellLink(name)) {
            // The link's comment lands in description; the target's own
            // FileDescription replaces it below unless its block cannot be read.
            ResolveShortcut(item->location, item->target,
                            item->description, item->parameters);
        } else {
            // Any other file is its own program (a .bat, .vbs, .url, .exe).
            TextCopy(item->target, TEXT_FIELD_SIZE, item->location);
        }
        ShortcutCommand(item);
        ReadTargetDetails(item);
        ++*runningCount;
    } while (PlatFindNext(find, name));
    PlatFindClose(find);
    return more;
}

int LoadLocation(AutostartItem *records, int32_t *runningCount, int32_t limit,
                 const AutostartLocation *row, const char *folder)
{
    if (row->kind == LocationRegistryKey)
        return LoadRegistryRow(records, runningCount, limit, row);
    return LoadFolderRow(records, runningCount, limit, row, folder);
}

void FreeCatalogueData(CatalogueData *data)
{
    if (data->items && data->items != &EmptyCatalogueRecord)
        PlatFree(data->items);
    data->items = &EmptyCatalogueRecord;
    data->count = 0;
    data->capacity = 0;
    data->changed = 0;
    data->tasksUnread[0] = '\0';
}

void AdoptCatalogue(CatalogueData *scanned)
{
    FreeCatalogueData(&ItemCatalogue);
    ItemCatalogue = *scanned;
    scanned->items = &EmptyCatalogueRecord;
    scanned->count = 0;
    scanned->capacity = 0;
    scanned->changed = 0;
    scanned->tasksUnread[0] = '\0';
}

// The counting pass and the loading pass into a new block of out: zero
// when the load met more entries than were counted (storage grew between
// the passes) or a key changed while it was read: rows may be missing.
static int LoadPasses(CatalogueData *out, const TaskRows *tasks, const TaskRows *apps,
                      const TaskRows *services, const TaskRows *others)
{
    int32_t counted = CountItems();

    // When the block cannot be had, the catalogue stays empty, and says so:
    // enough entries in a place any program writes could bring that about.
    const size_t most = ((size_t)-1) / sizeof(AutostartItem) - 1;
    // The places keep to their own count, so the tasks always have room.
    int32_t capacity = counted + tasks->count + apps->count + services->count + others->count;
    AutostartItem *records =
        counted < 0
                || (size_t)counted + (size_t)tasks->count + (size_t)apps->count
                           + (size_t)services->count + (size_t)others->count
                       > most
            ? NULL
            : (AutostartItem *)PlatAllocZero(((size_t)capacity + 1) * sizeof(AutostartItem));
    if (!records) {
        if (CatalogueErrors)
            CatalogueErrors(CatalogueErrorContext, "", SCAN_NO_MEMORY);
        return 1;
    }
    out->items = records;
    out->capacity = capacity;

    int32_t running = 0;
    int more = 0;
    for (int i = 0; i < LOCATION_COUNT; ++i) {
        const AutostartLocation *row = &AutostartLocations[i];
        if (ScanStopped())
            break;
        if (!RowWanted(i))
            continue;
        if (row->kind == LocationRegistryKey) {
            more |= LoadLocation(records, &running, counted, row, NULL);
            continue;
        }
        char folder[TEXT_FIELD_SIZE];
        if (ResolveLocationFolder(row, folder))
            more |= LoadLocation(records, &running, counted, row, folder);
    }
    // Before the logon places, which hold no Run or Startup entries.
    running = FoldCameBack(records, running);
    int32_t before = running;
    if (OthersWanted)
        more |= VisitLogonPlaces(records, &running, counted) > running - before;
    AppendTaskRows(tasks, records, &running, capacity);
    // A task of ours that starts an entry later is that entry's row.
    running = FoldStartLater(records, running);
    for (int32_t i = 0; i < apps->count && running < capacity; ++i)
        records[running++] = apps->items[i];
    for (int32_t i = 0; i < services->count && running < capacity; ++i)
        records[running++] = services->items[i];
    for (int32_t i = 0; i < others->count && running < capacity; ++i)
        records[running++] = others->items[i];
    out->count = running;
    return !more;
}

// A program writing while the scan reads rarely does so twice running.
#define SCAN_ATTEMPTS 3

static void LoadStorage(CatalogueData *out)
{
    ReadPolicySwitches();
    TaskRows tasks = {NULL, 0, ""}, apps = {NULL, 0, ""}, services = {NULL, 0, ""},
             others = {NULL, 0, ""};
    out->otherPlaces = OthersWanted && ListOtherPlaces;
    // Even a scan narrowed to named values reads the tasks of ours that
    // may start one of them later: a change that did not see them would
    // leave the entry starting twice, or its task behind.
    ReadTaskRows(&tasks, OthersWanted ? NULL : START_LATER_FOLDER);
    if (OthersWanted) {
        ReadAppRows(&apps);
        ReadServiceRows(&services);
        if (out->otherPlaces)
            ReadOtherPlaceRows(&others);
    }
    int whole = 0;
    for (int attempt = 0; attempt < SCAN_ATTEMPTS && !whole && !ScanStopped(); ++attempt) {
        if (attempt)
            FreeCatalogueData(out);
        whole = LoadPasses(out, &tasks, &apps, &services, &others);
    }
    // Said when read (ReadTaskRows), kept for the status and the report.
    TextCopy(out->tasksUnread, sizeof out->tasksUnread, tasks.unread);
    if (apps.unread[0] && out->tasksUnread[0])
        TextAppend(out->tasksUnread, sizeof out->tasksUnread, "; ");
    TextAppend(out->tasksUnread, sizeof out->tasksUnread, apps.unread);
    if (services.unread[0] && out->tasksUnread[0])
        TextAppend(out->tasksUnread, sizeof out->tasksUnread, "; ");
    TextAppend(out->tasksUnread, sizeof out->tasksUnread, services.unread);
    if (others.unread[0] && out->tasksUnread[0])
        TextAppend(out->tasksUnread, sizeof out->tasksUnread, "; ");
    TextAppend(out->tasksUnread, sizeof out->tasksUnread, others.unread);
    FreeTaskRows(&tasks);
    FreeTaskRows(&apps);
    FreeTaskRows(&services);
    FreeTaskRows(&others);
    // The rows that fitted are kept, and the list said to lack some.
    if (whole || ScanStopped())
        return;
    out->changed = 1;
    if (CatalogueErrors)
        CatalogueErrors(CatalogueErrorContext, "", SCAN_STORAGE_CHANGED);
}

int ScanStorageUntil(CatalogueData *out, int (*stopped)(void *context), void *context)
{
    out->items = &EmptyCatalogueRecord;
    out->count = 0;
    out->capacity = 0;
    out->changed = 0;
    out->tasksUnread[0] = '\0';
    DeferDetails = 1;
    StopAsked = stopped;
    StopContext = context;
    LoadStorage(out);
    // A scan narrowed to some ids changes entries and shows no costs.
    if (OthersWanted && !ScanStopped())
        ReadCostAndRunning(out);
    int whole = !ScanStopped();
    StopAsked = NULL;
    StopContext = NULL;
    DeferDetails = 0;
    // A scan given up part way is no picture of storage: nothing of it is kept.
    if (!whole)
        FreeCatalogueData(out);
    return whole;
}

void ScanStorage(CatalogueData *out)
{
    ScanStorageUntil(out, NULL, NULL);
}

// ---- the places some ids name --------------------------------------------------

// 1 when id begins with prefix (ASCII), compared as ids are compared; 0 when
// it does not; -1 when its beginning is not plain ASCII: a letter of another
// script may compare equal to one of the prefix, so nothing is ruled out.
static int IdBegins(const char *id, const char *prefix)
{
    char head[ITEM_ID_SIZE];
    size_t length = strlen(prefix);
    if (length >= sizeof head)
        return -1;
    for (size_t i = 0; i < length; ++i) {
        if (!id[i])
            return 0;
        if ((unsigned char)id[i] >= 0x80)
            return -1;
        head[i] = id[i];
    }
    head[length] = '\0';
    return PlatNamesEqual(head, prefix) ? 1 : 0;
}

// Marks the rows of id's Run-family key, its live and its "-" key alike (a
// moved-aside copy is found by its home id, and folded into a namesake
// that came back); zero when id may name anything else: a file, a task, a
// RunOnceEx section (whose Depend keys are logon places), any other key.
static int MarkIdRows(const char *id, uint8_t *wanted)
{
    for (int i = 0; i < LOCATION_COUNT; ++i) {
        const AutostartLocation *row = &AutostartLocations[i];
        if (row->kind != LocationRegistryKey)
            continue;
        char live[TEXT_FIELD_SIZE + 40], aside[TEXT_FIELD_SIZE + 40], path[TEXT_FIELD_SIZE];
        RegistryKeyText(HiveOfRow(row), row->keyPath, 0, live, sizeof live);
        RegistryKeyPath(row->keyPath, 0, path);
        RegistryKeyText(HiveOfRow(row), path, 0, aside, sizeof aside);
        TextAppend(live, sizeof live, "\\");
        TextAppend(aside, sizeof aside, "\\");
        int begins = IdBegins(id, live), besides = IdBegins(id, aside);
        if (begins < 0 || besides < 0)
            return 0;
        if (!begins && !besides)
            continue;
        if (RowHasSections(row))
            return 0;
        for (int j = 0; j < LOCATION_COUNT; ++j) {
            const AutostartLocation *other = &AutostartLocations[j];
            wanted[j] |= other->kind == LocationRegistryKey
                         && HiveOfRow(other) == HiveOfRow(row)
                         && strcmp(other->keyPath, row->keyPath) == 0;
        }
        return 1;
    }
    return 0;
}

void ScanStorageForIds(CatalogueData *out, const char *const *ids, int32_t count)
{
    uint8_t wanted[LOCATION_COUNT];
    memset(wanted, 0, sizeof wanted);
    int narrowed = count > 0;
    for (int32_t k = 0; narrowed && k < count; ++k)
        narrowed = MarkIdRows(ids[k], wanted);
    if (narrowed) {
        RowsWanted = wanted;
        OthersWanted = 0;
    }
    ScanStorage(out);
    RowsWanted = NULL;
    OthersWanted = 1;
}

void ScanCatalogue(void)
{
    FreeCatalogueData(&ItemCatalogue);
    CatalogueData scanned;
    ScanStorage(&scanned);
    for (int32_t i = 0; i < scanned.count; ++i)
        ReadItemDetails(&scanned.items[i]);
    AdoptCatalogue(&scanned);
}
