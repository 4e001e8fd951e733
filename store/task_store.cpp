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
    int32_t state = !wanted;
    if (TaskFailed(PlatTaskRead(item->location, NULL, NULL, &state)) != PLAT_OK)
        return 1;
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
    if (SetStoreError(Refusal(item)) != PLAT_OK)
        return RemoveRefused;
    char *xml = NULL;
    uint32_t size = 0;
    long read = PlatTaskRead(item->location, &xml, &size, NULL);
    // Nothing to back up: the scheduler's refusal is the cause.
    if (read != PLAT_OK) {
        TaskFailed(read);
        return RemoveRefused;
    }
    if (!xml)
        return RemoveBackupFailed;
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
                   ? NewBackup("Removed", ending, WriteTaskBackup, NULL, &backup, path)
                   : BackupFailed;
    PlatFree((void *)backup.bytes);
    if (made != BackupMade) {
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
        TaskFailed(read != PLAT_OK ? read : (long)PLAT_ERROR_KEY_DELETED);
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
