// task_store.cpp - switching and removing scheduled tasks.
//
// A task is switched in its registration (the scheduler's own Enabled
// flag), never moved, and the state is read back: Wine's scheduler, for
// one, accepts the change and keeps the old state. Remove saves the XML as
// UTF-16 with a byte-order mark, the form `schtasks /create /xml` imports,
// and beside it the task's security descriptor (who may see, run and change
// it), which the XML does not hold and that command does not take; reads
// both back, reads the task again and deletes it only when it is still what
// the backup holds (the scheduler has no delete-if-unchanged).
#include "store.h"
#include "journal.h"

#include "../catalogue/task_xml.h"

#include <string.h>

// The scheduler's error as a cause: a task not found is one another
// program removed.
static long TaskFailed(long code)
{
    if (code == PLAT_ERROR_FILE_NOT_FOUND || code == PLAT_ERROR_PATH_NOT_FOUND)
        code = CAUSE_TASK_GONE;
    return SetStoreError(code);
}

// Why the row is not handed to the scheduler; PLAT_OK when it may be.
static long Refusal(const AutostartItem *item)
{
    if (item->schedulerHidden)
        return CAUSE_TASK_HIDDEN;
    if (item->readOnly)
        return CAUSE_TASK_FILES;
    if (item->cut)
        return CAUSE_TASK_PATH_CUT;
    return ItemActionable(item) ? (long)PLAT_OK : (long)CAUSE_NAME_INEXACT;
}

int SwitchTask(const AutostartItem *item, int32_t wanted)
{
    if (SetStoreError(Refusal(item)) != PLAT_OK)
        return 1;
    if (TaskFailed(PlatTaskSetEnabled(item->location, wanted)) != PLAT_OK)
        return 1;
    // Taken, but not read back: what it is now cannot be told.
    int32_t state = !wanted;
    if (TaskFailed(PlatTaskRead(item->location, NULL, NULL, &state)) != PLAT_OK) {
        if (LastStoreError() != CAUSE_TASK_GONE)
            SetStoreError(CAUSE_TASK_UNREAD);
        return 1;
    }
    if ((state != 0) != (wanted != 0)) {
        SetStoreError(CAUSE_TASK_UNCHANGED);
        return 1;
    }
    return 0;
}

int DeleteTask(const AutostartItem *item)
{
    if (SetStoreError(Refusal(item)) != PLAT_OK)
        return DeleteFileFailed;
    return TaskFailed(PlatTaskDelete(item->location)) == PLAT_OK ? DeleteDone : DeleteFileFailed;
}

// A task as the scheduler gives it: its XML and its security descriptor.
struct TaskWhole {
    char *xml;
    uint32_t size;
    char *sddl;
    uint32_t sddlSize;
};

static void FreeTaskWhole(TaskWhole *task)
{
    PlatFree(task->xml);
    PlatFree(task->sddl);
    memset(task, 0, sizeof *task);
}

// Both, or neither (PlatFree'd) and the scheduler's error.
static long ReadTaskWhole(const char *path, TaskWhole *task)
{
    memset(task, 0, sizeof *task);
    long read = PlatTaskRead(path, &task->xml, &task->size, NULL);
    if (read == PLAT_OK && task->xml)
        read = PlatTaskSecurity(path, &task->sddl, &task->sddlSize);
    if (read == PLAT_OK && !task->sddl)
        read = PLAT_ERROR_OUTOFMEMORY;
    if (read != PLAT_OK) {
        FreeTaskWhole(task);
        return read;
    }
    task->size = (uint32_t)TextLengthIn(task->xml, task->size);
    task->sddlSize = (uint32_t)TextLengthIn(task->sddl, task->sddlSize);
    return PLAT_OK;
}

static int SameTask(const TaskWhole *a, const TaskWhole *b)
{
    return a->size == b->size && memcmp(a->xml, b->xml, a->size) == 0
           && a->sddlSize == b->sddlSize && memcmp(a->sddl, b->sddl, a->sddlSize) == 0;
}

int TaskSecurityFile(const char *backupFile, char *path)
{
    size_t length = strlen(backupFile);
    if (length < 4 || TextCompareNoCase(backupFile + length - 4, ".xml") != 0)
        return 0;
    return TextFormat(path, TEXT_FIELD_SIZE, "%.*s.sddl", (int)(length - 4), backupFile);
}

struct TaskBackup {
    const void *bytes;
    uint32_t size;
    const TaskWhole *task;
    char security[TEXT_FIELD_SIZE]; // the descriptor's file, once written
};

// Written whole, closed cleanly and read back the same; otherwise the file
// is deleted, so no half backup stands for a whole one. Never over a file.
static int WriteWhole(const char *path, const void *bytes, uint32_t size)
{
    PlatFile file = PlatFileCreateNew(path);
    if (!file)
        return 0;
    int written = PlatFileWrite(file, bytes, size);
    written = PlatFileClose(file) && written;
    uint32_t readSize = 0;
    void *back = written ? PlatFileLoad(path, &readSize) : NULL;
    int same = back && readSize == size && memcmp(back, bytes, size) == 0;
    PlatFree(back);
    if (!same) {
        PlatDeleteFile(path);
        return 0;
    }
    char hash[JOURNAL_HASH_SIZE];
    Sha256Of(bytes, size, hash);
    NoteWrittenBackup(path, size, hash);
    return 1;
}

// The XML, then its security descriptor beside it: both or neither.
static int WriteTaskBackup(const char *path, void *context)
{
    TaskBackup *backup = (TaskBackup *)context;
    char security[TEXT_FIELD_SIZE];
    if (!TaskSecurityFile(path, security) || !WriteWhole(path, backup->bytes, backup->size))
        return 0;
    if (!WriteWhole(security, backup->task->sddl, backup->task->sddlSize)) {
        PlatDeleteFile(path);
        return 0;
    }
    TextCopy(backup->security, sizeof backup->security, security);
    return 1;
}

// Written through a folder made a link meanwhile: the descriptor goes too.
static void AbandonTaskBackup(void *context)
{
    TaskBackup *backup = (TaskBackup *)context;
    if (backup->security[0])
        PlatDeleteFile(backup->security);
}

// The user the restore must name: one whose task runs whether he is logged
// on or not, which `schtasks /create /xml` registers only with his password.
static void LoggedOffUser(const TaskWhole *task, char *runAs)
{
    TaskDefinition definition;
    if (ParseTaskXml(task->xml, task->size, &definition) && definition.loggedOff)
        TextFormat(runAs, TEXT_FIELD_SIZE, "%s%s", definition.noPassword ? RUN_AS_NO_PASSWORD : "",
                   definition.runAs);
}

int RemoveTaskWithBackup(const AutostartItem *item, char *backupFile, char *runAs)
{
    backupFile[0] = '\0';
    if (runAs)
        runAs[0] = '\0';
    if (SetStoreError(Refusal(item)) != PLAT_OK)
        return RemoveRefused;
    // Nothing to back up whole: the scheduler's refusal is the cause.
    TaskWhole task;
    if (TaskFailed(ReadTaskWhole(item->location, &task)) != PLAT_OK)
        return RemoveRefused;
    TaskBackup backup;
    memset(&backup, 0, sizeof backup);
    backup.task = &task;
    backup.bytes = TaskXmlToUtf16(task.xml, task.size, &backup.size);
    // "Removed 2026-12-07 130509 Updater.xml" and "... Updater.sddl"
    char ending[TEXT_FIELD_SIZE + 8];
    char path[TEXT_FIELD_SIZE];
    int made = backup.bytes && TextFormat(ending, sizeof ending, " %s.xml", item->name)
                   ? NewBackup("Removed", ending, WriteTaskBackup, AbandonTaskBackup, &backup,
                               path)
                   : BackupFailed;
    PlatFree((void *)backup.bytes);
    if (made != BackupMade) {
        FreeTaskWhole(&task);
        return made == BackupFolderIsLink ? RemoveFolderIsLink : RemoveBackupFailed;
    }
    TextCopy(backupFile, TEXT_FIELD_SIZE, path);
    if (runAs)
        LoggedOffUser(&task, runAs);
    // Another program may have registered it anew, or changed who may run
    // it, since it was read: only what the backup holds goes.
    TaskWhole now;
    long read = ReadTaskWhole(item->location, &now);
    int same = read == PLAT_OK && SameTask(&now, &task);
    FreeTaskWhole(&now);
    FreeTaskWhole(&task);
    if (!same) {
        TaskFailed(read != PLAT_OK ? read : (long)PLAT_ERROR_KEY_DELETED);
        return RemoveDeleteFailed;
    }
    return DeleteTask(item) == DeleteDone ? RemoveDone : RemoveDeleteFailed;
}

static void AppendArgument(char *text, size_t size, const char *argument)
{
    TextAppend(text, size, " \"");
    TextAppend(text, size, argument);
    TextAppend(text, size, "\"");
}

void TaskRestoreCommand(const AutostartItem *item, const char *backupFile, const char *runAs,
                        char *text, size_t size)
{
    // cmd.exe expands %NAME% inside quotes too, and has no escape for it on
    // its command line: any user may define a variable of that name. Such a
    // task is restored by importing its file, never by a pasted command.
    if (strchr(backupFile, '%') || strchr(item->location, '%') || (runAs && strchr(runAs, '%'))) {
        TextCopy(text, size, TASK_RESTORE_BY_IMPORT);
        return;
    }
    TextCopy(text, size, "schtasks /create /xml");
    AppendArgument(text, size, backupFile);
    TextAppend(text, size, " /tn");
    AppendArgument(text, size, item->location);
    // The scheduler asks for the password of a user whose task runs while
    // he is logged off; "*" makes schtasks ask for it.
    // One that stores no password (S4U) is registered with none: /np.
    int noPassword = runAs && strncmp(runAs, RUN_AS_NO_PASSWORD, 1) == 0;
    if (runAs && runAs[noPassword]) {
        TextAppend(text, size, " /ru");
        AppendArgument(text, size, runAs + noPassword);
        TextAppend(text, size, noPassword ? " /np" : " /rp *");
    }
}
