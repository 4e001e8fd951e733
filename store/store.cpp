// store.cpp - the store operations (see store.h).
#include "store.h"

#include <string.h>

// The other place of a registry value: its DisabledKey, or back without "-"
// (a RunOnceEx entry keeps its section: "RunOnceEx\0001" and "RunOnceEx-\0001").
static int OtherPlace(const AutostartItem *item, int32_t desired, char *path)
{
    size_t length = TextLengthIn(item->location, sizeof item->location);
    if (length == 0 || length == sizeof item->location
        || LocationDisabled(item->location) == !desired)
        return 0;
    return SiblingLocation(item->location, path);
}

// Every failing step records its cause in the one space of causes.
static long Failed(long code)
{
    return SetStoreError(code);
}

int MoveRegistryValue(const AutostartItem *item, int32_t desired)
{
    SetStoreError(PLAT_OK);
    // A cut or changed name could name another value: never act on it.
    if (!ItemActionable(item))
        return MoveValueKeyFailed;
    PlatHive hive = HiveOfItem(item);
    char destination[TEXT_FIELD_SIZE];
    if (!OtherPlace(item, desired, destination))
        return MoveValueKeyFailed;

    // The value is copied as it is stored now, type and every byte, never
    // through the code page or the catalogue's cut text: REG_EXPAND_SZ,
    // long, binary and unterminated data and any character survive.
    uint32_t type = PLAT_REG_SZ;
    void *data = NULL;
    uint32_t size = 0;
    if (!ReadWholeValue(hive, item->location, item->name, 1, &type, &data, &size)) {
        Failed(ValueMayExist(hive, item->location, item->name) ? PLAT_ERROR_ACCESS_DENIED
                                                               : PLAT_ERROR_FILE_NOT_FOUND);
        return MoveValueWriteFailed;
    }

    PlatKey key = NULL;
    long created = PlatRegCreate(hive, destination, PLAT_KEY_WRITE, &key);
    if (created != PLAT_OK || !key) {
        Failed(created);
        PlatFree(data);
        return MoveValueKeyFailed;
    }
    // Never overwrite: a value of that name in the other place is another entry.
    int result = MoveValueDone;
    if (ValueMayExist(hive, destination, item->name)) {
        Failed(PLAT_ERROR_ALREADY_EXISTS);
        result = MoveValueWriteFailed;
    } else if (Failed(PlatRegWriteRaw(key, item->name, type, data, size)) != PLAT_OK) {
        result = MoveValueWriteFailed;
    }
    PlatFree(data);
    if (PlatRegClose(key) != PLAT_OK && result == MoveValueDone)
        result = MoveValueCloseFailed;
    return result;
}

int MoveShortcut(const AutostartItem *item, int32_t desired)
{
    if (!ItemActionable(item))
        return 1;
    char folder[TEXT_FIELD_SIZE];
    int found = 0;
    if (desired) {
        found = PlatShellFolder(ScopeIsUser(item->scope) ? PLAT_CSIDL_STARTUP
                                                         : PLAT_CSIDL_COMMON_STARTUP,
                                folder);
    } else {
        int user = TextCompareNoCase(item->scope, SCOPE_USER) == 0;
        found = (user || TextCompareNoCase(item->scope, SCOPE_ALL) == 0)
                && MakeDisabledFolder(user, folder);
        // Elevated, a folder another program made a link is not moved into.
        if (found && PlatIsElevated() && PlatFolderIsLink(folder))
            return MoveFolderIsLink;
    }
    char destination[TEXT_FIELD_SIZE];
    if (!found || !TextFormat(destination, sizeof destination, "%s\\%s", folder, item->name)) {
        Failed(PLAT_ERROR_PATH_NOT_FOUND);
        return 1;
    }
    // Elevated, both folders are held, the user's with the user's rights.
    int asUser = ScopeIsUser(item->scope);
    PlatPlace place = NULL;
    if (!HoldPlace(item->location, destination, 1, asUser, &place))
        return 1;
    // MoveFileA never replaces a file of the same name.
    int moved = PlatMoveFile(item->location, destination);
    long error = moved ? (long)PLAT_OK : PlaceError(asUser, place, PlatLastError());
    // A folder made a link while held took the file elsewhere: bring it back
    // the same way before the folders are let go.
    if (moved && !PlaceStillHeld(place)) {
        moved = 0;
        error = PlatMoveFile(destination, item->location) ? LastStoreError()
                                                         : (long)CAUSE_PLACE_LINK_MISPLACED;
    }
    ReleasePlace(place);
    if (moved)
        return 0;
    Failed(error == CAUSE_PLACE_LINK_MISPLACED || PlatFileExists(item->location)
               ? error
               : (long)PLAT_ERROR_FILE_NOT_FOUND);
    return 1;
}

int DeleteItem(const AutostartItem *item, int registry)
{
    // A task's location is a scheduler path, never a file to delete.
    if (item->kind == ScheduledTask)
        return DeleteTask(item);
    if (!ItemActionable(item))
        return registry ? DeleteKeyFailed : DeleteFileFailed;
    if (!registry) {
        int asUser = ScopeIsUser(item->scope);
        PlatPlace place = NULL;
        if (!HoldPlace(item->location, NULL, 1, asUser, &place))
            return DeleteFileFailed;
        int deleted = PlatDeleteFile(item->location);
        long error = deleted ? (long)PLAT_OK : PlatLastError();
        long cause = PlaceError(asUser, place, error);
        ReleasePlace(place);
        if (deleted)
            return DeleteDone;
        // Windows denies deleting a read-only file to administrators too.
        uint32_t attributes = PlatFileAttributes(item->location);
        if (error == PLAT_ERROR_ACCESS_DENIED && attributes != PLAT_NO_ATTRIBUTES
            && (attributes & PLAT_FILE_READONLY))
            cause = CAUSE_READ_ONLY;
        Failed(cause);
        return DeleteFileFailed;
    }
    PlatKey key = NULL;
    if (Failed(PlatRegCreate(HiveOfItem(item), item->location, PLAT_KEY_WRITE, &key)) != PLAT_OK
        || !key)
        return DeleteKeyFailed;
    long result = Failed(PlatRegDeleteValue(key, item->name));
    PlatRegClose(key);
    return result == PLAT_OK ? DeleteDone : DeleteValueFailed;
}

int DeleteValueIfUnchanged(const AutostartItem *item, uint32_t type, const void *data,
                           uint32_t size)
{
    uint32_t nowType = PLAT_REG_NONE, nowSize = 0;
    void *now = NULL;
    if (!ReadWholeValue(HiveOfItem(item), item->location, item->name, 1, &nowType, &now, &nowSize)) {
        Failed(ValueMayExist(HiveOfItem(item), item->location, item->name)
                   ? PLAT_ERROR_ACCESS_DENIED
                   : PLAT_ERROR_FILE_NOT_FOUND);
        return DeleteValueFailed;
    }
    int same = nowType == type && nowSize == size && (!size || memcmp(now, data, size) == 0);
    PlatFree(now);
    if (!same) {
        Failed(PLAT_ERROR_FILE_NOT_FOUND);
        return DeleteValueFailed;
    }
    return DeleteItem(item, 1);
}

static void Report(StatusSink sink, void *context, const char *text)
{
    if (sink)
        sink(context, text);
}

void ReportFolderIsLink(StatusSink sink, void *context, const char *folder)
{
    char status[TEXT_FIELD_SIZE + 160];
    if (LastStoreError() == CAUSE_NO_USER_RIGHTS)
        TextFormat(status, sizeof status, STATUS_PLACE_NO_USER_RIGHTS, folder);
    else if (LastStoreError() == CAUSE_PLACE_IS_LINK)
        TextFormat(status, sizeof status, STATUS_PLACE_IS_LINK, folder);
    else
        TextFormat(status, sizeof status, STATUS_FOLDER_IS_LINK, folder);
    Report(sink, context, status);
}

// "ERROR: "Tool" was not disabled: administrator rights are needed."
static void ReportApplyFailure(StatusSink sink, void *context, const AutostartItem *item,
                               int32_t wanted)
{
    char status[TEXT_FIELD_SIZE + 128];
    TextFormat(status, sizeof status, STATUS_APPLY_FAILED_FORMAT, item->name,
               wanted ? "enabled" : "disabled",
               item->cut ? "its name is too long to change it here" : CauseText(LastStoreError()));
    Report(sink, context, status);
}

void ReportInexact(StatusSink sink, void *context, const AutostartItem *item)
{
    char status[TEXT_FIELD_SIZE + 96];
    TextFormat(status, sizeof status, STATUS_NAME_INEXACT, item->name);
    Report(sink, context, status);
}

// Moves an item between its enabled and its disabled place; nonzero when a
// step failed. Enabling also clears a "disabled" approval left behind for
// it, or Windows would still not start what the list shows enabled.
static int MoveItem(const AutostartItem *item, int32_t wanted)
{
    int failed = 0;
    int arrived = 0;
    if (item->kind == RegistryValue) {
        int moved = MoveRegistryValue(item, wanted);
        failed = moved != MoveValueDone;
        // Only a value now present in its new place leaves the old one.
        arrived = moved == MoveValueDone || moved == MoveValueCloseFailed;
        if (arrived && DeleteItem(item, 1) != DeleteDone)
            failed = 1;
    } else {
        int moved = MoveShortcut(item, wanted);
        arrived = moved == 0;
        failed = moved == MoveFolderIsLink ? MoveFolderIsLink : !arrived;
    }
    if (arrived && wanted && ClearDisabledApproval(item) != 0)
        failed = 1;
    return failed;
}

int ApplyChanges(const int32_t *desired, int32_t count, StatusSink sink, void *context)
{
    if (count > ItemCatalogue.count)
        count = ItemCatalogue.count;
    ForgetListBackup();
    int stored = 0;
    for (int32_t i = 0; i < count; ++i) {
        AutostartItem *item = &ItemCatalogue.items[i];
        int32_t wanted = desired[i] ? 1 : 0;
        if (wanted == item->enabled)
            continue;
        // Switched off in Windows' startup settings: switched on in place.
        if (item->inexact) {
            ReportInexact(sink, context, item);
            item->enabled = wanted;
            continue;
        }
        // A task is switched in the scheduler, in place.
        if (item->kind == ScheduledTask) {
            stored += ApplyTaskChange(item, wanted, sink, context);
            item->enabled = wanted;
            continue;
        }
        SetStoreError(PLAT_OK);
        int failed = item->cut ? 1
                     : item->logonPlace ? ChangeLogonItem(item, wanted)
                     : item->approvalDisabled && wanted ? ClearDisabledApproval(item)
                                                        : MoveItem(item, wanted);
        if (failed == MoveFolderIsLink)
            ReportFolderIsLink(sink, context,
                               ScopeIsUser(item->scope) ? DISABLED_USER_FOLDER : DISABLED_ALL_FOLDER);
        else if (failed)
            ReportApplyFailure(sink, context, item, wanted);
        stored += !failed;
        item->enabled = wanted;
    }
    return stored;
}
