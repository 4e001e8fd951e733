// packaged_apps.cpp - packaged (Store and MSIX) apps that start at logon.
//
// Windows 11's Startup apps page and Task Manager list them; nothing in
// the Run keys or the Startup folders does. What this reads is not
// documented as an interface; these are the public facts it relies on:
// - The user's installed packages are the subkeys of HKCU\Software\Classes
//   \Local Settings\Software\Microsoft\Windows\CurrentVersion\AppModel
//   \Repository\Packages, named by the package's
//   full name (Name_Version_Architecture_ResourceId_PublisherId), with the
//   package's folder in PackageRootFolder (else it lies in
//   %ProgramFiles%\WindowsApps\<full name>).
// - Each package's AppxManifest.xml declares its startup tasks
//   (app_manifest.h).
// - Whether one starts is the DWORD State of ...\AppModel\SystemAppData
//   \<family name>\<TaskId> (the family name is Name_PublisherId): 0 and 1
//   off (1: by the user), 2 on, 3 off by policy, 4 on by policy; without
//   it, the manifest's Enabled.
// - The policies EnableFullTrustStartupTasks and EnableUwpStartupTasks of
//   HKLM\Software\Policies\Microsoft\Windows\Appx, when 0, keep every such
//   task of their kind from starting, whatever its State.
#include "app_manifest.h"
#include "task_rows.h"

#include <string.h>

// Far more packages than any user has installed.
#define APP_PACKAGES_MOST 4096

static void AddNote(char *notes, size_t size, const char *note)
{
    if (notes[0])
        TextAppend(notes, size, "; ");
    TextAppend(notes, size, note);
}

// Name_PublisherId of Name_Version_Architecture_ResourceId_PublisherId;
// zero when the full name is not of that form.
static int FamilyName(const char *fullName, char *family, size_t size)
{
    // A package's names hold letters, digits, '.', '-' and '~' between its
    // '_': nothing that could make a path or an indirect string of it.
    for (const char *c = fullName; *c; ++c)
        if (!((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9')
              || *c == '.' || *c == '-' || *c == '~' || *c == '_'))
            return 0;
    const char *first = strchr(fullName, '_');
    const char *last = strrchr(fullName, '_');
    if (!first || first == fullName || !last[1])
        return 0;
    int underscores = 0;
    for (const char *c = fullName; *c; ++c)
        underscores += *c == '_';
    if (underscores != 4)
        return 0;
    return TextFormat(family, size, "%.*s%s", (int)(first - fullName), fullName, last);
}

static int ReadString(PlatHive hive, const char *path, const char *name, char *text, size_t size)
{
    uint32_t type = 0, length = 0;
    void *data = NULL;
    text[0] = '\0';
    if (!ReadWholeValue(hive, path, name, 0, &type, &data, &length))
        return 0;
    int ok = (type == PLAT_REG_SZ || type == PLAT_REG_EXPAND_SZ)
             && TextCopy(text, size, (const char *)data);
    PlatFree(data);
    return ok;
}

// A DWORD value: 1 with *value, 0 when there is none, -1 when it is there
// but cannot be read as one.
static int ReadNumber(PlatHive hive, const char *path, const char *name, uint32_t *value)
{
    uint32_t type = 0, length = 0;
    void *data = NULL;
    if (!ReadWholeValue(hive, path, name, 1, &type, &data, &length))
        return KeyMayHoldValue(hive, path, name) ? -1 : 0;
    int ok = type == PLAT_REG_DWORD && length == 4;
    if (ok)
        memcpy(value, data, 4);
    PlatFree(data);
    return ok ? 1 : -1;
}

// Zero when a policy keeps startup tasks of that kind from starting.
static int PolicyAllows(int fullTrust)
{
    uint32_t value = 1;
    int read = ReadNumber(PLAT_HKLM, APPX_POLICY_KEY,
                          fullTrust ? "EnableFullTrustStartupTasks" : "EnableUwpStartupTasks", &value);
    return read != 1 || value != 0;
}

// The name the Startup apps page shows: an ms-resource: name resolved in
// the package, a plain one as written, else the task's id.
static void DisplayName(const AppManifest *m, const AppStartupTask *task, const char *fullName,
                        char *name, size_t size)
{
    const char *given = task->displayName;
    if (given[0] && strncmp(given, "ms-resource:", 12) != 0) {
        TextCopy(name, size, given);
        return;
    }
    if (given[0]) {
        const char *rest = given + 12;
        char source[3 * TEXT_FIELD_SIZE];
        if (strncmp(rest, "//", 2) == 0)
            TextFormat(source, sizeof source, "@{%s?%s}", fullName, given);
        else
            TextFormat(source, sizeof source, "@{%s?ms-resource://%s%s%s}", fullName, m->name,
                       rest[0] == '/' ? "" : strchr(rest, '/') ? "/" : "/Resources/", rest);
        if (PlatIndirectString(source, name, size) && name[0])
            return;
    }
    TextCopy(name, size, task->taskId);
}

// The state a task's row shows, from its State value (or the manifest).
static void ApplyState(AutostartItem *item, const AppStartupTask *task, const char *statePath)
{
    uint32_t state = 0;
    int read = ReadNumber(PLAT_HKCU, statePath, APP_STATE_VALUE, &state);
    item->appState = read == 1 ? (int32_t)state : read == 0 ? APP_STATE_NONE : APP_STATE_UNREAD;
    if (read == 0)
        item->enabled = task->enabled;
    else
        item->enabled = read == 1 && (state == 2 || state == 4);
    // 3 and 4 are the policy's; anything else is no state Windows writes.
    if (read == 1 && state == 3)
        item->policyOff = 1;
    item->readOnly = read == -1 || state > 2;
    // Switched or not, the policy keeps it off: not the user's to change.
    if (!PolicyAllows(task->fullTrust)) {
        item->policyOff = 1;
        item->readOnly = 1;
        item->enabled = 0;
        AddNote(item->taskNotes, sizeof item->taskNotes, NOTE_APP_POLICY_OFF);
    }
    if (read == 1 && (state == 3 || state == 4))
        AddNote(item->taskNotes, sizeof item->taskNotes, NOTE_APP_STATE_POLICY);
    if (read == 1 && state > 4) {
        char note[96];
        TextFormat(note, sizeof note, NOTE_APP_STATE_UNKNOWN, (unsigned)state);
        AddNote(item->taskNotes, sizeof item->taskNotes, note);
    } else if (read == -1) {
        AddNote(item->taskNotes, sizeof item->taskNotes, NOTE_APP_STATE_UNREAD);
    }
}

// A task id Windows keeps a state for names one key: no path in it. A
// program outside its package's folder is not the package's.
static int UsableTaskId(const char *id)
{
    return id[0] && !strpbrk(id, "\\/:*?\"<>|");
}

static int InsidePackage(const char *executable)
{
    return executable[0] != '\\' && executable[0] != '/' && !strchr(executable, ':')
           && !strstr(executable, "..");
}

static void FillTask(AutostartItem *item, const AppManifest *m, const AppStartupTask *task,
                     const char *fullName, const char *family, const char *root)
{
    item->kind = PackagedApp;
    TextCopy(item->scope, sizeof item->scope, SCOPE_USER);
    DisplayName(m, task, fullName, item->name, sizeof item->name);
    TextCopy(item->valueName, sizeof item->valueName, task->taskId);
    // The state is read even where its path is longer than the record
    // keeps: the row shows what Windows does, and is not switched (cut).
    char statePath[KEY_PATH_SIZE];
    int pathWhole = TextFormat(statePath, sizeof statePath, "%s\\%s\\%s", APP_STATE_KEY, family,
                               task->taskId);
    item->cut = task->cut || !pathWhole
                || !TextCopy(item->location, sizeof item->location, statePath);
    item->locationCut = item->cut;
    char program[TEXT_FIELD_SIZE];
    int programWhole = task->executable[0]
                       && TextFormat(program, sizeof program, "%s\\%s", root, task->executable)
                       && !task->programCut;
    if (!task->executable[0])
        TextCopy(program, sizeof program, root);
    for (char *c = program; *c; ++c)
        if (*c == '/')
            *c = '\\';
    TextCopy(item->command, sizeof item->command, program);
    TextCopy(item->target, sizeof item->target, program);
    char note[3 * TEXT_FIELD_SIZE];
    TextFormat(note, sizeof note, NOTE_APP_PACKAGE, m->name, m->version, m->publisher);
    AddNote(item->taskNotes, sizeof item->taskNotes, note);
    if (!UsableTaskId(task->taskId) || !InsidePackage(task->executable)) {
        // No id, no state of its own: never written to the family's key.
        item->readOnly = 1;
        item->appState = APP_STATE_UNREAD;
        item->enabled = task->enabled;
        AddNote(item->taskNotes, sizeof item->taskNotes,
                InsidePackage(task->executable) ? NOTE_APP_NO_TASK_ID : NOTE_APP_OUTSIDE);
        // Not the package's program: no signer is read for it.
        if (!InsidePackage(task->executable))
            return;
    } else if (pathWhole) {
        ApplyState(item, task, statePath);
    }
    if (!programWhole) {
        // A path that is not whole is not looked for: never "not found".
        item->commandCut = 1;
        AddNote(item->taskNotes, sizeof item->taskNotes,
                task->executable[0] ? NOTE_APP_PROGRAM_CUT : NOTE_APP_NO_PROGRAM);
        return;
    }
    ReadTargetDetails(item);
}

// A package whose startup tasks cannot be known: one row that says why.
static void NoteUnread(TaskCollector *c, const char *fullName, const char *root, const char *why)
{
    AutostartItem *item = NewTaskRow(c);
    if (!item) {
        ++c->leftOut;
        return;
    }
    item->kind = PackagedApp;
    TextCopy(item->scope, sizeof item->scope, SCOPE_USER);
    TextCopy(item->name, sizeof item->name, fullName);
    item->cut = !TextFormat(item->location, sizeof item->location, "%s\\%s", APP_REPOSITORY_KEY,
                            fullName);
    TextCopy(item->command, sizeof item->command, root);
    item->readOnly = 1;
    item->appState = APP_STATE_UNREAD;
    // Shown as it may start: nothing says it does not.
    item->enabled = 1;
    TextFormat(item->taskNotes, sizeof item->taskNotes, NOTE_APP_MANIFEST_UNREAD, why);
    ++c->count;
}

static void ReadPackage(TaskCollector *c, const char *fullName)
{
    char key[TEXT_FIELD_SIZE], root[TEXT_FIELD_SIZE], family[TEXT_FIELD_SIZE];
    if (!TextFormat(key, sizeof key, "%s\\%s", APP_REPOSITORY_KEY, fullName)
        || !FamilyName(fullName, family, sizeof family)) {
        NoteUnread(c, fullName, "", NOTE_APP_NAME_UNKNOWN);
        return;
    }
    if (!ReadString(PLAT_HKCU, key, "PackageRootFolder", root, sizeof root) || !root[0]) {
        char programs[TEXT_FIELD_SIZE];
        if (!PlatShellFolder(PLAT_CSIDL_PROGRAM_FILES, programs)
            || !TextFormat(root, sizeof root, "%s\\WindowsApps\\%s", programs, fullName)) {
            NoteUnread(c, fullName, "", NOTE_APP_FOLDER_UNKNOWN);
            return;
        }
    }
    char manifestPath[TEXT_FIELD_SIZE];
    uint64_t size = 0, written = 0;
    if (!TextFormat(manifestPath, sizeof manifestPath, "%s\\AppxManifest.xml", root)) {
        NoteUnread(c, fullName, root, NOTE_APP_PATH_TOO_LONG);
        return;
    }
    // The network is never touched while the list is read: a server that
    // does not answer would hold it for a minute a call.
    if (PlatIsNetworkPath(root)) {
        NoteUnread(c, fullName, root, NOTE_APP_ON_NETWORK);
        return;
    }
    // A link may lead anywhere: its manifest is not the package's.
    if (PlatFolderIsLink(root) || PlatFolderIsLink(manifestPath)) {
        NoteUnread(c, fullName, root, NOTE_APP_LINK);
        return;
    }
    int stamped = PlatFileStamp(manifestPath, &size, &written);
    // A bundle ("_~_" as its resource id) holds packages, each listed on its
    // own; without a manifest of its own it declares no task.
    if (!stamped && strstr(fullName, "_~_") && !PlatFileExists(manifestPath))
        return;
    if (!stamped || size > APP_MANIFEST_MOST) {
        NoteUnread(c, fullName, root,
                   size > APP_MANIFEST_MOST ? NOTE_APP_MANIFEST_TOO_LARGE : NOTE_APP_MANIFEST_MISSING);
        return;
    }
    uint32_t loaded = 0;
    void *xml = PlatFileLoad(manifestPath, &loaded);
    AppManifest *m = (AppManifest *)PlatAllocZero(sizeof *m);
    int parsed = xml && m && ParseAppManifest(xml, loaded, m);
    PlatFree(xml);
    if (!parsed) {
        NoteUnread(c, fullName, root, NOTE_APP_MANIFEST_BAD);
        PlatFree(m);
        return;
    }
    for (int32_t t = 0; t < m->taskCount; ++t) {
        AutostartItem *item = NewTaskRow(c);
        if (!item) {
            ++c->leftOut;
            continue;
        }
        FillTask(item, m, &m->tasks[t], fullName, family, root);
        ++c->count;
    }
    if (m->tasksLeftOut) {
        char text[TEXT_FIELD_SIZE + 64];
        TextFormat(text, sizeof text, APPS_TASKS_PAST_MOST, (long)m->tasksLeftOut, APP_TASKS_MOST);
        SayTasksUnread(c, fullName, text);
    }
    PlatFree(m);
}

// One reading of the packages; nonzero when the repository key changed
// while it was read (a package added or removed: one may have been missed).
static int ReadPackages(TaskCollector *c)
{
    PlatKey key = NULL;
    long opened = PlatRegOpenRead(PLAT_HKCU, APP_REPOSITORY_KEY, &key);
    if (opened != PLAT_OK && opened != PLAT_ERROR_FILE_NOT_FOUND) {
        char why[TEXT_FIELD_SIZE], text[TEXT_FIELD_SIZE + 96];
        PlatErrorText(opened, why, sizeof why);
        TextFormat(text, sizeof text, APPS_NOT_LISTED, why);
        SayTasksUnread(c, "", text);
    }
    PlatKeyState before;
    if (key)
        PlatRegKeyState(key, &before);
    char name[TEXT_FIELD_SIZE];
    for (uint32_t index = 0; opened == PLAT_OK && key; ++index) {
        long result = PlatRegEnumKey(key, index, name, sizeof name);
        if (result == PLAT_ERROR_NO_MORE_ITEMS)
            break;
        if (result != PLAT_OK || index >= APP_PACKAGES_MOST) {
            char why[TEXT_FIELD_SIZE], text[TEXT_FIELD_SIZE + 96];
            PlatErrorText(result == PLAT_OK ? (long)PLAT_ERROR_MORE_DATA : result, why, sizeof why);
            TextFormat(text, sizeof text, APPS_NOT_LISTED, why);
            SayTasksUnread(c, "", text);
            break;
        }
        ReadPackage(c, name);
    }
    int changed = 0;
    if (key) {
        changed = KeyStateChanged(key, &before);
        PlatRegClose(key);
    }
    return changed;
}

// The Store updates apps in the background: a package key replaced while
// the list is read moves the others' indexes. Read again until it holds
// still, else say so.
void ReadAppRows(TaskRows *rows)
{
    TaskCollector c;
    memset(&c, 0, sizeof c);
    int changed = 1;
    for (int attempt = 0; attempt < 3 && changed; ++attempt) {
        PlatFree(c.items);
        memset(&c, 0, sizeof c);
        changed = ReadPackages(&c);
    }
    if (changed)
        SayTasksUnread(&c, "", SCAN_STORAGE_CHANGED);
    if (c.leftOut) {
        char text[128];
        TextFormat(text, sizeof text, TASKS_NO_MEMORY, c.leftOut);
        SayTasksUnread(&c, "", text);
    }
    rows->items = c.items;
    rows->count = c.count;
    TextCopy(rows->unread, sizeof rows->unread, c.unread);
}
