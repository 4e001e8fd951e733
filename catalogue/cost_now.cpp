// cost_now.cpp - what each entry's program cost at the user's last logon,
// and whether it runs now. The record of the logon (logon_cost.h) and the
// list of processes are read once per scan, never per row: a record may
// hold megabytes, and a list taken row by row would be a different moment
// for each row.
#include "catalogue.h"
#include "logon_cost.h"

#include <string.h>

// More files than this of one user are not looked at (Windows keeps a few).
#define LOGON_FILES_MOST 64

struct ScanLogon {
    LogonRecord *record;         // null unless the record was read whole
    int32_t state;               // LogonCostState of every row when there is no record
    char cause[TEXT_FIELD_SIZE]; // ... and why
    int32_t utcOffset;
    PlatProcess *processes;
    uint32_t processCount;
    long processesFailed;        // the listing's error, PLAT_OK when listed
};

static void NoRecord(ScanLogon *logon, int32_t state, const char *cause)
{
    logon->state = state;
    TextCopy(logon->cause, sizeof logon->cause, cause);
}

// Why a file or folder of the record could not be read. Unelevated, a
// denial is the administrators-only rule, said by LogonCostText itself.
static void Unreadable(ScanLogon *logon, long error)
{
    char cause[TEXT_FIELD_SIZE] = "";
    if (error != PLAT_ERROR_ACCESS_DENIED || PlatIsElevated())
        PlatErrorText(error, cause, sizeof cause);
    NoRecord(logon, LOGON_COST_UNREADABLE, cause);
}

// The user's files of the record folder, the newest kept when there are
// more than the array holds. The count; -1 with the cause said when the
// folder could not be read.
static int32_t ListLogonFiles(ScanLogon *logon, const char *folder, const char *sid,
                              LogonFileName *files)
{
    char pattern[TEXT_FIELD_SIZE], name[PLAT_TEXT_SIZE];
    if (!TextFormat(pattern, sizeof pattern, "%s\\%s_StartupInfo*.xml", folder, sid)) {
        NoRecord(logon, LOGON_COST_UNREADABLE, "the Windows folder's path is too long");
        return -1;
    }
    PlatFind find = PlatFindFirst(pattern, name);
    if (!find) {
        long error = PlatLastError();
        if (error == PLAT_ERROR_FILE_NOT_FOUND || error == PLAT_ERROR_PATH_NOT_FOUND)
            return 0;
        Unreadable(logon, error);
        return -1;
    }
    int32_t count = 0;
    do {
        if (!PlatFindExact(find) || (PlatFindAttributes(find) & PLAT_FILE_FOLDER))
            continue;
        uint64_t written = PlatFindWriteTime(find);
        int32_t slot = count;
        if (count == LOGON_FILES_MOST) {
            slot = 0;
            for (int32_t i = 1; i < count; ++i)
                if (files[i].writeTime < files[slot].writeTime)
                    slot = i;
            if ((uint64_t)files[slot].writeTime >= written)
                continue;
        } else {
            ++count;
        }
        TextCopy(files[slot].name, sizeof files[slot].name, name);
        files[slot].writeTime = (int64_t)written;
    } while (PlatFindNext(find, name));
    PlatFindClose(find);
    return count;
}

static void ReadRecord(ScanLogon *logon)
{
    char windows[PLAT_TEXT_SIZE], folder[TEXT_FIELD_SIZE], native[TEXT_FIELD_SIZE];
    char sid[TEXT_FIELD_SIZE];
    if (!PlatShellFolder(PLAT_CSIDL_WINDOWS, windows) || !windows[0]) {
        NoRecord(logon, LOGON_COST_UNREADABLE, "the Windows folder is not known");
        return;
    }
    size_t length = strlen(windows);
    if (windows[length - 1] == '\\')
        windows[length - 1] = '\0';
    if (!PlatUserSid(sid, sizeof sid)) {
        NoRecord(logon, LOGON_COST_UNREADABLE, "this user's security identifier could not be read");
        return;
    }
    // A 32-bit build reads the 64-bit system's folder, not SysWOW64's.
    TextFormat(folder, sizeof folder, "%s\\" LOGON_RECORD_FOLDER, windows);
    NativeFilePath(folder, native);
    LogonFileName *files = (LogonFileName *)PlatAllocZero(LOGON_FILES_MOST * sizeof *files);
    if (!files) {
        NoRecord(logon, LOGON_COST_UNREADABLE, "not enough memory");
        return;
    }
    int32_t count = ListLogonFiles(logon, native, sid, files);
    int32_t newest = count > 0 ? ChooseLogonFile(files, count, sid) : -1;
    char path[TEXT_FIELD_SIZE];
    int named = newest >= 0
                && TextFormat(path, sizeof path, "%s\\%s", native, files[newest].name);
    PlatFree(files);
    if (count < 0)
        return;
    if (!named) {
        NoRecord(logon, LOGON_COST_NO_RECORD, "");
        return;
    }
    void *data = NULL;
    uint32_t size = 0;
    long read = PlatFileLoadMost(path, LOGON_FILE_MOST, &data, &size);
    if (read == PLAT_ERROR_MORE_DATA) {
        NoRecord(logon, LOGON_COST_REFUSED, "the record is larger than any logon's");
        return;
    }
    if (read != PLAT_OK) {
        Unreadable(logon, read);
        return;
    }
    LogonRecord *record = (LogonRecord *)PlatAllocZero(sizeof *record);
    if (!record)
        NoRecord(logon, LOGON_COST_UNREADABLE, "not enough memory");
    else if (!ParseLogonRecord(data, size, record))
        NoRecord(logon, LOGON_COST_REFUSED, record->cause);
    else
        logon->record = record;
    if (record && !logon->record)
        PlatFree(record);
    PlatFree(data);
}

// Nonzero when another row starts the same program: its starts at the
// logon are told apart only by their command lines.
static int ProgramShared(const CatalogueData *data, int32_t index)
{
    const char *target = data->items[index].target;
    for (int32_t i = 0; target[0] && i < data->count; ++i)
        if (i != index && TextCompareNoCase(data->items[i].target, target) == 0)
            return 1;
    return 0;
}

static void FillCost(const ScanLogon *logon, const CatalogueData *data, int32_t index)
{
    AutostartItem *item = &data->items[index];
    LogonCost cost;
    memset(&cost, 0, sizeof cost);
    if (!logon->record) {
        cost.state = logon->state;
        TextCopy(cost.cause, sizeof cost.cause, logon->cause);
    } else {
        // The command line as the logon gave it to the program; one that
        // did not fit its expansion is left out rather than matched cut.
        char expanded[TEXT_FIELD_SIZE] = "";
        const char *command = item->command;
        if (item->commandCut) {
            command = "";
        } else if (strchr(command, '%')) {
            ExpandAsLogon(command, expanded);
            command = strlen(expanded) < sizeof expanded - 1 ? expanded : "";
        }
        FindLogonCost(logon->record, item->target, command, &cost);
        // Two entries of one program: a start without this one's command
        // line may be the other's.
        // A host such as rundll32.exe is started by Windows and others too.
        int host = RunsWhatItIsGiven(item->target);
        if (cost.state == LOGON_COST_MEASURED && !cost.commandMatched
            && (host || ProgramShared(data, index))) {
            cost.state = LOGON_COST_NO_MATCH;
            TextCopy(cost.cause, sizeof cost.cause,
                     host ? "its program is one Windows and other programs start too, and no "
                            "start at the last logon had this entry's command line"
                          : "another entry starts the same program, and no start at the last "
                            "logon had this entry's command line");
        }
    }
    item->costState = cost.state;
    item->costCpu = cost.state == LOGON_COST_MEASURED ? cost.cpuMicroseconds : 0;
    item->costDisk = cost.state == LOGON_COST_MEASURED ? cost.diskBytes : 0;
    LogonCostText(&cost, logon->utcOffset, item->costText, sizeof item->costText);
}

// "08:12" today, "8 Dec 08:12" another day; empty when it is no time.
static void SinceText(uint64_t startTime, char *text, size_t size)
{
    static const char *const months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    PlatTime start, now;
    text[0] = '\0';
    if (!startTime || !PlatFileTimeToLocal(startTime, &start) || start.month < 1
        || start.month > 12)
        return;
    PlatLocalTime(&now);
    if (start.year == now.year && start.month == now.month && start.day == now.day)
        TextFormat(text, size, ", since %02d:%02d", start.hour, start.minute);
    else
        TextFormat(text, size, ", since %d %s %02d:%02d", start.day, months[start.month - 1],
                   start.hour, start.minute);
}

// One path to the file system: compared by character without regard to
// case; two plain ASCII paths of unequal length never are.
static int SamePath(const char *a, const char *b)
{
    size_t i = 0;
    int wide = 0;
    for (; a[i] && b[i]; ++i)
        wide |= ((unsigned char)a[i] | (unsigned char)b[i]) >= 0x80;
    if (!wide && (a[i] || b[i]))
        return 0;
    return PlatNamesEqual(a, b);
}

static void FillRunning(const ScanLogon *logon, AutostartItem *item)
{
    char ids[RUNNING_IDS_MOST * 12 + 32] = "", since[48] = "";
    uint32_t found = 0;
    uint64_t earliest = 0;
    if (item->kind == Service) {
        // The SCM's answer, as its notes give it: a shared process is one
        // svchost among many, never told by its path.
        if (!item->serviceRunning) {
            TextCopy(item->runningText, sizeof item->runningText, RUNNING_NOT);
            return;
        }
        for (uint32_t i = 0; i < logon->processCount && item->serviceProcess; ++i)
            if (logon->processes[i].id == item->serviceProcess)
                earliest = logon->processes[i].startTime;
        SinceText(earliest, since, sizeof since);
        if (item->serviceProcess)
            TextFormat(item->runningText, sizeof item->runningText, "Running now: process %u%s",
                       (unsigned)item->serviceProcess, since);
        else
            TextCopy(item->runningText, sizeof item->runningText, "Running now");
        return;
    }
    if (RunsWhatItIsGiven(item->target)) {
        TextCopy(item->runningText, sizeof item->runningText, RUNNING_HOST);
        return;
    }
    if (logon->processesFailed != PLAT_OK) {
        char cause[TEXT_FIELD_SIZE];
        PlatErrorText(logon->processesFailed, cause, sizeof cause);
        TextFormat(item->runningText, sizeof item->runningText, RUNNING_UNKNOWN, cause);
        return;
    }
    for (uint32_t i = 0; PathIsFull(item->target) && i < logon->processCount; ++i) {
        const PlatProcess *p = &logon->processes[i];
        if (!SamePath(p->image, item->target))
            continue;
        if (found < RUNNING_IDS_MOST) {
            char id[16];
            TextFormat(id, sizeof id, "%s%u", found ? ", " : "", (unsigned)p->id);
            TextAppend(ids, sizeof ids, id);
        }
        if (p->startTime && (!earliest || p->startTime < earliest))
            earliest = p->startTime;
        ++found;
    }
    if (!found) {
        TextCopy(item->runningText, sizeof item->runningText, RUNNING_NOT);
        return;
    }
    char more[32] = "";
    if (found > RUNNING_IDS_MOST)
        TextFormat(more, sizeof more, " and %u more", (unsigned)(found - RUNNING_IDS_MOST));
    SinceText(earliest, since, sizeof since);
    TextFormat(item->runningText, sizeof item->runningText, "Running now: process%s %s%s%s",
               found > 1 ? "es" : "", ids, more, since);
}

void ReadCostAndRunning(CatalogueData *data)
{
    ScanLogon logon;
    memset(&logon, 0, sizeof logon);
    PlatTime now;
    if (!PlatLocalTimeOffset(&now, &logon.utcOffset))
        logon.utcOffset = 0;
    ReadRecord(&logon);
    logon.processesFailed = PlatProcessList(&logon.processes, &logon.processCount);
    for (int32_t i = 0; i < data->count; ++i) {
        FillCost(&logon, data, i);
        FillRunning(&logon, &data->items[i]);
    }
    PlatFree(logon.processes);
    PlatFree(logon.record);
}

void CostShortText(const AutostartItem *item, char *text, size_t size)
{
    if (item->costState != LOGON_COST_MEASURED) {
        TextCopy(text, size, "");
        return;
    }
    LogonFiguresText(item->costCpu, item->costDisk, text, size);
}

int CompareCost(const AutostartItem *a, const AutostartItem *b)
{
    int measuredA = a->costState == LOGON_COST_MEASURED, measuredB = b->costState == LOGON_COST_MEASURED;
    if (measuredA != measuredB)
        return measuredA ? -1 : 1;
    if (a->costCpu != b->costCpu)
        return a->costCpu > b->costCpu ? -1 : 1;
    if (a->costDisk != b->costDisk)
        return a->costDisk > b->costDisk ? -1 : 1;
    return 0;
}
