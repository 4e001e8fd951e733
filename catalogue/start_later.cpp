// start_later.cpp - an entry that starts some time after the logon.
//
// Windows starts Run values and the Startup folders' files all at once as
// the desktop comes up; only the Task Scheduler can start a program a
// given time after the logon (a LogonTrigger's Delay). So an entry asked
// to start later is disabled here as ever and a logon task of ours, in its
// own folder, starts its program instead. The task's XML is written here,
// whole; its description names the entry's id, so that the scan folds the
// task back into the entry's row instead of listing both.
#include "catalogue.h"
#include "task_rows.h"
#include "task_xml.h"

#include <string.h>

struct LaterDelay {
    int32_t seconds;
    const char *duration; // the trigger's Delay, as the scheduler writes it
    const char *words;
};

static const LaterDelay Delays[] = {
    {30, "PT30S", "30 s"}, {60, "PT1M", "1 min"}, {120, "PT2M", "2 min"},
    {300, "PT5M", "5 min"}, {600, "PT10M", "10 min"}};

static const LaterDelay *DelayOf(int32_t seconds)
{
    for (const LaterDelay &delay : Delays)
        if (delay.seconds == seconds)
            return &delay;
    return NULL;
}

int StartLaterDelayValid(int32_t seconds)
{
    return DelayOf(seconds) != NULL;
}

void StartLaterWords(int32_t seconds, char *text, size_t size)
{
    const LaterDelay *delay = DelayOf(seconds);
    if (delay)
        TextFormat(text, size, "starts %s after logon", delay->words);
    else
        TextCopy(text, size, "starts at logon");
}

int StartLaterFits(const AutostartItem *item)
{
    if (item->logonPlace || item->kind == Service)
        return 0;
    // A shortcut only: any other file of a Startup folder is its own
    // program, which the disable moves away from under its task.
    if (item->kind == Shortcut) {
        size_t length = strlen(item->name);
        return length > 4 && TextCompareNoCase(item->name + length - 4, ".lnk") == 0;
    }
    if (item->kind != RegistryValue)
        return 0;
    // Run or Run- only: RunOnce and RunOnceEx start once, a task every logon.
    const char *last = strrchr(item->location, '\\');
    last = last ? last + 1 : item->location;
    return TextCompareNoCase(last, "Run") == 0 || TextCompareNoCase(last, "Run-") == 0;
}

// Each %NAME% expanded as the logon expands it (ExpandAsLogon, one
// reference at a time, for the text may be longer than its field); an
// unknown name stays as written and its closing % may open the next.
static int ExpandLong(const char *source, char *dest, size_t size)
{
    dest[0] = '\0';
    int whole = 1;
    for (const char *p = source; *p;) {
        const char *close = *p == '%' ? strchr(p + 1, '%') : NULL;
        char token[TEXT_FIELD_SIZE], value[TEXT_FIELD_SIZE];
        if (close && close > p + 1 && (size_t)(close - p) + 1 < sizeof token) {
            TextFormat(token, sizeof token, "%.*s", (int)(close - p + 1), p);
            ExpandAsLogon(token, value);
            if (strcmp(value, token) != 0) {
                // A value that filled its field may have lost its end.
                whole &= strlen(value) < sizeof value - 1 && TextAppend(dest, size, value) != 0;
                p = close + 1;
            } else {
                TextFormat(token, sizeof token, "%.*s", (int)(close - p), p);
                whole &= TextAppend(dest, size, token) != 0;
                p = close;
            }
            continue;
        }
        char one[2] = {*p++, '\0'};
        whole &= TextAppend(dest, size, one) != 0;
    }
    return whole;
}

int StartLaterAction(const AutostartItem *item, char *program, char *arguments)
{
    // Split again from the stored command, as the scan split it.
    AutostartItem *split = (AutostartItem *)PlatAllocZero(sizeof *split);
    if (!split)
        return 0;
    TextCopy(split->command, sizeof split->command, item->command);
    int whole = !item->commandCut;
    if (item->kind == Shortcut) {
        TextCopy(split->target, sizeof split->target, item->target);
        TextCopy(split->parameters, sizeof split->parameters, item->parameters);
    } else {
        ParseCommand(split);
    }
    // A program that filled its field may have lost its end.
    whole &= split->target[0] != '\0' && strlen(split->target) < TEXT_FIELD_SIZE - 1;
    whole &= TextCopy(program, COMMAND_FIELD_SIZE, split->target) != 0;
    whole &= ExpandLong(split->parameters, arguments, COMMAND_FIELD_SIZE);
    PlatFree(split);
    return whole;
}

int StartLaterTaskPath(const AutostartItem *item, int n, char *path)
{
    char name[TEXT_FIELD_SIZE];
    TaskFieldCopy(name, 120, item->name);
    size_t length = strlen(name);
    if (item->kind == Shortcut && length > 4 && TextCompareNoCase(name + length - 4, ".lnk") == 0)
        name[length -= 4] = '\0';
    for (char *c = name; *c; ++c)
        if ((unsigned char)*c < 0x20 || *c == 0x7F || strchr("\\/:*?\"<>|", *c))
            *c = '_';
    // The scheduler refuses a name that ends in a dot or a blank.
    while (length && (name[length - 1] == '.' || name[length - 1] == ' '))
        name[--length] = '\0';
    const char *shown = length ? name : "Entry";
    if (n > 1)
        return TextFormat(path, TEXT_FIELD_SIZE, "%s%s (%d)", START_LATER_FOLDER, shown, n);
    return TextFormat(path, TEXT_FIELD_SIZE, "%s%s", START_LATER_FOLDER, shown);
}

// text escaped for XML into out; zero when a character cannot be carried
// (controls other than the tab) or the room is short.
static int Escape(const char *text, char *out, size_t size)
{
    out[0] = '\0';
    for (const char *c = text; *c; ++c) {
        unsigned char u = (unsigned char)*c;
        if ((u < 0x20 && u != '\t') || u == 0x7F)
            return 0;
        const char *entity = u == '&'   ? "&amp;"
                             : u == '<' ? "&lt;"
                             : u == '>' ? "&gt;"
                             : u == '"' ? "&quot;"
                             : u == '\'' ? "&apos;"
                                         : NULL;
        char one[2] = {*c, '\0'};
        if (!TextAppend(out, size, entity ? entity : one))
            return 0;
    }
    return 1;
}

int StartLaterXml(const char *id, int32_t seconds, const char *program, const char *arguments,
                  const char *user, char *xml, size_t size)
{
    const LaterDelay *delay = DelayOf(seconds);
    char description[4 * TEXT_FIELD_SIZE], whose[TEXT_FIELD_SIZE + 64];
    char command[2 * COMMAND_FIELD_SIZE], rest[2 * COMMAND_FIELD_SIZE];
    char said[2 * ITEM_ID_SIZE];
    if (!delay || !TextFormat(said, sizeof said, "%s%s", START_LATER_DESCRIPTION, id)
        || !Escape(said, description, sizeof description) || !Escape(program, command, sizeof command)
        || !Escape(arguments, rest, sizeof rest) || (user && !Escape(user, whose, sizeof whose)))
        return 0;
    char trigger[TEXT_FIELD_SIZE + 96] = "", principal[TEXT_FIELD_SIZE + 160];
    char args[2 * COMMAND_FIELD_SIZE + 64] = "";
    // A user's entry starts at that user's logon, as that user; one of all
    // users at anyone's, as whoever logs on (the Users group: a group's
    // task runs with the token of the member who logs on, so it names no
    // logon type).
    if (user) {
        TextFormat(trigger, sizeof trigger, "      <UserId>%s</UserId>\r\n", whose);
        TextFormat(principal, sizeof principal,
                   "      <UserId>%s</UserId>\r\n"
                   "      <LogonType>InteractiveToken</LogonType>\r\n", whose);
    } else {
        TextCopy(principal, sizeof principal, "      <GroupId>S-1-5-32-545</GroupId>\r\n");
    }
    if (arguments[0])
        TextFormat(args, sizeof args, "      <Arguments>%s</Arguments>\r\n", rest);
    // Settings: only those whose default would start the program otherwise
    // than the logon does: not on battery (it would never start on a laptop
    // unplugged), killed after 72 hours, at below-normal priority (7; 4
    // is the normal priority the logon starts programs at).
    return TextFormat(
        xml, size,
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
        "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
        "  <RegistrationInfo>\r\n"
        "    <Author>" START_LATER_AUTHOR "</Author>\r\n"
        "    <Description>%s</Description>\r\n"
        "  </RegistrationInfo>\r\n"
        "  <Triggers>\r\n"
        "    <LogonTrigger>\r\n"
        "      <Delay>%s</Delay>\r\n"
        "%s"
        "    </LogonTrigger>\r\n"
        "  </Triggers>\r\n"
        "  <Principals>\r\n"
        "    <Principal id=\"Author\">\r\n"
        "%s"
        "      <RunLevel>LeastPrivilege</RunLevel>\r\n"
        "    </Principal>\r\n"
        "  </Principals>\r\n"
        "  <Settings>\r\n"
        "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
        "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
        "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\r\n"
        "    <Priority>4</Priority>\r\n"
        "  </Settings>\r\n"
        "  <Actions Context=\"Author\">\r\n"
        "    <Exec>\r\n"
        "      <Command>%s</Command>\r\n"
        "%s"
        "    </Exec>\r\n"
        "  </Actions>\r\n"
        "</Task>\r\n",
        description, delay->duration, trigger, principal, command, args);
}

// The description's id, or null when the task is not one of ours.
const char *StartLaterEntryId(const TaskDefinition *task)
{
    size_t prefix = strlen(START_LATER_DESCRIPTION);
    if (strcmp(task->author, START_LATER_AUTHOR) != 0
        || strncmp(task->description, START_LATER_DESCRIPTION, prefix) != 0)
        return NULL;
    return task->description + prefix;
}

static int32_t DelaySeconds(const char *duration)
{
    for (const LaterDelay &delay : Delays)
        if (strcmp(delay.duration, duration) == 0)
            return delay.seconds;
    return 0;
}

int StartLaterTaskMatches(const char *xml, size_t size, const char *id, const char *program,
                          const char *arguments, int32_t *seconds)
{
    TaskDefinition *task = (TaskDefinition *)PlatAllocZero(sizeof *task);
    if (!task)
        return 0;
    int whole = ParseTaskXml(xml, size, task);
    const char *own = StartLaterEntryId(task);
    *seconds = DelaySeconds(task->logonDelay);
    int same = whole && own && TextCompareNoCase(own, id) == 0 && *seconds
               && task->logonTriggers == 1 && task->bootTriggers == 0 && task->execActions == 1
               && task->comHandlers == 0 && !task->commandCut && !task->otherTriggers
               && !task->triggersOff && !task->workingDirectory[0] && !task->loggedOff
               && strcmp(task->program, program) == 0 && strcmp(task->arguments, arguments) == 0;
    PlatFree(task);
    return same;
}

// The row of the entry of id, disabled and not yet folded; -1 when none.
static int32_t EntryOf(const AutostartItem *records, int32_t count, const char *id)
{
    char entryId[ITEM_ID_SIZE];
    for (int32_t i = 0; i < count; ++i) {
        const AutostartItem *r = &records[i];
        if (!StartLaterFits(r) || r->enabled || r->startLater || r->cameBack
            || !ItemId(r, NULL, entryId, sizeof entryId))
            continue;
        if (TextCompareNoCase(entryId, id) == 0)
            return i;
    }
    return -1;
}

// The task's XML and state as the scheduler gives them back; for a row read
// from the task files (a scheduler that cannot list: Wine's, whose own copy
// keeps no triggers) the file's, once the scheduler has shown it knows the
// task by its path, so that it can take it away with the entry.
static long LaterTaskXml(const AutostartItem *row, char **xml, uint32_t *size, int32_t *enabled)
{
    long read = PlatTaskRead(row->location, xml, size, enabled);
    if (read != PLAT_OK || !row->readOnly)
        return read;
    PlatFree(*xml);
    *xml = NULL;
    *size = 0;
    *enabled = row->enabled;
    char folder[TEXT_FIELD_SIZE], file[TEXT_FIELD_SIZE];
    if (!TaskFilesFolder(folder) || !TextFormat(file, sizeof file, "%s%s", folder, row->location))
        return PLAT_ERROR_FILE_NOT_FOUND;
    *xml = (char *)PlatFileLoad(file, size);
    return *xml ? PLAT_OK : PLAT_ERROR_FILE_NOT_FOUND;
}

// Nonzero when the task runs for whom the entry starts: this user (by name,
// DOMAIN\name or SID, as a scheduler may give it back) for a user's entry,
// the Users group for an entry of all users. Elevated, the scheduler shows
// every user's tasks: another user's is never this user's entry's.
static int TaskRunsFor(const TaskDefinition *task, const AutostartItem *entry)
{
    if (!ScopeIsUser(entry->scope))
        return !task->runAs[0] && TextCompareNoCase(task->runAsGroup, "S-1-5-32-545") == 0;
    char user[TEXT_FIELD_SIZE], sid[TEXT_FIELD_SIZE];
    const char *slash = strrchr(task->runAs, '\\');
    const char *name = slash ? slash + 1 : task->runAs;
    return (PlatUserName(user, sizeof user) && TextCompareNoCase(name, user) == 0)
           || (PlatUserSid(sid, sizeof sid) && TextCompareNoCase(task->runAs, sid) == 0);
}

int32_t FoldStartLater(AutostartItem *records, int32_t count)
{
    size_t folder = strlen(START_LATER_FOLDER);
    TaskDefinition *task = (TaskDefinition *)PlatAllocZero(sizeof *task);
    char *program = (char *)PlatAllocZero(2 * COMMAND_FIELD_SIZE);
    if (!task || !program) {
        PlatFree(task);
        PlatFree(program);
        return count;
    }
    for (int32_t i = 0; i < count;) {
        AutostartItem *row = &records[i];
        char *xml = NULL;
        uint32_t size = 0;
        int32_t enabled = 0;
        int32_t entry = -1;
        // Only a task the scheduler knows (one it hides, or one read from
        // a file it does not know, could not be changed with its entry).
        char prefix[TEXT_FIELD_SIZE];
        TextFormat(prefix, sizeof prefix, "%.*s", (int)folder, row->location);
        if (row->kind == ScheduledTask && !row->schedulerHidden && !row->cut && !row->inexact
            && strlen(row->location) > folder && TextCompareNoCase(prefix, START_LATER_FOLDER) == 0
            && LaterTaskXml(row, &xml, &size, &enabled) == PLAT_OK) {
            const char *own = ParseTaskXml(xml, size, task) ? StartLaterEntryId(task) : NULL;
            int32_t seconds = own ? DelaySeconds(task->logonDelay) : 0;
            entry = seconds && task->logonTriggers == 1 && !task->highest
                        ? EntryOf(records, count, own)
                        : -1;
            // Only a task that starts what its entry holds, as written here,
            // is the entry's: any program can claim an id in a description.
            if (entry >= 0
                && (!TaskRunsFor(task, &records[entry])
                    || !StartLaterAction(&records[entry], program, program + COMMAND_FIELD_SIZE)
                    || !StartLaterTaskMatches(xml, size, own, program,
                                              program + COMMAND_FIELD_SIZE, &seconds)))
                entry = -1;
            if (entry >= 0) {
                AutostartItem *e = &records[entry];
                e->startLater = seconds;
                TextCopy(e->laterTask, sizeof e->laterTask, row->location);
                // The entry starts only through its task now: on while it is.
                // Windows' switch was set off with the disable, as ever; it
                // says nothing of the row.
                e->enabled = enabled ? 1 : 0;
                e->approvalDisabled = 0;
            }
        }
        PlatFree(xml);
        if (entry < 0) {
            ++i;
            continue;
        }
        memmove(row, row + 1, (size_t)(count - i - 1) * sizeof *row);
        memset(&records[--count], 0, sizeof *row);
    }
    PlatFree(task);
    PlatFree(program);
    return count;
}
