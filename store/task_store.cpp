// task_store.cpp - switching and removing scheduled tasks.
//
// A task is switched in its registration (the scheduler's own Enabled
// flag), never moved, and the state is read back: Wine's scheduler, for
// one, accepts the change and keeps the old state. Remove saves the XML as
// UTF-16 with a byte-order mark, the form `schtasks /create /xml` imports,
// reads the file back, reads the task again and deletes it only when it is
// still what the backup holds (the scheduler has no delete-if-unchanged).
#include "store.h"

#include "../catalogue/task_xml.h"

#include <string.h>

static long TaskError = PLAT_OK;

long LastTaskError(void)
{
    return TaskError;
}

const char *TaskCauseText(long code)
{
    switch (code) {
    case TASK_UNCHANGED: return CAUSE_TASK_UNCHANGED;
    case TASK_READ_ONLY: return CAUSE_TASK_FILES;
    case TASK_PATH_CUT: return "its path is too long to change it here";
    case TASK_INEXACT: return "its name cannot be handled on this Windows";
    case PLAT_ERROR_FILE_NOT_FOUND:
    case PLAT_ERROR_PATH_NOT_FOUND:
        return "another program removed it since the list was read";
    default: return CauseText(code);
    }
}

static void Report(StatusSink sink, void *context, const char *text)
{
    if (sink)
        sink(context, text);
}

// Why the row is not handed to the scheduler; PLAT_OK when it may be.
static long Refusal(const AutostartItem *item)
{
    if (item->readOnly)
        return TASK_READ_ONLY;
    if (item->cut)
        return TASK_PATH_CUT;
    return ItemActionable(item) ? (long)PLAT_OK : (long)TASK_INEXACT;
}

int SwitchTask(const AutostartItem *item, int32_t wanted)
{
    TaskError = Refusal(item);
    if (TaskError != PLAT_OK)
        return 1;
    long result = PlatTaskSetEnabled(item->location, wanted);
    if (result != PLAT_OK) {
        TaskError = result;
        return 1;
    }
    int32_t state = !wanted;
    result = PlatTaskRead(item->location, NULL, NULL, &state);
    if (result != PLAT_OK) {
        TaskError = result;
        return 1;
    }
    if ((state != 0) != (wanted != 0)) {
        TaskError = TASK_UNCHANGED;
        return 1;
    }
    return 0;
}

int ApplyTaskChange(const AutostartItem *item, int32_t wanted, StatusSink sink, void *context)
{
    if (!SwitchTask(item, wanted))
        return 1;
    char status[TEXT_FIELD_SIZE + 128];
    TextFormat(status, sizeof status, STATUS_TASK_NOT_SWITCHED, item->name, wanted ? "on" : "off",
               TaskCauseText(TaskError));
    Report(sink, context, status);
    return 0;
}

int DeleteTask(const AutostartItem *item)
{
    TaskError = Refusal(item);
    if (TaskError != PLAT_OK)
        return DeleteFileFailed;
    long result = PlatTaskDelete(item->location);
    if (result == PLAT_OK)
        return DeleteDone;
    TaskError = result;
    return DeleteFileFailed;
}

struct TaskBackup {
    const void *bytes;
    uint32_t size;
};

// Written whole, closed cleanly and read back the same; otherwise the file
// is deleted, so no half backup stands for a whole one.
static int WriteTaskBackup(const char *path, void *context)
{
    const TaskBackup *backup = (const TaskBackup *)context;
    PlatFile file = PlatFileCreateNew(path);
    if (!file)
        return 0;
    int written = PlatFileWrite(file, backup->bytes, backup->size);
    written = PlatFileClose(file) && written;
    uint32_t size = 0;
    void *back = written ? PlatFileLoad(path, &size) : NULL;
    int same = back && size == backup->size && memcmp(back, backup->bytes, size) == 0;
    PlatFree(back);
    if (!same)
        PlatDeleteFile(path);
    return same;
}

int RemoveTaskWithBackup(const AutostartItem *item, char *backupFile)
{
    backupFile[0] = '\0';
    TaskError = Refusal(item);
    if (TaskError != PLAT_OK)
        return RemoveRefused;
    char *xml = NULL;
    uint32_t size = 0;
    long read = PlatTaskRead(item->location, &xml, &size, NULL);
    if (read != PLAT_OK || !xml) {
        TaskError = read;
        return RemoveBackupFailed;
    }
    TaskBackup backup = {NULL, 0};
    size = (uint32_t)TextLengthIn(xml, size);
    backup.bytes = TaskXmlToUtf16(xml, size, &backup.size);
    if (!backup.bytes) {
        PlatFree(xml);
        return RemoveBackupFailed;
    }
    // "Removed 2026-12-07 130509 Updater.xml"
    char ending[TEXT_FIELD_SIZE + 8];
    char path[TEXT_FIELD_SIZE];
    int made = TextFormat(ending, sizeof ending, " %s.xml", item->name)
                   ? NewBackup("Removed", ending, WriteTaskBackup, &backup, path)
                   : 0;
    PlatFree((void *)backup.bytes);
    if (made != 1) {
        PlatFree(xml);
        return made == BackupFolderIsLink ? RemoveFolderIsLink : RemoveBackupFailed;
    }
    TextCopy(backupFile, TEXT_FIELD_SIZE, path);
    // Another program may have registered it anew since it was read: only
    // what the backup holds goes.
    char *now = NULL;
    uint32_t nowSize = 0;
    read = PlatTaskRead(item->location, &now, &nowSize, NULL);
    int same = read == PLAT_OK && now && TextLengthIn(now, nowSize) == size
               && memcmp(now, xml, size) == 0;
    PlatFree(now);
    PlatFree(xml);
    if (!same) {
        TaskError = read != PLAT_OK ? read : (long)PLAT_ERROR_KEY_DELETED;
        return RemoveDeleteFailed;
    }
    return DeleteTask(item) == DeleteDone ? RemoveDone : RemoveDeleteFailed;
}

void TaskRestoreCommand(const AutostartItem *item, const char *backupFile, char *text,
                        size_t size)
{
    TextFormat(text, size, "schtasks /create /xml \"%s\" /tn \"%s\"", backupFile,
               item->location);
}

int RemoveTaskReporting(const AutostartItem *item, StatusSink sink, void *context)
{
    char backup[TEXT_FIELD_SIZE];
    int result = RemoveTaskWithBackup(item, backup);
    if (result == RemoveRefused && TaskError == TASK_INEXACT) {
        ReportInexact(sink, context, item);
        return result;
    }
    char status[3 * TEXT_FIELD_SIZE + 128];
    char restore[2 * TEXT_FIELD_SIZE + 64];
    TaskRestoreCommand(item, backup, restore, sizeof restore);
    if (result == RemoveDone)
        TextFormat(status, sizeof status, STATUS_TASK_REMOVED, item->name, backup, restore);
    else if (result == RemoveDeleteFailed)
        TextFormat(status, sizeof status, STATUS_TASK_NOT_REMOVED_KEPT, item->name,
                   TaskCauseText(TaskError), backup);
    else if (result == RemoveFolderIsLink)
        TextFormat(status, sizeof status, STATUS_FOLDER_IS_LINK, BACKUP_FOLDER);
    else if (result == RemoveBackupFailed && TaskError == PLAT_OK)
        TextCopy(status, sizeof status, STATUS_BACKUP_FAILED);
    else
        TextFormat(status, sizeof status, STATUS_TASK_NOT_REMOVED, item->name,
                   TaskCauseText(TaskError));
    Report(sink, context, status);
    return result;
}
