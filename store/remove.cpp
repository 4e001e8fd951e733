// remove.cpp - Remove and Replace: what they delete or write over is saved
// first.
//
// A registry value goes into a .reg file (reg_file.cpp), a removed shortcut
// is copied; both into the backup folder under the user's Documents, one
// file per operation named by its date and time. Nothing is deleted unless
// its backup was written, closed, read back and found to hold every value; a
// value the format cannot carry (a line break in its name) is never deleted.
#include "reg_file.h"
#include "journal.h"

#include <string.h>

// ---- Remove -------------------------------------------------------------

// A removed file's switch in Windows' startup settings cannot go into its
// copy: it goes beside it ("Removed ... Agent.lnk.reg"), which the registry
// editor imports. 1 when there is none, 2 when saved, 0 when it could not be.
static int SaveFileApproval(const AutostartItem *item, const char *copy)
{
    PlatHive hive = PLAT_HKCU;
    char path[TEXT_FIELD_SIZE], regPath[TEXT_FIELD_SIZE];
    uint32_t type = PLAT_REG_NONE, size = 0;
    void *data = NULL;
    if (!ReadApprovalValue(item, &hive, path, &type, &data, &size))
        return 1;
    RegWriter writer;
    int saved = 0;
    PlatPlace place = NULL;
    if (NameCarried(item->name) && TextFormat(regPath, sizeof regPath, "%s.reg", copy)
        && HoldPlace(copy, NULL, 1, 1, &place) == PLAT_OK && BeginRegFile(regPath, &writer)) {
        PutKey(&writer, hive, path);
        PutValue(&writer, item->name, type, data, size);
        saved = EndRegFile(&writer, regPath);
    }
    ReleasePlace(place);
    PlatFree(data);
    return saved ? 2 : 0;
}

// Nonzero when both files hold the same bytes; zero when either cannot be read.
static int SameFileContent(const char *one, const char *other)
{
    uint32_t size = 0, otherSize = 0;
    void *data = PlatFileLoad(one, &size);
    void *otherData = data ? PlatFileLoad(other, &otherSize) : NULL;
    int same = data && otherData && size == otherSize && memcmp(data, otherData, size) == 0;
    PlatFree(data);
    PlatFree(otherData);
    return same;
}

static int CopyRemovedFile(const char *path, void *context)
{
    return PlatCopyFile((const char *)context, path);
}

static int RemoveFileWithBackup(const AutostartItem *item, char *backupFile)
{
    // "Removed 2026-12-07 130509 Agent.lnk": move it back under its own name.
    char copy[TEXT_FIELD_SIZE];
    char ending[TEXT_FIELD_SIZE + 2];
    int made = TextFormat(ending, sizeof ending, " %s", item->name)
                   ? NewBackup("Removed", ending, CopyRemovedFile, NULL, (void *)item->location, copy)
                   : BackupFailed;
    if (made != BackupMade)
        return made == BackupFolderIsLink ? RemoveFolderIsLink : RemoveBackupFailed;
    TextCopy(backupFile, TEXT_FIELD_SIZE, copy);
    int approval = SaveFileApproval(item, copy);
    if (!approval) {
        PlatDeleteFile(copy);
        backupFile[0] = '\0';
        return RemoveBackupFailed;
    }
    // Another program may have rewritten the file since it was copied: only
    // what the backup holds goes.
    if (!SameFileContent(item->location, copy)) {
        SetStoreError(PLAT_ERROR_KEY_DELETED);
        return RemoveDeleteFailed;
    }
    // The history keeps the hash of the file as it was in its place (the
    // shared Startup folder no user may write), not of the copy.
    uint64_t size = 0;
    char hash[JOURNAL_HASH_SIZE];
    if (HashBackupFile(item->location, &size, hash) == PLAT_OK)
        NoteWrittenBackup(copy, size, hash);
    if (DeleteItem(item, 0) != DeleteDone)
        return RemoveDeleteFailed;
    if (approval == 2)
        DropApproval(item);
    return RemoveDone;
}

int RemoveItemWithBackup(const AutostartItem *item, char *backupFile)
{
    if (item->kind == ScheduledTask)
        return RemoveTaskWithBackup(item, backupFile, NULL);
    backupFile[0] = '\0';
    if (item->logonPlace)
        return RemoveLogonItem(item, backupFile);
    SetStoreError(PLAT_OK);
    if (!ItemActionable(item))
        return RemoveRefused;
    if (item->kind != RegistryValue) {
        // Elevated, a file seen through a folder made a link (any user can
        // make the shared folder of disabled items one) is another place's:
        // neither copied nor deleted with administrator rights. Its folders
        // stay held over the backup and the delete.
        PlatPlace place = NULL;
        if (HoldPlace(item->location, NULL, 1, 0, &place) != PLAT_OK)
            return LastStoreError() == CAUSE_PLACE_IS_LINK ? RemoveRefused : RemoveBackupFailed;
        int removed = RemoveFileWithBackup(item, backupFile);
        ReleasePlace(place);
        return removed;
    }
    if (!NameCarried(item->name))
        return RemoveNameNotCarried;

    PlatHive hive = HiveOfItem(item);
    uint32_t type = PLAT_REG_NONE;
    void *data = NULL;
    uint32_t size = 0;
    char path[TEXT_FIELD_SIZE];
    if (!ReadWholeValue(hive, item->location, item->name, 1, &type, &data, &size))
        return RemoveBackupFailed;
    RegWriter writer;
    int saved = NewBackup("Removed", ".reg", BeginRegFile, AbandonRegFile, &writer, path);
    if (saved == BackupMade) {
        PutKey(&writer, hive, item->location);
        PutValue(&writer, item->name, type, data, size);
        PutApproval(&writer, item);
        saved = EndRegFile(&writer, path) ? BackupMade : BackupFailed;
    }
    if (saved != BackupMade) {
        PlatFree(data);
        return saved == BackupFolderIsLink ? RemoveFolderIsLink : RemoveBackupFailed;
    }
    TextCopy(backupFile, TEXT_FIELD_SIZE, path);
    // Another program may have rewritten it since: only what the backup holds goes.
    int deleted = DeleteValueIfUnchanged(item, type, data, size);
    PlatFree(data);
    if (deleted != DeleteDone)
        return RemoveDeleteFailed;
    DropApproval(item);
    return RemoveDone;
}

// ---- Replace ------------------------------------------------------------

int BackupReplaced(const AutostartItem *entry, char *backupFile)
{
    backupFile[0] = '\0';
    PlatHive hive = HiveOfItem(entry);
    uint32_t type = PLAT_REG_NONE, size = 0;
    void *data = NULL;
    int hasValue = ReadWholeValue(hive, entry->location, entry->name, 1, &type, &data, &size);
    // A value that is there but cannot be read is never written over unsaved.
    if (!hasValue && KeyMayHoldValue(hive, entry->location, entry->name))
        return BackupFailed;
    PlatHive approvalHive = PLAT_HKCU;
    char approvalPath[TEXT_FIELD_SIZE];
    uint32_t approvalType = PLAT_REG_NONE, approvalSize = 0;
    void *approval = NULL;
    int hasApproval = ReadApprovalValue(entry, &approvalHive, approvalPath, &approvalType,
                                        &approval, &approvalSize);
    PlatFree(approval);
    if (!hasValue && !hasApproval)
        return BackupNothing;
    char path[TEXT_FIELD_SIZE];
    RegWriter writer;
    int made = NameCarried(entry->name)
                   ? NewBackup("Replaced", ".reg", BeginRegFile, AbandonRegFile, &writer, path)
                   : BackupFailed;
    if (made == BackupMade) {
        if (hasValue) {
            PutKey(&writer, hive, entry->location);
            PutValue(&writer, entry->name, type, data, size);
        }
        PutApproval(&writer, entry);
        made = EndRegFile(&writer, path) ? BackupMade : BackupFailed;
    }
    PlatFree(data);
    if (made == BackupMade)
        TextCopy(backupFile, TEXT_FIELD_SIZE, path);
    return made;
}
