// tasks.cpp - the scheduled tasks that start at logon or boot, as rows.
//
// Many programs start through the Task Scheduler rather than a Run value,
// and Task Manager's startup page does not show them. Each task is read
// from its registration XML: from the scheduler where it lists its tasks,
// otherwise from the task files under %windir%\System32\Tasks (Wine's
// scheduler cannot list, and asking it for a broken task file there never
// returns, so such rows are never handed back to it: read-only).
#include "catalogue.h"
#include "task_xml.h"

#include <string.h>

// Far more than any system registers; the scan stays bounded.
#define TASK_MOST 4096
#define TASK_FOLDER_DEPTH 8
#define WINDOWS_TASKS "\\Microsoft\\Windows\\"

struct TaskCollector {
    AutostartItem *items;
    int32_t count;
    int32_t room;
};

static AutostartItem *NewRow(TaskCollector *c)
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

static void AddNote(char *notes, const char *note)
{
    if (notes[0])
        TextAppend(notes, TEXT_FIELD_SIZE, "; ");
    TextAppend(notes, TEXT_FIELD_SIZE, note);
}

// What the details say of a task beyond its command.
static void DescribeTask(const TaskDefinition *task, char *notes)
{
    char note[TEXT_FIELD_SIZE + 32];
    AddNote(notes, task->triggers);
    if (task->author[0]) {
        TextFormat(note, sizeof note, "author %s", task->author);
        AddNote(notes, note);
    }
    if (task->highest)
        AddNote(notes, "runs with highest rights");
    if (task->hidden)
        AddNote(notes, "hidden task");
    // The first action is the row's command (or its COM handler).
    int actions = task->execActions + task->comHandlers;
    int further = actions > 1 ? actions - 1 : 0;
    if (further) {
        TextFormat(note, sizeof note, "%d further %s", further, further == 1 ? "action" : "actions");
        AddNote(notes, note);
    }
    if (task->comHandlers) {
        TextFormat(note, sizeof note, "COM handler %s", task->classId);
        AddNote(notes, note);
    }
}

// One task's row from its XML; zero when it does not start at logon or
// boot (a definition that cannot be read is listed, since it may).
static int FillRow(AutostartItem *item, const char *path, const void *xml, size_t size)
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
    if (!whole) {
        AddNote(item->taskNotes, NOTE_TASK_UNREADABLE);
        return 1;
    }
    DescribeTask(&task, item->taskNotes);
    item->moreActions = task.execActions + task.comHandlers > 1;
    if (task.execActions) {
        // As the scheduler stores it, then read like a Run value's command.
        const char *quote = task.program[0] != '"' && strchr(task.program, ' ') ? "\"" : "";
        item->commandCut = !TextFormat(item->command, COMMAND_FIELD_SIZE, "%s%s%s%s%s", quote,
                                       task.program, quote, task.arguments[0] ? " " : "",
                                       task.arguments);
        ParseCommand(item);
        ReadTargetDetails(item);
    } else {
        TextCopy(item->description, TEXT_FIELD_SIZE, "n/a");
        TextCopy(item->company, TEXT_FIELD_SIZE, "n/a");
    }
    return 1;
}

static int ReadFromScheduler(TaskCollector *c)
{
    char *paths = NULL;
    uint32_t count = 0;
    if (PlatTaskList(&paths, &count) != PLAT_OK || !paths)
        return 0;
    const char *path = paths;
    for (uint32_t i = 0; i < count; ++i, path += strlen(path) + 1) {
        AutostartItem *item = NewRow(c);
        if (!item)
            break;
        char *xml = NULL;
        uint32_t size = 0;
        int32_t enabled = 0;
        if (PlatTaskRead(path, &xml, &size, &enabled) != PLAT_OK) {
            // Gone since the listing, or not ours to read: said, not hidden.
            FillRow(item, path, NULL, 0);
            item->enabled = 0;
            ++c->count;
            continue;
        }
        if (FillRow(item, path, xml, size)) {
            item->enabled = enabled ? 1 : 0;
            ++c->count;
        }
        PlatFree(xml);
    }
    PlatFree(paths);
    return 1;
}

static void ReadTaskFile(TaskCollector *c, const char *file, const char *path)
{
    AutostartItem *item = NewRow(c);
    if (!item)
        return;
    uint32_t size = 0;
    void *xml = PlatFileLoad(file, &size);
    if (FillRow(item, path, xml, size)) {
        item->readOnly = 1;
        AddNote(item->taskNotes, NOTE_TASK_FILES);
        ++c->count;
    }
    PlatFree(xml);
}

// The task files of one folder, then its subfolders, as the scheduler
// lists a folder's tasks before its subfolders'. path: the scheduler's
// name of the folder ("" for the root).
static void ReadTaskFolder(TaskCollector *c, const char *folder, const char *path, int depth)
{
    char pattern[TEXT_FIELD_SIZE];
    char name[TEXT_FIELD_SIZE];
    if (depth > TASK_FOLDER_DEPTH || !TextFormat(pattern, sizeof pattern, "%s\\*", folder))
        return;
    for (int folders = 0; folders < 2; ++folders) {
        PlatFind find = PlatFindFirst(pattern, name);
        if (!find)
            return;
        do {
            int isFolder = (PlatFindAttributes(find) & PLAT_FILE_FOLDER) != 0;
            if (isFolder != folders || strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
                continue;
            char file[TEXT_FIELD_SIZE];
            char task[TEXT_FIELD_SIZE];
            if (!TextFormat(file, sizeof file, "%s\\%s", folder, name)
                || !TextFormat(task, sizeof task, "%s\\%s", path, name))
                continue;
            if (folders)
                ReadTaskFolder(c, file, task, depth + 1);
            else
                ReadTaskFile(c, file, task);
        } while (PlatFindNext(find, name));
        PlatFindClose(find);
    }
}

void ReadTaskRows(TaskRows *rows)
{
    TaskCollector c = {NULL, 0, 0};
    if (!ReadFromScheduler(&c)) {
        char expanded[TEXT_FIELD_SIZE];
        char folder[TEXT_FIELD_SIZE];
        ExpandAsLogon("%windir%\\System32\\Tasks", expanded);
        NativeFilePath(expanded, folder);
        if (expanded[0] != '%')
            ReadTaskFolder(&c, folder, "", 0);
    }
    rows->items = c.items;
    rows->count = c.count;
}

static int IsWindowsTask(const AutostartItem *item)
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
}
