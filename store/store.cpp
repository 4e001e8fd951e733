// store.cpp - the store operations (see store.h).
#include "reg_file.h"
#include "journal.h"

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

// As MoveShortcut; arrivedAt (TEXT_FIELD_SIZE) receives the file's new path
// once it has moved, else stays empty.
static int MoveShortcutTo(const AutostartItem *item, int32_t desired, char *arrivedAt)
{
    arrivedAt[0] = '\0';
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
    if (HoldPlace(item->location, destination, 1, asUser, &place) != PLAT_OK)
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
    if (moved) {
        TextCopy(arrivedAt, TEXT_FIELD_SIZE, destination);
        return 0;
    }
    Failed(error == CAUSE_PLACE_LINK_MISPLACED || PlatFileExists(item->location)
               ? error
               : (long)PLAT_ERROR_FILE_NOT_FOUND);
    return 1;
}

int MoveShortcut(const AutostartItem *item, int32_t desired)
{
    char arrivedAt[TEXT_FIELD_SIZE];
    return MoveShortcutTo(item, desired, arrivedAt);
}

int DeleteItem(const AutostartItem *item, int registry)
{
    // A task's location is a scheduler path, never a file to delete.
    if (item->kind == ScheduledTask)
        return DeleteTask(item);
    if (!ItemActionable(item) || item->kind == Service)
        return registry ? DeleteKeyFailed : DeleteFileFailed;
    if (!registry) {
        int asUser = ScopeIsUser(item->scope);
        PlatPlace place = NULL;
        if (HoldPlace(item->location, NULL, 1, asUser, &place) != PLAT_OK)
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

// Moves an item between its enabled and its disabled place; nonzero when a
// step failed. Enabling also clears a "disabled" approval left behind for
// it, or Windows would still not start what the list shows enabled.
// movedTo (TEXT_FIELD_SIZE) receives the entry's new place once it lives
// there alone, else stays empty.
// The same, *arrivedOut nonzero once the entry is in its new place (its
// old copy may still be there when the move then failed).
static int MoveItemArrived(const AutostartItem *item, int32_t wanted, char *movedTo,
                           int *arrivedOut)
{
    int failed = 0;
    int arrived = 0;
    movedTo[0] = '\0';
    if (item->kind == RegistryValue) {
        char destination[TEXT_FIELD_SIZE];
        int known = OtherPlace(item, wanted, destination);
        int moved = MoveRegistryValue(item, wanted);
        // Only a value now present in its new place leaves the old one; a
        // write whose key then failed to close has written: once the old
        // one is gone, the move is done.
        arrived = moved == MoveValueDone || moved == MoveValueCloseFailed;
        failed = !arrived || DeleteItem(item, 1) != DeleteDone;
        if (!failed && known)
            TextCopy(movedTo, TEXT_FIELD_SIZE, destination);
    } else {
        int moved = MoveShortcutTo(item, wanted, movedTo);
        arrived = moved == 0;
        failed = moved == MoveFolderIsLink ? MoveFolderIsLink : !arrived;
    }
    if (arrived && wanted && ClearDisabledApproval(item) != 0)
        failed = 1;
    *arrivedOut = arrived;
    return failed;
}

static int MoveItem(const AutostartItem *item, int32_t wanted, char *movedTo)
{
    int arrived = 0;
    return MoveItemArrived(item, wanted, movedTo, &arrived);
}

// ---- Windows' switch with a disable, and came-back rows --------------------

// Nonzero when Windows' switch governs the item's place (Run, the Startup
// folders): a disable there switches it off too.
static int SwitchGoverns(const AutostartItem *item)
{
    PlatHive hive = PLAT_HKCU;
    char path[TEXT_FIELD_SIZE];
    return (item->kind == RegistryValue || item->kind == Shortcut) && ItemActionable(item)
           && ApprovalList(item, &hive, path);
}

// Saves the item's approval value as it is (or its absence) into a new
// backup; 0 with held filled, else 1 with the cause (nothing is held).
static int BackupApproval(const AutostartItem *item, HeldApproval *held, char *backupFile,
                          const char *what = "Disabled")
{
    if (!HoldApproval(item, held))
        return SetStoreError(CAUSE_APPROVAL_UNREAD), 1;
    BackupValue old = {held->hive, held->path, item->name, held->type, held->data, held->size,
                       held->data == NULL};
    int made = NameCarried(item->name) ? BackupValues(what, &old, 1, backupFile)
                                        : (SetStoreError(CAUSE_NAME_NOT_CARRIED), BackupFailed);
    if (made == BackupMade)
        return 0;
    ForgetApproval(held);
    backupFile[0] = '\0';
    if (made != BackupFailed || LastStoreError() != CAUSE_NAME_NOT_CARRIED)
        SetStoreError(made == BackupFolderIsLink ? CAUSE_PLACE_IS_LINK : CAUSE_BACKUP_FAILED);
    return 1;
}

// BackupApproval into the outcome's backup; a backup folder that is a link
// is the outcome's refusal. Nonzero when nothing was saved.
static int BackupApprovalFor(const AutostartItem *item, HeldApproval *held, StoreOutcome *outcome)
{
    if (!BackupApproval(item, held, outcome->backup))
        return 0;
    if (LastStoreError() == CAUSE_PLACE_IS_LINK) {
        outcome->result = ResultFolderIsLink;
        outcome->folder = BACKUP_FOLDER;
    }
    return 1;
}

// A disable in a place Windows' switch governs: the switch's old value is
// backed up, the entry moved aside, and only then the switch set off, so a
// program that writes its entry back is still not started. A failed move
// leaves the switch alone; a switch not set leaves the move done, said.
static int DisableWithSwitch(const AutostartItem *item, char *movedTo, StoreOutcome *outcome)
{
    // A name no .reg line carries cannot have its switch saved: the entry is
    // still moved aside, as ever, and the switch said not set.
    if (!NameCarried(item->name)) {
        int failed = MoveItem(item, 0, movedTo);
        if (!failed) {
            outcome->result = ResultSwitchNotSet;
            outcome->cause = CAUSE_NAME_NOT_CARRIED;
        }
        return failed;
    }
    HeldApproval held;
    if (BackupApprovalFor(item, &held, outcome))
        return 1;
    int failed = MoveItem(item, 0, movedTo);
    if (failed) {
        // The switch is left as it was: its saved copy backs up nothing.
        long cause = LastStoreError();
        PlatDeleteFile(outcome->backup);
        outcome->backup[0] = '\0';
        SetStoreError(cause);
    } else if (SetApprovalOff(item, &held) != 0) {
        outcome->result = ResultSwitchNotSet;
        outcome->cause = LastStoreError();
    }
    ForgetApproval(&held);
    return failed;
}

int DisableEntryAside(const AutostartItem *item, char *movedTo, StoreOutcome *outcome)
{
    SetStoreError(PLAT_OK);
    return SwitchGoverns(item) ? DisableWithSwitch(item, movedTo, outcome)
                               : MoveItem(item, 0, movedTo);
}

int EnableEntryBack(const AutostartItem *item, char *movedTo)
{
    SetStoreError(PLAT_OK);
    return MoveItem(item, 1, movedTo);
}

// Disable of a came-back row (on: Windows' switch is not off). Both copies
// stay, for the one written back may be the newer (an updater's new path):
// Windows' switch is set off in place, its old value saved first, so that
// neither starts; Enable then asks which copy to keep.
static int DisableCameBack(AutostartItem *item, StoreOutcome *outcome)
{
    HeldApproval held;
    if (BackupApprovalFor(item, &held, outcome))
        return 1;
    int failed = SetApprovalOff(item, &held) != 0;
    ForgetApproval(&held);
    if (!failed) {
        // The record says what now holds it off, until the next list.
        outcome->cameBack = CameBackSwitchedOff;
        item->approvalDisabled = 1;
        item->offSince = PlatFileTimeNow();
    }
    return failed;
}

// Nonzero while the item's value or file may still be in its place.
static int StillThere(const AutostartItem *item)
{
    return item->kind == RegistryValue ? ValueMayExist(HiveOfItem(item), item->location, item->name)
                                       : PlatFileExists(item->location);
}

// Puts a deleted live copy back after the copy disabled here could not take
// its place: the value as read, or the file from its backup copy; never
// over what another program wrote there meanwhile. Nonzero when put back.
static int PutBackLive(const AutostartItem *item, uint32_t type, const void *data,
                       uint32_t size, const char *backupFile)
{
    if (item->kind != RegistryValue)
        return PlatCopyFile(backupFile, item->location);
    PlatHive hive = HiveOfItem(item);
    if (KeyMayHoldValue(hive, item->location, item->name))
        return 0;
    PlatKey key = NULL;
    int written = 0;
    if (PlatRegCreate(hive, item->location, PLAT_KEY_WRITE, &key) == PLAT_OK && key) {
        written = PlatRegWriteRaw(key, item->name, type, data, size) == PLAT_OK;
        PlatRegClose(key);
    }
    return written;
}

// Enable of a came-back row (off: Windows' switch keeps the copy written
// back off). The user chooses the copy to keep; the other is saved in a
// backup before it is deleted, and only then is the switch cleared.
static int EnableCameBack(AutostartItem *item, const FrontEnd *front, char *movedTo,
                          StoreOutcome *outcome)
{
    AutostartItem *copy = (AutostartItem *)PlatAllocZero(sizeof *copy);
    if (!copy || !CameBackCopy(item, copy)) {
        PlatFree(copy);
        return SetStoreError(copy ? (long)PLAT_ERROR_PATH_NOT_FOUND : (long)PLAT_ERROR_OUTOFMEMORY), 1;
    }
    char question[2 * COMMAND_FIELD_SIZE + TEXT_FIELD_SIZE + 256];
    TextFormat(question, sizeof question, CAME_BACK_QUESTION, ItemShownName(item), item->command,
               item->cameBackCommand);
    int restore = AskFrontEnd(front, question);
    int failed = 0;
    if (!restore) {
        // The copy disabled here is saved, with the switch as it is (off,
        // and since when), and deleted; only then is the switch cleared. A
        // switch that stays off leaves the entry off, its copy in the backup.
        int removed = RemoveItemWithBackup(copy, outcome->backup);
        failed = removed != RemoveDone;
        if (removed == RemoveFolderIsLink)
            SetStoreError(CAUSE_PLACE_IS_LINK);
        else if (failed && LastStoreError() == PLAT_OK)
            SetStoreError(CAUSE_BACKUP_FAILED);
        if (!failed && ClearDisabledApproval(item) != 0) {
            failed = 1;
            outcome->cameBack = CameBackCopyInBackup;
        } else {
            outcome->cameBack = CameBackKeptLive;
        }
    } else {
        // The live copy is saved and deleted, then the copy disabled here
        // moved into its place, which clears the switch; a move that fails
        // puts the live copy back.
        uint32_t type = PLAT_REG_NONE, size = 0;
        void *data = NULL;
        int read = item->kind != RegistryValue
                   || ReadWholeValue(HiveOfItem(item), item->location, item->name, 1, &type, &data,
                                     &size);
        int removed = read ? RemoveItemWithBackup(item, outcome->backup) : RemoveBackupFailed;
        failed = removed != RemoveDone;
        if (removed == RemoveFolderIsLink)
            SetStoreError(CAUSE_PLACE_IS_LINK);
        else if (failed && LastStoreError() == PLAT_OK)
            SetStoreError(CAUSE_BACKUP_FAILED);
        if (!failed) {
            char arrivedAt[TEXT_FIELD_SIZE];
            int arrived = 0;
            failed = MoveItemArrived(copy, 1, arrivedAt, &arrived);
            // Not arrived and still in the disabled place: the entries go
            // back as they were; a live copy that cannot go back is said to
            // be in the backup. Arrived, it is enabled, its old copy left.
            if (failed) {
                long cause = LastStoreError();
                if (arrived)
                    outcome->cameBack = CameBackRestoredCopyLeft;
                else if (arrivedAt[0] || !StillThere(copy)
                         || !PutBackLive(item, type, data, size, outcome->backup))
                    outcome->cameBack = CameBackLiveInBackup;
                SetStoreError(cause);
            } else {
                TextCopy(item->command, sizeof item->command, copy->command);
            }
            TextCopy(movedTo, TEXT_FIELD_SIZE, arrivedAt);
        }
        PlatFree(data);
        if (!failed)
            outcome->cameBack = CameBackRestored;
    }
    if (!failed)
        item->cameBack = 0;
    else if (outcome->cameBack != CameBackLiveInBackup
             && outcome->cameBack != CameBackRestoredCopyLeft
             && outcome->cameBack != CameBackCopyInBackup)
        outcome->cameBack = CameBackNone;
    PlatFree(copy);
    return failed;
}

// The user's Yes to enabling for every user an entry any user may have placed.
int ConfirmAnyUser(const AutostartItem *item, const FrontEnd *front)
{
    char question[TEXT_FIELD_SIZE + 256];
    TextFormat(question, sizeof question, ENABLE_ANY_USER_QUESTION, item->name);
    return AskFrontEnd(front, question);
}

// One change of one entry, its outcome told; the record takes the state
// wanted unless the user declined.
static OutcomeResult SwitchEntry(AutostartItem *item, int32_t wanted, const FrontEnd *front)
{
    StoreOutcome outcome;
    BeginOutcome(&outcome, item, wanted ? ActionEnable : ActionDisable);
    if (wanted && ItemPlacedByAnyUser(item) && !ConfirmAnyUser(item, front)) {
        outcome.result = ResultDeclined;
        outcome.cause = CAUSE_ANY_USER;
        TellOutcome(front, &outcome);
        return outcome.result;
    }
    // Only a front end with a name keeps a history.
    int journaled = front && front->name;
    JournalRecord *noted = journaled ? (JournalRecord *)PlatAllocZero(sizeof *noted) : NULL;
    if (noted)
        JournalBegin(noted, wanted ? JournalEnable : JournalDisable, item);
    // An enable of a Run-family value is undone exactly from a backup of
    // the value, the place it goes to and its switch, all as they were.
    char enabled[TEXT_FIELD_SIZE] = "";
    AutostartItem *goesTo = noted && wanted && item->kind == RegistryValue && !item->logonPlace
                                && !item->cameBack && ItemActionable(item)
                                ? (AutostartItem *)PlatAllocZero(sizeof *goesTo)
                                : NULL;
    if (goesTo) {
        *goesTo = *item;
        if (LocationDisabled(item->location))
            SiblingLocation(item->location, goesTo->location);
        if (BackupEntryValues("Enabled", item, goesTo, enabled) != PLAT_OK)
            enabled[0] = '\0';
        PlatFree(goesTo);
    } else if (noted && wanted && item->kind == Shortcut && item->approvalDisabled
               && !item->cameBack && ItemActionable(item)) {
        // A Startup file switched on in place: its switch alone changes.
        HeldApproval held;
        if (BackupApproval(item, &held, enabled, "Enabled") == 0)
            ForgetApproval(&held);
        else
            enabled[0] = '\0';
        SetStoreError(PLAT_OK);
    }
    SetStoreError(PLAT_OK);
    int failed = 1;
    char movedTo[TEXT_FIELD_SIZE] = "";
    // A delay stopped is its task's removal, in the history too: undone,
    // the entry starts later again.
    int stopsLater = item->startLater && !wanted;
    AutostartItem *laterRow =
        stopsLater ? (AutostartItem *)PlatAllocZero(sizeof *laterRow) : NULL;
    if (item->inexact)
        SetStoreError(CAUSE_NAME_INEXACT);
    else if (item->startLater && !wanted && !laterRow)
        SetStoreError(PLAT_ERROR_OUTOFMEMORY);
    else if (item->startLater && !wanted) // disabled already: its task alone starts it
        failed = StopStartingLater(item, laterRow, outcome.backup);
    else if (item->kind == ScheduledTask) // switched in the scheduler, in place
        failed = SwitchTask(item, wanted);
    else if (item->kind == PackagedApp) // switched by its State, in place
        failed = SwitchPackagedApp(item, wanted, outcome.backup);
    else if (item->kind == Service) // through the SCM, in place
        failed = SwitchService(item, wanted, outcome.backup);
    else if (item->cut)
        SetStoreError(CAUSE_NAME_CUT);
    else if (item->logonPlace)
        failed = ChangeLogonItem(item, wanted, outcome.backup);
    else if (item->cameBack && wanted) // a copy here and one written back: one is kept
        failed = EnableCameBack(item, front, movedTo, &outcome);
    else if (item->cameBack)
        failed = DisableCameBack(item, &outcome);
    else if (item->approvalDisabled && wanted) // off in Windows' settings: on in place
        failed = ClearDisabledApproval(item);
    else if (!wanted && SwitchGoverns(item))
        failed = DisableWithSwitch(item, movedTo, &outcome);
    else
        failed = MoveItem(item, wanted, movedTo);
    // The record follows the entry, so a change made before the next list
    // arrives acts on where it lives now: a logon place's row between its
    // key and the "-" key beside it.
    if (movedTo[0])
        TextCopy(item->location, sizeof item->location, movedTo);
    else if (!failed && item->logonPlace && LocationDisabled(item->location) == (wanted != 0)
             && SiblingLocation(item->location, movedTo))
        TextCopy(item->location, sizeof item->location, movedTo);
    if (!failed && wanted)
        item->approvalDisabled = 0;
    if (failed == MoveFolderIsLink) {
        outcome.result = ResultFolderIsLink;
        outcome.folder = ScopeIsUser(item->scope) ? DISABLED_USER_FOLDER : DISABLED_ALL_FOLDER;
    } else if (failed && outcome.result == ResultDone) { // not said more closely already
        outcome.result = ResultRefused;
    }
    if (failed)
        outcome.cause = LastStoreError();
    else
        item->enabled = wanted;
    if (!failed && noted && stopsLater) {
        JournalBegin(noted, JournalRemove, laterRow);
        noted->undoBy = UndoByPutTask;
        outcome.journalCause = outcome.backup[0] ? JournalChangeDone(noted, NULL, outcome.backup,
                                                                     front ? front->name : NULL)
                                                 : (long)PLAT_OK;
    } else if (!failed && noted) {
        // A list value's row and a packaged app's State come back exactly
        // from the backup of the values as they were; others by switching:
        // a service too, for the SCM reads its key's values only at boot.
        noted->undoBy = enabled[0] || (outcome.backup[0] && (item->logonPlace || item->kind == PackagedApp))
                            ? UndoByReg
                            : UndoBySwitch;
        outcome.journalCause = JournalChangeDone(noted, item, enabled[0] ? enabled : outcome.backup,
                                                 front ? front->name : NULL);
    } else if (!failed && journaled) {
        outcome.journalCause = PLAT_ERROR_OUTOFMEMORY;
    }
    if (failed && enabled[0])
        PlatDeleteFile(enabled); // nothing changed: nothing to undo
    PlatFree(laterRow);
    PlatFree(noted);
    TellOutcome(front, &outcome);
    return outcome.result;
}

int ApplyChanges(const int32_t *desired, int32_t count, const FrontEnd *front)
{
    if (count > ItemCatalogue.count)
        count = ItemCatalogue.count;
    int stored = 0;
    for (int32_t i = 0; i < count; ++i) {
        AutostartItem *item = &ItemCatalogue.items[i];
        int32_t wanted = desired[i] ? 1 : 0;
        if (wanted == item->enabled)
            continue;
        OutcomeResult result = SwitchEntry(item, wanted, front);
        // Moved aside even when Windows' switch was not set.
        stored += result == ResultDone || result == ResultSwitchNotSet;
    }
    return stored;
}

OutcomeResult ApplyChange(int32_t index, int32_t wanted, const FrontEnd *front)
{
    if (index < 0 || index >= ItemCatalogue.count)
        return ResultRefused;
    AutostartItem *item = &ItemCatalogue.items[index];
    wanted = wanted ? 1 : 0;
    if (wanted != item->enabled)
        return SwitchEntry(item, wanted, front);
    StoreOutcome outcome;
    BeginOutcome(&outcome, item, wanted ? ActionEnable : ActionDisable);
    outcome.result = ResultAlready;
    TellOutcome(front, &outcome);
    return outcome.result;
}

OutcomeResult RemoveEntry(const AutostartItem *item, const FrontEnd *front)
{
    StoreOutcome outcome;
    BeginOutcome(&outcome, item, ActionRemove);
    // Only a front end with a name keeps a history.
    int journaled = front && front->name;
    JournalRecord *noted = journaled ? (JournalRecord *)PlatAllocZero(sizeof *noted) : NULL;
    if (noted) {
        JournalBegin(noted, JournalRemove, item);
        noted->undoBy = item->kind == Shortcut        ? UndoByPutFile
                        : item->kind == ScheduledTask ? UndoByPutTask
                                                      : UndoByReg;
    }
    SetStoreError(PLAT_OK);
    // A delayed entry's task goes first, saved; the entry is not removed
    // while its task is left to start it, and a failed Remove of the entry
    // registers its task again.
    char *laterXml = NULL, laterBackup[TEXT_FIELD_SIZE] = "";
    AutostartItem *laterRow =
        item->startLater ? (AutostartItem *)PlatAllocZero(sizeof *laterRow) : NULL;
    int laterTaken = !item->startLater ? RemoveDone
                     : laterRow        ? RemoveLaterTask(item, laterRow, &laterXml, laterBackup)
                                       : (SetStoreError(PLAT_ERROR_OUTOFMEMORY), RemoveRefused);
    // A packaged app is never removed here: its package holds its task.
    int removed = laterTaken != RemoveDone ? laterTaken
                  : item->kind == PackagedApp || item->kind == Service
                      ? (SetStoreError(RemoveRefusalCause(item)), RemoveRefused)
                  : item->kind == ScheduledTask
                      ? RemoveTaskWithBackup(item, outcome.backup, outcome.runAs)
                      : RemoveItemWithBackup(item, outcome.backup);
    if (laterXml && removed != RemoveDone) {
        long cause = LastStoreError();
        // Neither back: the entry starts at logon rather than not at all.
        char movedTo[TEXT_FIELD_SIZE];
        if (PlatTaskRegister(item->laterTask, laterXml, NULL) != PLAT_OK)
            EnableEntryBack(item, movedTo);
        SetStoreError(cause);
    }
    PlatFree(laterXml);
    long cause = LastStoreError();
    if (removed == RemoveRefused && item->inexact)
        cause = CAUSE_NAME_INEXACT;
    else if (removed == RemoveRefused && item->cut && cause == PLAT_OK)
        cause = item->kind == ScheduledTask ? CAUSE_TASK_PATH_CUT : CAUSE_NAME_CUT;
    else if (removed == RemoveNameNotCarried)
        cause = CAUSE_NAME_NOT_CARRIED;
    outcome.cause = removed == RemoveDone ? (long)PLAT_OK : cause;
    switch (removed) {
    case RemoveDone: outcome.result = ResultDone; break;
    case RemoveDeleteFailed: outcome.result = ResultKept; break;
    case RemoveFolderIsLink:
        outcome.result = ResultFolderIsLink;
        outcome.folder = BACKUP_FOLDER;
        break;
    case RemoveBackupFailed: outcome.result = ResultBackupFailed; break;
    default: outcome.result = ResultRefused; break;
    }
    if (outcome.result == ResultDone && noted) {
        // Its id stays the one it had: an undo puts it back there.
        ItemId(item, NULL, noted->id, sizeof noted->id);
        outcome.journalCause = JournalChangeDone(noted, NULL, outcome.backup, front ? front->name : NULL);
        // Its task is a change of its own in the history, undone apart:
        // both undone, the entry starts later again.
        if (laterRow && outcome.journalCause == PLAT_OK) {
            JournalBegin(noted, JournalRemove, laterRow);
            noted->undoBy = UndoByPutTask;
            outcome.journalCause = JournalChangeDone(noted, NULL, laterBackup, front->name);
        }
    } else if (outcome.result == ResultDone && journaled) {
        outcome.journalCause = PLAT_ERROR_OUTOFMEMORY;
    }
    PlatFree(laterRow);
    PlatFree(noted);
    TellOutcome(front, &outcome);
    return outcome.result;
}
