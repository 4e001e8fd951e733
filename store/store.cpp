// store.cpp - the store operations (see store.h).
#include "store.h"

#include <string.h>

// The value's bytes as stored, or its text through the code page.
static long QueryValue(PlatKey key, const char *name, int raw, uint32_t *type, void *data,
                       uint32_t *size)
{
    return raw ? PlatRegReadRaw(key, name, type, data, size)
               : PlatRegQueryValue(key, name, type, data, size);
}

int ReadWholeValue(PlatHive hive, const char *path, const char *name, int raw, uint32_t *type,
                   void **data, uint32_t *size)
{
    *data = NULL;
    PlatKey key = NULL;
    if (PlatRegOpenRead(hive, path, &key) != PLAT_OK || !key)
        return 0;
    int ok = 0;
    // The value may grow between asking its size and reading it: ask again.
    for (int attempt = 0; attempt < 4 && !ok; ++attempt) {
        uint32_t needed = 0;
        if (QueryValue(key, name, raw, type, NULL, &needed) != PLAT_OK)
            break;
        void *buffer = PlatAllocZero(needed ? needed : 1);
        if (!buffer)
            break;
        uint32_t got = needed;
        long result = QueryValue(key, name, raw, type, needed ? buffer : NULL, &got);
        if (result == PLAT_OK && got <= needed) {
            *data = buffer;
            *size = got;
            ok = 1;
        } else {
            PlatFree(buffer);
            if (result != PLAT_ERROR_MORE_DATA)
                break;
        }
    }
    PlatRegClose(key);
    return ok;
}

int ValueMayExist(PlatHive hive, const char *path, const char *name)
{
    PlatKey key = NULL;
    if (PlatRegOpenRead(hive, path, &key) != PLAT_OK || !key)
        return 1;
    uint32_t size = 0;
    long result = PlatRegQueryValue(key, name, NULL, NULL, &size);
    PlatRegClose(key);
    return result != PLAT_ERROR_FILE_NOT_FOUND;
}

int KeyMayHoldValue(PlatHive hive, const char *path, const char *name)
{
    PlatKey key = NULL;
    long opened = PlatRegOpenRead(hive, path, &key);
    if (opened == PLAT_ERROR_FILE_NOT_FOUND)
        return 0;
    if (opened != PLAT_OK || !key)
        return 1;
    uint32_t size = 0;
    long result = PlatRegQueryValue(key, name, NULL, NULL, &size);
    PlatRegClose(key);
    return result != PLAT_ERROR_FILE_NOT_FOUND;
}

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

// The Windows error behind the last failing step of a store operation, so
// the status can name the cause. Per thread: the scan worker's folder
// holds set it too.
static thread_local long StoreError = PLAT_OK;

static long Failed(long code)
{
    StoreError = code;
    return code;
}

long LastStoreError(void)
{
    return StoreError;
}

long SetStoreError(long code)
{
    return Failed(code);
}

const char *CauseText(long code)
{
    switch (code) {
    case PLAT_ERROR_ACCESS_DENIED: return "administrator rights are needed";
    case PLAT_ERROR_FILE_NOT_FOUND:
    case PLAT_ERROR_PATH_NOT_FOUND:
    case PLAT_ERROR_KEY_DELETED:
        return "another program changed it since the list was read";
    case PLAT_ERROR_ALREADY_EXISTS:
    case 80: // ERROR_FILE_EXISTS
        return "an entry of that name is already in the other place";
    case CAUSE_WINDOWS_OWN: return NOTE_WINDOWS_OWN;
    case CAUSE_LOGON_NEEDS_PROGRAM: return "the logon needs a program here";
    case CAUSE_NOT_A_LIST: return "its value is not a list of programs";
    case CAUSE_BACKUP_FAILED: return "the backup could not be written";
    case CAUSE_BACKUP_FOLDER_IS_LINK: return "the backup folder is a link to another place";
    case CAUSE_READ_ONLY: return "the file is read-only";
    case CAUSE_PLACE_IS_LINK: return "a folder on its way is a link to another place";
    case CAUSE_NO_USER_RIGHTS:
        return "its folder lies outside the user's profile and the user's ordinary rights to work "
               "there could not be taken";
    case CAUSE_USER_DENIED: return "the user's ordinary rights do not reach its folder";
    case CAUSE_PLACE_LINK_MISPLACED:
        return "a folder on its way became a link to another place, and the file could not be "
               "moved back from there";
    case CAUSE_LOGON_NEEDS_USERINIT: return "the logon needs userinit.exe here";
    case CAUSE_LIST_LACKS_OWN:
        return "its list lacks Windows' own program, which it would take the place of";
    case CAUSE_LIST_ITEM_REPEATED:
        return "it is in its list more than once; change the value in the registry editor";
    case CAUSE_LIST_IN_BOTH:
        return "it could not be taken out of its list, nor taken back from the other: it is in both "
               "now (the backup holds both as they were)";
    default: return "Windows refused the change";
    }
}

int MoveRegistryValue(const AutostartItem *item, int32_t desired)
{
    StoreError = PLAT_OK;
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
    if (StoreError == CAUSE_NO_USER_RIGHTS)
        TextFormat(status, sizeof status, STATUS_PLACE_NO_USER_RIGHTS, folder);
    else if (StoreError == CAUSE_PLACE_IS_LINK)
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
               item->cut ? "its name is too long to change it here" : CauseText(StoreError));
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
        StoreError = PLAT_OK;
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
