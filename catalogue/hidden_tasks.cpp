// hidden_tasks.cpp - the scheduled tasks the Task Scheduler leaves out of
// its own listing.
//
// The Task Scheduler keeps each registered task in three places: its XML
// file under the Windows folder's System32\Tasks, and in the registry under
// HKLM\Software\Microsoft\Windows NT\CurrentVersion\Schedule\TaskCache:
// the key Tree\<folders>\<name>, with the values Id (the task's GUID),
// Index and SD (the security descriptor that says who may see the task),
// and the key Tasks\{Id}, with its actions and triggers. A task whose SD
// value is deleted drops out of the scheduler's listing (Task Scheduler,
// schtasks, ITaskFolder::GetTasks) and still runs at its triggers, a known
// way to hide one (Microsoft's report on the Tarrask malware, 2022). Only an
// administrator reads the cache, so only elevated is the listing compared
// with the Tree and the task files: a logon or boot task they hold and the
// listing does not is listed, read-only, read from its file, or unread
// ("may start") where only the cache holds it. Depth and entries visited
// are bounded; a comparison cut short is said.
#include "task_rows.h"
#include "task_xml.h"

#include <stdlib.h>
#include <string.h>

#define TASK_TREE_KEY "Software\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tree"
#define TASK_ID_VALUE "Id"
// As deep as the scheduler's listing goes (platform_win32_tasks.cpp).
#define HIDDEN_DEPTH 16
// Keys and files visited, together; far more than any system holds.
#define HIDDEN_VISITS_MOST (4 * TASK_MOST)

struct HiddenWalk {
    TaskCollector *c;
    const char **listed; // the listing's paths, sorted by TextCompareNoCase
    uint32_t listedCount;
    char files[TEXT_FIELD_SIZE]; // the task files' folder, "" when unknown
    int32_t visits;
    char part[TEXT_FIELD_SIZE]; // why the comparison was cut short, "" when it was not
};

static int ComparePaths(const void *a, const void *b)
{
    return TextCompareNoCase(*(const char *const *)a, *(const char *const *)b);
}

static int Listed(const HiddenWalk *w, const char *path)
{
    return bsearch(&path, w->listed, w->listedCount, sizeof *w->listed, ComparePaths) != NULL;
}

// The first reason only: one is enough to know the comparison is partial.
static void CutShort(HiddenWalk *w, const char *why)
{
    if (!w->part[0])
        TextCopy(w->part, sizeof w->part, why);
}

// Nonzero while another key or file may be visited.
static int Visit(HiddenWalk *w)
{
    if (w->visits >= HIDDEN_VISITS_MOST) {
        char why[64];
        TextFormat(why, sizeof why, "more than %d entries", HIDDEN_VISITS_MOST);
        CutShort(w, why);
        return 0;
    }
    ++w->visits;
    return 1;
}

// Nonzero when the cache's Tree holds a task at path ("\Vendor\Name").
static int TreeHoldsTask(const char *path)
{
    char keyPath[sizeof TASK_TREE_KEY + TEXT_FIELD_SIZE];
    PlatKey key = NULL;
    if (!TextFormat(keyPath, sizeof keyPath, "%s%s", TASK_TREE_KEY, path)
        || PlatRegOpenRead(PLAT_HKLM, keyPath, &key) != PLAT_OK || !key)
        return 0;
    uint32_t size = 0;
    int task = PlatRegQueryValue(key, TASK_ID_VALUE, NULL, NULL, &size) == PLAT_OK;
    PlatRegClose(key);
    return task;
}

// A task the listing leaves out: its row when it starts at logon or boot,
// or may (no file to read it from). inTree: the cache holds it (else only
// its file does, which the scheduler may not run).
static void AddHidden(HiddenWalk *w, const char *path, int inTree)
{
    TaskCollector *c = w->c;
    char file[TEXT_FIELD_SIZE];
    uint64_t size = 0, written = 0;
    int hasFile = w->files[0] && TextFormat(file, sizeof file, "%s%s", w->files, path)
                  && PlatFileStamp(file, &size, &written);
    AutostartItem *item = NewTaskRow(c);
    if (!item) {
        ++c->leftOut;
        return;
    }
    uint32_t bytes = 0;
    void *xml = hasFile && size <= TASK_XML_MOST ? PlatFileLoad(file, &bytes) : NULL;
    const char *source = !inTree  ? NOTE_TASK_HIDDEN "; " NOTE_TASK_FILE_ONLY
                         : hasFile ? NOTE_TASK_HIDDEN
                                   : NOTE_TASK_HIDDEN "; " NOTE_TASK_CACHE_ONLY;
    if (FillTaskRow(item, path, xml, bytes, source)) {
        item->readOnly = 1;
        item->schedulerHidden = 1;
        ++c->count;
    }
    PlatFree(xml);
}

// The Tree's key at path ("" for the root) and the keys below it.
static void WalkTree(HiddenWalk *w, const char *path, int depth)
{
    char keyPath[sizeof TASK_TREE_KEY + TEXT_FIELD_SIZE];
    PlatKey key = NULL;
    if (!TextFormat(keyPath, sizeof keyPath, "%s%s", TASK_TREE_KEY, path)) {
        CutShort(w, "a path too long");
        return;
    }
    long opened = PlatRegOpenRead(PLAT_HKLM, keyPath, &key);
    if (opened != PLAT_OK || !key) {
        // No cache at all is no cache to compare (Wine has none).
        int none = opened == PLAT_ERROR_FILE_NOT_FOUND || opened == PLAT_ERROR_PATH_NOT_FOUND;
        if (path[0] || !none) {
            char why[TEXT_FIELD_SIZE];
            PlatErrorText(opened, why, sizeof why);
            CutShort(w, why);
        }
        return;
    }
    uint32_t size = 0;
    if (path[0] && PlatRegQueryValue(key, TASK_ID_VALUE, NULL, NULL, &size) == PLAT_OK
        && !Listed(w, path))
        AddHidden(w, path, 1);
    char name[PLAT_KEY_NAME_SIZE];
    for (uint32_t index = 0; PlatRegEnumKey(key, index, name, sizeof name) == PLAT_OK; ++index) {
        if (!Visit(w))
            break;
        char below[TEXT_FIELD_SIZE];
        if (depth >= HIDDEN_DEPTH) {
            CutShort(w, "more than 16 folders deep");
            break;
        }
        if (!TextFormat(below, sizeof below, "%s\\%s", path, name)) {
            CutShort(w, "a path too long");
            continue;
        }
        WalkTree(w, below, depth + 1);
    }
    PlatRegClose(key);
}

// The task files of folder (the task path of which is path) and below: a
// file that neither the listing nor the Tree holds is a task hidden too.
static void WalkFiles(HiddenWalk *w, const char *folder, const char *path, int depth)
{
    char pattern[TEXT_FIELD_SIZE];
    char name[TEXT_FIELD_SIZE];
    if (!TextFormat(pattern, sizeof pattern, "%s\\*", folder)) {
        CutShort(w, "a path too long");
        return;
    }
    PlatFind find = PlatFindFirst(pattern, name);
    if (!find) {
        long error = PlatLastError();
        if (error != PLAT_ERROR_FILE_NOT_FOUND && error != PLAT_ERROR_PATH_NOT_FOUND
            && error != PLAT_ERROR_NO_MORE_FILES) {
            char why[TEXT_FIELD_SIZE];
            PlatErrorText(error, why, sizeof why);
            CutShort(w, why);
        }
        return;
    }
    do {
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
            continue;
        if (!Visit(w))
            break;
        char file[TEXT_FIELD_SIZE];
        char task[TEXT_FIELD_SIZE];
        if (!TextFormat(file, sizeof file, "%s\\%s", folder, name)
            || !TextFormat(task, sizeof task, "%s\\%s", path, name)) {
            CutShort(w, "a path too long");
            continue;
        }
        if (PlatFindAttributes(find) & PLAT_FILE_FOLDER) {
            // A linked folder leads out of the task files, maybe into a loop.
            if (depth >= HIDDEN_DEPTH)
                CutShort(w, "more than 16 folders deep");
            else if (!PlatFolderIsLink(file))
                WalkFiles(w, file, task, depth + 1);
        } else if (!Listed(w, task) && !TreeHoldsTask(task)) {
            AddHidden(w, task, 0);
        }
    } while (PlatFindNext(find, name));
    PlatFindClose(find);
}

void AddHiddenTasks(TaskCollector *c, const char *paths, uint32_t count)
{
    if (!PlatIsElevated())
        return;
    HiddenWalk w;
    memset(&w, 0, sizeof w);
    w.c = c;
    w.listed = (const char **)PlatAllocZero(((size_t)count + 1) * sizeof *w.listed);
    if (!w.listed) {
        char text[TEXT_FIELD_SIZE + 160];
        TextFormat(text, sizeof text, TASKS_COMPARED_IN_PART, "not enough memory");
        SayTasksUnread(c, "", text);
        return;
    }
    const char *path = paths;
    for (uint32_t i = 0; i < count; ++i, path += strlen(path) + 1)
        w.listed[i] = path;
    w.listedCount = count;
    qsort(w.listed, count, sizeof *w.listed, ComparePaths);
    if (!TaskFilesFolder(w.files))
        w.files[0] = '\0';
    WalkTree(&w, "", 0);
    if (w.files[0])
        WalkFiles(&w, w.files, "", 0);
    PlatFree(w.listed);
    if (w.part[0]) {
        char text[TEXT_FIELD_SIZE + 160];
        TextFormat(text, sizeof text, TASKS_COMPARED_IN_PART, w.part);
        SayTasksUnread(c, "", text);
    }
}
