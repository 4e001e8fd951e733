// tasks.cpp - the scheduled tasks that start at logon or boot, as rows.
//
// Many programs start through the Task Scheduler rather than a Run value,
// and Task Manager's startup page does not show them. Each task is read
// from its registration XML: from the scheduler where it lists its tasks,
// otherwise from the task files under %windir%\System32\Tasks (Wine's
// scheduler cannot list, and asking it for a broken task file there never
// returns, so such rows are never handed back to it: read-only). A listing
// that fails is no listing of nothing: it is said, every scan, as is a task
// folder that cannot be read and every task past the most a list holds.
#include "task_rows.h"
#include "task_xml.h"

#include <string.h>

#define TASK_FOLDER_DEPTH 8
#define WINDOWS_TASKS "\\Microsoft\\Windows\\"

AutostartItem *NewTaskRow(TaskCollector *c)
{
    if (c->count >= TASK_MOST)
        return NULL;
    if (c->count == c->room) {
        int32_t room = c->room ? c->room * 2 : 16;
        AutostartItem *grown = (AutostartItem *)PlatAllocZero((size_t)room * sizeof(AutostartItem));
        if (!grown)
            return NULL;
        if (c->items)
            memcpy(grown, c->items, (size_t)c->count * sizeof(AutostartItem));
        PlatFree(c->items);
        c->items = grown;
        c->room = room;
    }
    AutostartItem *item = &c->items[c->count];
    memset(item, 0, sizeof *item);
    return item;
}

static void AddNote(char *notes, size_t size, const char *note)
{
    if (notes[0])
        TextAppend(notes, size, "; ");
    TextAppend(notes, size, note);
}

static const char *const kServiceAccounts[][2] = {
    {"S-1-5-18", "SYSTEM"},        {"SYSTEM", "SYSTEM"},
    {"NT AUTHORITY\\SYSTEM", "SYSTEM"}, {"S-1-5-19", "LOCAL SERVICE"},
    {"S-1-5-20", "NETWORK SERVICE"}};

// Only an administrator registers a task that runs as a service account or
// for a group of users; any user may register one that runs as themselves,
// even in Windows' own task folder where a folder's rights allow it.
static int RunsAsWindows(const TaskDefinition *task)
{
    if (!task->runAs[0])
        return task->runAsGroup[0] != '\0';
    for (const auto &known : kServiceAccounts)
        if (TextCompareNoCase(task->runAs, known[0]) == 0)
            return 1;
    return 0;
}

// "runs as SYSTEM", "runs as CONTOSO\svc", "runs as the user who logs on"
// (a group of every user); zero when the definition names no one (the
// scheduler then runs it as whoever registered it).
static int TaskRunsAs(const TaskDefinition *task, char *text, size_t size)
{
    static const char *const kEveryUser[] = {"S-1-5-32-545", "S-1-5-4", "S-1-5-11", "Users",
                                             "BUILTIN\\Users"};
    const char *account = task->runAs;
    for (const auto &known : kServiceAccounts)
        if (TextCompareNoCase(account, known[0]) == 0)
            account = known[1];
    if (account[0])
        return TextFormat(text, size, "runs as %s", account), 1;
    if (!task->runAsGroup[0])
        return 0;
    for (const char *group : kEveryUser)
        if (TextCompareNoCase(task->runAsGroup, group) == 0)
            return TextCopy(text, size, "runs as the user who logs on"), 1;
    return TextFormat(text, size, "runs as a member of %s", task->runAsGroup), 1;
}

// What the details say of a task beyond its command: what it may do first,
// where it was read (source, or null), the author (any text the task's
// maker chose) last, so a long author never pushes out the rights; a cut
// shows "...".
static void DescribeTask(const TaskDefinition *task, int whole, const char *source, char *notes)
{
    char all[3 * TEXT_FIELD_SIZE] = "";
    char note[TEXT_FIELD_SIZE + 32];
    if (!whole) {
        AddNote(all, sizeof all, NOTE_TASK_UNREADABLE);
        if (source)
            AddNote(all, sizeof all, source);
        TextCopyShown(notes, TEXT_FIELD_SIZE, all, 0);
        return;
    }
    AddNote(all, sizeof all, task->triggers);
    // Whose rights it runs with, before anything the task's maker wrote.
    char runsAs[TEXT_FIELD_SIZE + 16];
    if (TaskRunsAs(task, runsAs, sizeof runsAs))
        AddNote(all, sizeof all, runsAs);
    if (task->highest)
        AddNote(all, sizeof all, "runs with highest rights");
    // The first action is the row's command (or its COM handler).
    int actions = task->execActions + task->comHandlers;
    int further = actions > 1 ? actions - 1 : 0;
    if (further) {
        // Each further program is named: it runs as surely as the first.
        TextFormat(note, sizeof note, "%d further %s%s%s", further,
                   further == 1 ? "action" : "actions", task->furtherPrograms[0] ? ": " : "",
                   task->furtherPrograms);
        AddNote(all, sizeof all, note);
    }
    if (task->comHandlers) {
        TextFormat(note, sizeof note, "COM handler %s", task->classId);
        AddNote(all, sizeof all, note);
    }
    if (task->hidden)
        AddNote(all, sizeof all, "hidden task");
    if (task->workingDirectory[0]) {
        TextFormat(note, sizeof note, "working folder %s", task->workingDirectory);
        AddNote(all, sizeof all, note);
    }
    if (source)
        AddNote(all, sizeof all, source);
    if (task->author[0]) {
        TextFormat(note, sizeof note, "author %s", task->author);
        AddNote(all, sizeof all, note);
    }
    TextCopyShown(notes, TEXT_FIELD_SIZE, all, 0);
}

int FillTaskRow(AutostartItem *item, const char *path, const void *xml, size_t size,
                const char *source)
{
    TaskDefinition task;
    int whole = ParseTaskXml(xml, size, &task);
    if (whole && !TaskStartsAtLogon(&task))
        return 0;
    item->kind = ScheduledTask;
    item->cut = !TextCopy(item->location, TEXT_FIELD_SIZE, path);
    const char *name = strrchr(path, '\\');
    TextCopy(item->name, TEXT_FIELD_SIZE, name ? name + 1 : path);
    TextCopy(item->scope, SCOPE_SIZE, SCOPE_ALL);
    item->enabled = task.enabled;
    DescribeTask(&task, whole, source, item->taskNotes);
    if (!whole)
        return 1;
    item->moreActions = task.execActions + task.comHandlers > 1;
    item->runsAsWindows = RunsAsWindows(&task);
    if (task.execActions) {
        // As the scheduler stores it, then read like a Run value's command.
        const char *quote = task.program[0] != '"' && strchr(task.program, ' ') ? "\"" : "";
        char whole[2 * COMMAND_FIELD_SIZE + 4];
        TextFormat(whole, sizeof whole, "%s%s%s%s%s", quote, task.program, quote,
                   task.arguments[0] ? " " : "", task.arguments);
        item->commandCut = !TaskFieldCopy(item->command, COMMAND_FIELD_SIZE, whole)
                           || task.commandCut;
        ParseCommand(item);
        ReadTargetDetails(item);
    } else {
        TextCopy(item->description, TEXT_FIELD_SIZE, "n/a");
        TextCopy(item->company, TEXT_FIELD_SIZE, "n/a");
    }
    return 1;
}

void SayTasksUnread(TaskCollector *c, const char *subject, const char *text)
{
    if (CatalogueErrors)
        CatalogueErrors(CatalogueErrorContext, subject, text);
    char line[TASKS_UNREAD_SIZE];
    if (subject[0])
        TextFormat(line, sizeof line, "\"%s\": %s", subject, text);
    else
        TextCopy(line, sizeof line, text);
    if (c->unread[0])
        TextAppend(c->unread, sizeof c->unread, "; ");
    TextAppend(c->unread, sizeof c->unread, line);
}

// The listing's result: PLAT_OK with the rows read, or why there is none.
static long ReadFromScheduler(TaskCollector *c, const char *under)
{
    size_t prefix = under ? strlen(under) : 0;
    char *paths = NULL;
    const uint8_t *exact = NULL;
    uint32_t count = 0;
    long listed = PlatTaskList(&paths, &count, &exact);
    if (listed != PLAT_OK || !paths) {
        PlatFree(paths);
        return listed != PLAT_OK ? listed : (long)PLAT_ERROR_OUTOFMEMORY;
    }
    const char *path = paths;
    for (uint32_t i = 0; i < count; ++i, path += strlen(path) + 1) {
        char start[TEXT_FIELD_SIZE];
        if (prefix && (!TextFormat(start, sizeof start, "%.*s", (int)prefix, path)
                       || TextCompareNoCase(start, under) != 0))
            continue;
        AutostartItem *item = NewTaskRow(c);
        if (!item) {
            c->leftOut += (long)(count - i);
            break;
        }
        char *xml = NULL;
        uint32_t size = 0;
        int32_t enabled = 0;
        int read = PlatTaskRead(path, &xml, &size, &enabled) == PLAT_OK;
        // A definition not ours to read is said, not hidden; its state is
        // still the scheduler's (unknown: shown as it may start, and said).
        int unknown = !read && PlatTaskRead(path, NULL, NULL, &enabled) != PLAT_OK;
        if (unknown)
            enabled = 1;
        if (FillTaskRow(item, path, read ? xml : NULL, size,
                        unknown ? NOTE_TASK_STATE_UNKNOWN : NULL)) {
            item->enabled = enabled ? 1 : 0;
            // A name the code page cannot spell reaches no task, or another's.
            item->inexact = !item->cut && !exact[i];
            ++c->count;
        }
        PlatFree(xml);
    }
    AddHiddenTasks(c, paths, count);
    PlatFree(paths);
    return PLAT_OK;
}

// fileSize: as the folder's listing gave it; a file larger than any task
// definition is listed unread, never loaded.
static void ReadTaskFile(TaskCollector *c, const char *file, const char *path, uint64_t fileSize)
{
    AutostartItem *item = NewTaskRow(c);
    if (!item) {
        ++c->leftOut;
        return;
    }
    uint32_t size = 0;
    void *xml = fileSize <= TASK_XML_MOST ? PlatFileLoad(file, &size) : NULL;
    if (FillTaskRow(item, path, xml, size, NOTE_TASK_FILES)) {
        item->readOnly = 1;
        ++c->count;
    }
    PlatFree(xml);
}

static void SayFolderUnread(TaskCollector *c, const char *folder, const char *why)
{
    char text[TEXT_FIELD_SIZE + 64];
    TextFormat(text, sizeof text, TASK_FOLDER_UNREAD, why);
    SayTasksUnread(c, folder, text);
}

// Nothing to read there: no such folder, or nothing in it.
static int NothingThere(long error)
{
    return error == PLAT_ERROR_FILE_NOT_FOUND || error == PLAT_ERROR_PATH_NOT_FOUND
           || error == PLAT_ERROR_NO_MORE_FILES;
}

// The task files of one folder, then its subfolders, as the scheduler
// lists a folder's tasks before its subfolders'. path: the scheduler's
// name of the folder ("" for the root). A folder that cannot be read, is
// too deep or has a path too long is named, never passed over in silence.
static void ReadTaskFolder(TaskCollector *c, const char *folder, const char *path, int depth)
{
    char pattern[TEXT_FIELD_SIZE];
    char name[TEXT_FIELD_SIZE];
    if (depth > TASK_FOLDER_DEPTH) {
        SayFolderUnread(c, folder, TASK_FOLDER_TOO_DEEP);
        return;
    }
    if (!TextFormat(pattern, sizeof pattern, "%s\\*", folder)) {
        SayFolderUnread(c, folder, TASK_FOLDER_TOO_LONG);
        return;
    }
    for (int folders = 0; folders < 2; ++folders) {
        PlatFind find = PlatFindFirst(pattern, name);
        if (!find) {
            long error = PlatLastError();
            if (!folders && !NothingThere(error)) {
                char why[TEXT_FIELD_SIZE];
                PlatErrorText(error, why, sizeof why);
                SayFolderUnread(c, folder, why);
            }
            return;
        }
        do {
            int isFolder = (PlatFindAttributes(find) & PLAT_FILE_FOLDER) != 0;
            if (isFolder != folders || strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
                continue;
            char file[TEXT_FIELD_SIZE];
            char task[TEXT_FIELD_SIZE];
            if (!TextFormat(file, sizeof file, "%s\\%s", folder, name)
                || !TextFormat(task, sizeof task, "%s\\%s", path, name)) {
                // Named as far as it fits: its tasks are not read.
                if (folders)
                    SayFolderUnread(c, file, TASK_FOLDER_TOO_LONG);
                else
                    SayTasksUnread(c, file, TASK_FILE_TOO_LONG);
                continue;
            }
            // A linked folder leads out of the task files, maybe into a loop.
            if (folders && !PlatFolderIsLink(file))
                ReadTaskFolder(c, file, task, depth + 1);
            else if (!folders)
                ReadTaskFile(c, file, task, PlatFindSize(find));
        } while (PlatFindNext(find, name));
        PlatFindClose(find);
    }
}

// The Windows folder from the system, never from %windir%, which the user
// may set to a folder of their own.
int TaskFilesFolder(char *folder)
{
    char windows[PLAT_TEXT_SIZE], tasks[TEXT_FIELD_SIZE];
    if (!PlatShellFolder(PLAT_CSIDL_WINDOWS, windows) || !windows[0]
        || !TextFormat(tasks, sizeof tasks, "%s\\System32\\Tasks", windows))
        return 0;
    NativeFilePath(tasks, folder);
    return 1;
}

void ReadTaskRows(TaskRows *rows, const char *under)
{
    TaskCollector c;
    memset(&c, 0, sizeof c);
    long listed = ReadFromScheduler(&c, under);
    if (listed != PLAT_OK) {
        // A scheduler without a listing (Wine's) has only its task files to
        // go by; any other scheduler's failed listing is said.
        if (listed != PLAT_ERROR_CALL_NOT_IMPLEMENTED) {
            char why[TEXT_FIELD_SIZE], text[TEXT_FIELD_SIZE + 96];
            PlatErrorText(listed, why, sizeof why);
            TextFormat(text, sizeof text, TASKS_NOT_LISTED, why);
            SayTasksUnread(&c, "", text);
        }
        char folder[TEXT_FIELD_SIZE];
        if (TaskFilesFolder(folder))
            ReadTaskFolder(&c, folder, "", 0);
    }
    if (c.leftOut) {
        char text[128];
        if (c.count >= TASK_MOST)
            TextFormat(text, sizeof text, TASKS_PAST_MOST, c.leftOut, TASK_MOST);
        else
            TextFormat(text, sizeof text, TASKS_NO_MEMORY, c.leftOut);
        SayTasksUnread(&c, "", text);
    }
    rows->items = c.items;
    rows->count = c.count;
    TextCopy(rows->unread, sizeof rows->unread, c.unread);
}

int IsWindowsTask(const AutostartItem *item)
{
    char start[sizeof WINDOWS_TASKS];
    TextCopy(start, sizeof start, item->location);
    return PlatNamesEqual(start, WINDOWS_TASKS);
}

void AppendTaskRows(const TaskRows *rows, AutostartItem *records, int32_t *runningCount,
                    int32_t limit)
{
    for (int windows = 0; windows < 2; ++windows)
        for (int32_t i = 0; i < rows->count && *runningCount < limit; ++i)
            if (IsWindowsTask(&rows->items[i]) == windows)
                records[(*runningCount)++] = rows->items[i];
}

void FreeTaskRows(TaskRows *rows)
{
    PlatFree(rows->items);
    rows->items = NULL;
    rows->count = 0;
    rows->unread[0] = '\0';
}
