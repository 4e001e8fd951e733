// services.cpp - the services Windows starts by itself, as rows.
//
// The Service Control Manager starts every Win32 service whose start type
// is automatic at boot, before anyone logs on (a delayed one shortly
// after), with the rights of the account it runs as: updaters and vendor
// agents install one as often as a Run value, and so does an intruder. The
// SCM, not the registry, is asked what it holds (the registry's Services
// key is only read again at the next boot). It starts the ImagePath with
// CreateProcess, so an unquoted path with blanks is read as a Run value's
// command is, expanded with the system's variables; svchost.exe loads the
// service's Parameters\ServiceDll, which is then the program that runs.
// A service switched off here is Manual, which the SCM never starts by
// itself: it stays a row, off, while SERVICES_OFF_KEY keeps its old start
// type. A listing that fails is said, every scan.
#include "task_rows.h"

#include <string.h>

static const char *FileNameOf(const char *path)
{
    const char *slash = strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

// A display name or description may be an indirect string ("@dll,-101"),
// which Windows resolves for the eye; as stored when it cannot be.
static void ShownText(const char *stored, char *text, size_t size)
{
    if (stored[0] != '@' || !PlatIndirectString(stored, text, size) || !text[0])
        TextCopy(text, size, stored);
}

static void AddNote(char *notes, size_t size, const char *note)
{
    if (notes[0])
        TextAppend(notes, size, "; ");
    TextAppend(notes, size, note);
}

// svchost.exe loads the service's Parameters\ServiceDll, or the one in the
// service's own key where Parameters has none, expanded in the system's
// environment. Nonzero with the DLL as target and svchost as its host.
static int UseServiceDll(AutostartItem *item, const char *name)
{
    char key[KEY_PATH_SIZE];
    const char *const places[2] = {"%s\\%s\\Parameters", "%s\\%s"};
    for (const char *place : places) {
        if (!TextFormat(key, sizeof key, place, SERVICES_KEY, name))
            return 0;
        char *dll = ReadValueText(PLAT_HKLM, key, "ServiceDll");
        if (dll && dll[0]) {
            TextCopy(item->serviceHost, TEXT_FIELD_SIZE, item->target);
            ExpandAsSystem(dll, item->target);
            PlatFree(dll);
            return 1;
        }
        PlatFree(dll);
    }
    return 0;
}

// What the details say: how Windows starts it, the account, whether it
// runs, then what may be long (a path cut, the host of a DLL), the texts
// its maker chose last (display name, description), so that none of them
// pushes a fact out of the field.
static void DescribeService(AutostartItem *item, const PlatServiceStatus *status,
                            const PlatServiceConfig *config, int dllUnread, int otherPath)
{
    char all[4 * TEXT_FIELD_SIZE] = "";
    char shown[TEXT_FIELD_SIZE], note[TEXT_FIELD_SIZE + 64];
    if (!item->enabled)
        AddNote(all, sizeof all, otherPath ? NOTE_SERVICE_OFF_OTHER_PATH : NOTE_SERVICE_OFF_HERE);
    AddNote(all, sizeof all,
            config->delayed > 0    ? NOTE_SERVICE_DELAYED
            : config->delayed == 0 ? NOTE_SERVICE_AUTOMATIC
                                   : NOTE_SERVICE_DELAY_UNKNOWN);
    if (config->account[0]) {
        TextFormat(note, sizeof note, NOTE_SERVICE_ACCOUNT, config->account);
        AddNote(all, sizeof all, note);
    }
    if (status->state == PLAT_SERVICE_STOPPED)
        AddNote(all, sizeof all, NOTE_SERVICE_STOPPED);
    else if (!status->processId)
        AddNote(all, sizeof all, NOTE_SERVICE_RUNNING_SHARED);
    else if (TextFormat(note, sizeof note, NOTE_SERVICE_RUNNING, (unsigned)status->processId))
        AddNote(all, sizeof all, note);
    if (dllUnread)
        AddNote(all, sizeof all, NOTE_SERVICE_NO_DLL);
    if (config->binaryPathCut)
        AddNote(all, sizeof all, NOTE_SERVICE_PATH_CUT);
    if (item->serviceHost[0]) {
        TextFormat(note, sizeof note, NOTE_SERVICE_HOSTED, item->serviceHost);
        AddNote(all, sizeof all, note);
    }
    ShownText(status->displayName, shown, sizeof shown);
    if (shown[0] && strcmp(shown, item->name) != 0) {
        TextFormat(note, sizeof note, NOTE_SERVICE_DISPLAY, shown);
        AddNote(all, sizeof all, note);
    }
    ShownText(config->description, shown, sizeof shown);
    if (shown[0]) {
        TextFormat(note, sizeof note, NOTE_SERVICE_DESCRIPTION, shown);
        AddNote(all, sizeof all, note);
    }
    TextCopyShown(item->taskNotes, TEXT_FIELD_SIZE, all, 0);
}

void ServiceOffRecord(uint32_t start, const char *binaryPath, uint8_t *record)
{
    char hash[65];
    Sha256Of(binaryPath, strlen(binaryPath), hash);
    memcpy(record, &start, 4);
    memcpy(record + 4, hash, 64);
}

int ReadServiceOff(const char *name, const char *binaryPath, uint32_t *start)
{
    uint32_t type = PLAT_REG_NONE, size = 0;
    void *data = NULL;
    uint8_t expected[SERVICE_OFF_SIZE];
    int found = ReadWholeValue(PLAT_HKLM, SERVICES_OFF_KEY, name, 1, &type, &data, &size)
                && type == PLAT_REG_BINARY && size == SERVICE_OFF_SIZE;
    if (found) {
        memcpy(start, data, 4);
        ServiceOffRecord(*start, binaryPath, expected);
        found = memcmp(expected, data, SERVICE_OFF_SIZE) == 0 ? SERVICE_OFF_SAME : SERVICE_OFF_OTHER;
    }
    PlatFree(data);
    return found;
}

// Nonzero (SERVICE_OFF_SAME or _OTHER) when the service was switched off
// here from automatic: its value under SERVICES_OFF_KEY holds that start
// type (nothing else writes there).
static int SwitchedOffHere(const char *name, const char *binaryPath)
{
    uint32_t old = 0;
    int found = ReadServiceOff(name, binaryPath, &old);
    return old == PLAT_SERVICE_AUTO_START ? found : 0;
}

// The row of an automatic service, or of a Manual one switched off here:
// zero for any other.
static int FillServiceRow(AutostartItem *item, const PlatServiceStatus *status,
                          const PlatServiceConfig *config)
{
    if (!(config->type & (PLAT_SERVICE_OWN_PROCESS | PLAT_SERVICE_SHARE_PROCESS)))
        return 0;
    // Listed off even when its program changed since (an update): never
    // lost to the list, though On is then refused.
    int off = config->startType == PLAT_SERVICE_DEMAND_START && status->exact
                  ? SwitchedOffHere(status->name, config->binaryPath)
                  : 0;
    if (config->startType != PLAT_SERVICE_AUTO_START && !off)
        return 0;
    item->kind = Service;
    item->enabled = !off;
    item->serviceRunning = status->state != PLAT_SERVICE_STOPPED;
    item->serviceProcess = item->serviceRunning ? status->processId : 0;
    TextCopy(item->scope, SCOPE_SIZE, SCOPE_ALL);
    item->cut = !TextCopy(item->name, TEXT_FIELD_SIZE, status->name);
    item->inexact = !item->cut && !status->exact;
    char key[KEY_PATH_SIZE];
    item->locationCut = !TextFormat(key, sizeof key, "%s\\%s", SERVICES_KEY, status->name)
                        || !TextCopy(item->location, TEXT_FIELD_SIZE, key);
    item->cut |= item->locationCut;
    item->commandCut = !TextCopy(item->command, COMMAND_FIELD_SIZE, config->binaryPath)
                       || config->binaryPathCut;
    ParseServiceCommand(item);
    // Only Windows' own host loads the ServiceDll: a file of that name
    // elsewhere is itself the program that runs.
    int dllUnread = TextCompareNoCase(FileNameOf(item->target), SERVICE_HOST) == 0
                    && InWindowsFolders(item->target) && !UseServiceDll(item, status->name);
    DescribeService(item, status, config, dllUnread, off == SERVICE_OFF_OTHER);
    ReadTargetDetails(item);
    return 1;
}

void ReadServiceRows(TaskRows *rows)
{
    TaskCollector c;
    memset(&c, 0, sizeof c);
    PlatServiceStatus *services = NULL;
    uint32_t count = 0;
    long listed = PlatServiceList(&services, &count);
    char why[TEXT_FIELD_SIZE], text[TEXT_FIELD_SIZE + 128];
    if (listed != PLAT_OK) {
        PlatErrorText(listed, why, sizeof why);
        TextFormat(text, sizeof text, SERVICES_NOT_LISTED, why);
        SayTasksUnread(&c, "", text);
    }
    long unread = 0, firstError = PLAT_OK;
    // Larger than a stack should hold; none is needed for no services.
    PlatServiceConfig *config =
        count ? (PlatServiceConfig *)PlatAllocZero(sizeof *config) : NULL;
    for (uint32_t i = 0; i < count && config; ++i) {
        // A name the code page changed (or cut) is never asked for: it
        // could be another service's name. Said as unread.
        long queried = services[i].exact ? PlatServiceQuery(services[i].name, config)
                                         : (long)PLAT_ERROR_SERVICE_DOES_NOT_EXIST;
        // A service deleted since the listing is no longer there to start.
        if (queried == PLAT_ERROR_SERVICE_DOES_NOT_EXIST && services[i].exact)
            continue;
        if (queried != PLAT_OK) {
            if (!unread++)
                firstError = queried;
            continue;
        }
        AutostartItem *item = NewTaskRow(&c);
        if (!item) {
            c.leftOut += (long)(count - i);
            break;
        }
        c.count += FillServiceRow(item, &services[i], config);
    }
    if (!config && count)
        c.leftOut = (long)count;
    PlatFree(config);
    PlatFree(services);
    if (unread) {
        PlatErrorText(firstError, why, sizeof why);
        TextFormat(text, sizeof text, SERVICES_UNREAD, unread, why);
        SayTasksUnread(&c, "", text);
    }
    if (c.leftOut) {
        TextFormat(text, sizeof text, SERVICES_NO_MEMORY, c.leftOut);
        SayTasksUnread(&c, "", text);
    }
    rows->items = c.items;
    rows->count = c.count;
    TextCopy(rows->unread, sizeof rows->unread, c.unread);
}
