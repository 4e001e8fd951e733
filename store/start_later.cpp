// start_later.cpp - an entry started some time after the logon by a logon
// task of ours (the catalogue's start_later.cpp says why a task), and
// started at logon again.
//
// The order keeps the entry starting one way whatever step fails: the task
// is registered and read back before the entry is disabled, and the entry
// is enabled again before its task is deleted. A scheduler that does not
// give the task back as written (Wine's lists no triggers) is not trusted
// with the entry: the task is taken away and the entry stays as it was.
#include "journal.h"
#include "store.h"

#include <string.h>

#define START_LATER_TRIES 20 // names "Tool", "Tool (2)" ... before giving up

// The entry's id where it lives while it starts later: disabled here.
static int DisabledId(const AutostartItem *item, char *id)
{
    AutostartItem *aside = (AutostartItem *)PlatAllocZero(sizeof *aside);
    if (!aside)
        return 0;
    *aside = *item;
    int known = 1;
    if (item->kind == RegistryValue && !LocationDisabled(item->location)) {
        known = SiblingLocation(item->location, aside->location);
    } else if (item->kind == Shortcut && item->enabled && !item->startLater) {
        char folder[TEXT_FIELD_SIZE];
        known = MakeDisabledFolder(ScopeIsUser(item->scope), folder)
                && TextFormat(aside->location, sizeof aside->location, "%s\\%s", folder,
                              item->name);
    }
    known = known && ItemId(aside, NULL, id, ITEM_ID_SIZE);
    PlatFree(aside);
    return known;
}

// Registers the task at the first free path and reads it back: PLAT_OK
// with its path, or the cause (the task then taken away again, or, when
// even that failed, CAUSE_LATER_TWICE: it is left registered).
static long RegisterLaterTask(const AutostartItem *item, const char *xml, const char *id,
                              const char *program, const char *arguments, char *path)
{
    long result = PLAT_ERROR_ALREADY_EXISTS;
    for (int n = 1; n <= START_LATER_TRIES && result == PLAT_ERROR_ALREADY_EXISTS; ++n) {
        if (!StartLaterTaskPath(item, n, path))
            return CAUSE_LATER_COMMAND;
        result = PlatTaskRegister(path, xml, NULL);
    }
    if (result != PLAT_OK)
        return result;
    char *back = NULL;
    uint32_t size = 0;
    int32_t seconds = 0;
    long read = PlatTaskRead(path, &back, &size, NULL);
    int same = read == PLAT_OK && StartLaterTaskMatches(back, size, id, program, arguments, &seconds);
    PlatFree(back);
    // A task switched off in the scheduler stays off through a new delay
    // or an edit: the row stays as the user left it.
    if (same && item->startLater && !item->enabled) {
        long off = PlatTaskSetEnabled(path, 0);
        if (off == PLAT_OK)
            return PLAT_OK;
        return PlatTaskDelete(path) == PLAT_OK ? off : (long)CAUSE_LATER_TWICE;
    }
    if (same)
        return PLAT_OK;
    // Not as written: never trusted with the entry.
    return PlatTaskDelete(path) == PLAT_OK ? (long)CAUSE_LATER_NOT_KEPT : (long)CAUSE_LATER_TWICE;
}

long RegisterEditedLaterTask(const AutostartItem *item, const char *command, char *path)
{
    AutostartItem *edited = (AutostartItem *)PlatAllocZero(sizeof *edited);
    char *program = (char *)PlatAllocZero(2 * COMMAND_FIELD_SIZE + START_LATER_XML_SIZE);
    long cause = edited && program ? (long)PLAT_OK : (long)PLAT_ERROR_OUTOFMEMORY;
    if (cause == PLAT_OK) {
        *edited = *item;
        edited->commandCut = !TextCopy(edited->command, sizeof edited->command, command);
        char *arguments = program + COMMAND_FIELD_SIZE, *xml = arguments + COMMAND_FIELD_SIZE;
        char id[ITEM_ID_SIZE], user[TEXT_FIELD_SIZE];
        int userEntry = ScopeIsUser(item->scope);
        cause = DelayRefusalCause(edited, item->startLater);
        if (cause != PLAT_OK)
            ;
        else if (edited->commandCut || !StartLaterAction(edited, program, arguments)
                 || !ItemId(item, NULL, id, sizeof id))
            cause = CAUSE_LATER_COMMAND;
        else if (userEntry && !PlatUserName(user, sizeof user))
            cause = PLAT_ERROR_ACCESS_DENIED;
        else if (!StartLaterXml(id, item->startLater, program, arguments,
                                userEntry ? user : NULL, xml, START_LATER_XML_SIZE))
            cause = CAUSE_LATER_COMMAND;
        else
            cause = RegisterLaterTask(item, xml, id, program, arguments, path);
    }
    PlatFree(program);
    PlatFree(edited);
    return cause;
}

int StopStartingLater(AutostartItem *item, AutostartItem *task, char *backup)
{
    char *xml = NULL;
    int removed = RemoveLaterTask(item, task, &xml, backup);
    PlatFree(xml);
    if (removed == RemoveBackupFailed || removed == RemoveFolderIsLink)
        return SetStoreError(removed == RemoveBackupFailed ? CAUSE_BACKUP_FAILED
                                                           : CAUSE_BACKUP_FOLDER_IS_LINK),
               1;
    // Gone already is as wanted.
    if (removed != RemoveDone && LastStoreError() != PLAT_ERROR_FILE_NOT_FOUND)
        return 1;
    if (removed != RemoveDone)
        backup[0] = '\0';
    SetStoreError(PLAT_OK);
    item->startLater = 0;
    item->laterTask[0] = '\0';
    return 0;
}

int RemoveLaterTask(const AutostartItem *item, AutostartItem *task, char **xml, char *backup)
{
    *xml = NULL;
    backup[0] = '\0';
    memset(task, 0, sizeof *task);
    task->kind = ScheduledTask;
    TextCopy(task->scope, sizeof task->scope, SCOPE_ALL);
    TextCopy(task->location, sizeof task->location, item->laterTask);
    const char *name = strrchr(item->laterTask, '\\');
    TextCopy(task->name, sizeof task->name, name ? name + 1 : item->laterTask);
    uint32_t size = 0;
    long read = PlatTaskRead(item->laterTask, xml, &size, NULL);
    int removed = read == PLAT_OK ? RemoveTaskWithBackup(task, backup, NULL)
                                  : (SetStoreError(read), RemoveRefused);
    if (removed != RemoveDone) {
        PlatFree(*xml);
        *xml = NULL;
    }
    return removed;
}

// seconds > 0: the task first, then the entry aside (or, when it starts
// later already, the old task away); nonzero when not done.
static int StartLater(AutostartItem *item, int32_t seconds, StoreOutcome *o)
{
    char *program = (char *)PlatAllocZero(2 * COMMAND_FIELD_SIZE + START_LATER_XML_SIZE);
    if (!program)
        return SetStoreError(PLAT_ERROR_OUTOFMEMORY), 1;
    char *arguments = program + COMMAND_FIELD_SIZE;
    char *xml = arguments + COMMAND_FIELD_SIZE;
    char id[ITEM_ID_SIZE], user[TEXT_FIELD_SIZE], path[TEXT_FIELD_SIZE];
    int userEntry = ScopeIsUser(item->scope);
    long cause = PLAT_OK;
    if (!StartLaterAction(item, program, arguments) || !DisabledId(item, id))
        cause = CAUSE_LATER_COMMAND;
    else if (userEntry && !PlatUserName(user, sizeof user))
        cause = PLAT_ERROR_ACCESS_DENIED;
    else if (!StartLaterXml(id, seconds, program, arguments, userEntry ? user : NULL, xml,
                            START_LATER_XML_SIZE))
        cause = CAUSE_LATER_COMMAND;
    else
        cause = RegisterLaterTask(item, xml, id, program, arguments, path);
    PlatFree(program);
    if (cause != PLAT_OK)
        return SetStoreError(cause), 1;

    char movedTo[TEXT_FIELD_SIZE] = "";
    if (item->startLater) {
        // Another delay: the old task goes, or else the new one.
        long old = PlatTaskDelete(item->laterTask);
        if (old != PLAT_OK && old != PLAT_ERROR_FILE_NOT_FOUND)
            return SetStoreError(PlatTaskDelete(path) == PLAT_OK ? old : (long)CAUSE_LATER_TWICE), 1;
    } else if (DisableEntryAside(item, movedTo, o)) {
        // Still where it was, starting at logon: the task must not start it too.
        cause = LastStoreError();
        return SetStoreError(PlatTaskDelete(path) == PLAT_OK ? cause : (long)CAUSE_LATER_TWICE), 1;
    }
    if (movedTo[0])
        TextCopy(item->location, sizeof item->location, movedTo);
    item->startLater = seconds;
    TextCopy(item->laterTask, sizeof item->laterTask, path);
    item->enabled = 1;
    return 0;
}

// seconds 0: the entry enabled first, then its task deleted; a task that
// stays has the entry disabled again.
static int StartAtLogon(AutostartItem *item, StoreOutcome *o)
{
    char movedTo[TEXT_FIELD_SIZE] = "";
    if (EnableEntryBack(item, movedTo))
        return 1; // the task still starts it
    long deleted = PlatTaskDelete(item->laterTask);
    if (deleted == PLAT_OK || deleted == PLAT_ERROR_FILE_NOT_FOUND) {
        if (movedTo[0])
            TextCopy(item->location, sizeof item->location, movedTo);
        item->startLater = 0;
        item->laterTask[0] = '\0';
        item->approvalDisabled = 0;
        return 0;
    }
    // Twice is worse than later: aside again, as it was.
    AutostartItem *back = (AutostartItem *)PlatAllocZero(sizeof *back);
    int again = back != NULL;
    if (back) {
        *back = *item;
        back->enabled = 1;
        back->startLater = 0;
        if (movedTo[0])
            TextCopy(back->location, sizeof back->location, movedTo);
        again = DisableEntryAside(back, movedTo, o) == 0;
        PlatFree(back);
    }
    SetStoreError(again ? deleted : (long)CAUSE_LATER_TWICE);
    return 1;
}

OutcomeResult DelayEntry(int32_t index, int32_t seconds, const FrontEnd *front)
{
    AutostartItem *item = CatalogueItem(index);
    if (!item)
        return ResultRefused;
    StoreOutcome outcome;
    BeginOutcome(&outcome, item, ActionDelay);
    outcome.delay = seconds;
    SetStoreError(PLAT_OK);
    long refused = DelayRefusalCause(item, seconds);
    if (refused != PLAT_OK || item->startLater == seconds) {
        outcome.result = refused != PLAT_OK ? ResultRefused : ResultAlready;
        outcome.cause = refused;
        TellOutcome(front, &outcome);
        return outcome.result;
    }
    // An all users' shortcut started later waits in the shared folder of
    // disabled items, where any user may have put it: asked, as Enable asks.
    if (!seconds && item->kind == Shortcut && !ScopeIsUser(item->scope)
        && !ConfirmAnyUser(item, front)) {
        outcome.result = ResultDeclined;
        outcome.cause = CAUSE_ANY_USER;
        TellOutcome(front, &outcome);
        return outcome.result;
    }
    // Only a front end with a name keeps a history.
    JournalRecord *noted =
        front && front->name ? (JournalRecord *)PlatAllocZero(sizeof *noted) : NULL;
    if (noted) {
        JournalBegin(noted, JournalDelay, item);
        noted->stateBefore = item->startLater;
        noted->undoBy = UndoByDelay;
    }
    int failed = seconds ? StartLater(item, seconds, &outcome) : StartAtLogon(item, &outcome);
    if (failed) {
        outcome.result = ResultRefused;
        outcome.cause = LastStoreError();
    } else if (noted) {
        outcome.journalCause = JournalChangeDone(noted, item, outcome.backup, front->name);
    } else if (front && front->name) {
        outcome.journalCause = PLAT_ERROR_OUTOFMEMORY;
    }
    PlatFree(noted);
    TellOutcome(front, &outcome);
    return outcome.result;
}
