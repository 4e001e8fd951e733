// outcome.cpp - the outcome channel and its words (see outcome.h).
#include "store.h"

#include <string.h>

void UseFrontEnd(const FrontEnd *front)
{
    CatalogueErrors = front ? front->scanError : NULL;
    CatalogueErrorContext = front ? front->context : NULL;
}

void BeginOutcome(StoreOutcome *outcome, const AutostartItem *item, OutcomeAction action)
{
    memset(outcome, 0, sizeof *outcome);
    outcome->item = item;
    outcome->action = action;
    outcome->result = ResultDone;
    outcome->cause = PLAT_OK;
}

void TellOutcome(const FrontEnd *front, const StoreOutcome *outcome)
{
    if (front && front->outcome)
        front->outcome(front->context, outcome);
}

int AskFrontEnd(const FrontEnd *front, const char *question)
{
    return front && front->ask && front->ask(front->context, question);
}

int OutcomeFailed(const StoreOutcome *outcome)
{
    return outcome->result != ResultDone && outcome->result != ResultAlready;
}

// Denied the user's own entry, or while elevated, the cause is not a want
// of administrator rights.
#define CAUSE_DENIED_TEXT "Windows denied access to it"
static const char *CauseFor(long cause, int userScope)
{
    if (cause == PLAT_ERROR_ACCESS_DENIED && (userScope || PlatIsElevated()))
        return CAUSE_DENIED_TEXT;
    return CauseText(cause);
}

const char *OutcomeCauseText(const StoreOutcome *outcome)
{
    return CauseFor(outcome->cause, outcome->item && ScopeIsUser(outcome->item->scope));
}

static const char *Plural(int32_t n, const char *one, const char *many)
{
    return n == 1 ? one : many;
}

// The folder a link or the user's rights refused, as the cause says.
static void WordFolderRefused(const StoreOutcome *outcome, char *text, size_t size)
{
    const char *folder = outcome->folder ? outcome->folder : "";
    if (outcome->cause == CAUSE_NO_USER_RIGHTS)
        TextFormat(text, size, STATUS_PLACE_NO_USER_RIGHTS, folder);
    else if (outcome->cause == CAUSE_PLACE_IS_LINK)
        TextFormat(text, size, STATUS_PLACE_IS_LINK, folder);
    else
        TextFormat(text, size, STATUS_FOLDER_IS_LINK, folder);
}

// " 2 disabled entries of all users were kept: administrator rights are
// needed." for the keys whose deletions failed with one cause.
static void AppendKept(char *status, size_t size, const CleanUpKey *keys, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        if (!keys[i].kept)
            continue;
        // One sentence per cause, with the scope when all its entries share one.
        int done = 0;
        for (int32_t j = 0; j < i && !done; ++j)
            done = keys[j].kept && keys[j].cause == keys[i].cause;
        if (done)
            continue;
        int32_t kept = 0;
        int user = 0, machine = 0;
        for (int32_t j = i; j < count; ++j) {
            if (!keys[j].kept || keys[j].cause != keys[i].cause)
                continue;
            kept += keys[j].kept;
            *(keys[j].hive == PLAT_HKCU ? &user : &machine) = 1;
        }
        char text[256];
        TextFormat(text, sizeof text, STATUS_CLEANUP_DENIED, (int)kept,
                   Plural(kept, "entry", "entries"),
                   user && machine ? "" : user ? " of this user" : " of all users",
                   Plural(kept, "was", "were"), CauseFor(keys[i].cause, user && !machine));
        TextAppend(status, size, status[0] ? " " : "");
        TextAppend(status, size, text);
    }
}

// One "Kept <key>" sentence per key kept whole (hidden 0) or kept because
// it holds rows the list hides (hidden 1), after what status says already.
static void AppendKeptKeys(char *status, size_t size, const CleanUpKey *keys, int32_t count,
                           int hidden, const char *format)
{
    for (int32_t i = 0; i < count; ++i) {
        int wanted = hidden ? !keys[i].keep && keys[i].hidden : keys[i].keep;
        if (!wanted)
            continue;
        char key[TEXT_FIELD_SIZE + 32];
        char path[TEXT_FIELD_SIZE];
        char kept[TEXT_FIELD_SIZE + 128];
        TextFormat(path, sizeof path, "%s\\%s", keys[i].parent, keys[i].name);
        RegistryKeyText(keys[i].hive, path, 0, key, sizeof key);
        TextFormat(kept, sizeof kept, format, key);
        TextAppend(status, size, status[0] ? " " : "");
        TextAppend(status, size, kept);
    }
}

// CleanUp's summary: what was deleted and where the backup is, then what
// was kept and why.
static void WordCleanUp(const StoreOutcome *outcome, char *text, size_t size)
{
    if (outcome->result == ResultBackupFailed) {
        TextCopy(text, size, STATUS_BACKUP_FAILED);
        return;
    }
    if (outcome->result == ResultFolderIsLink) {
        WordFolderRefused(outcome, text, size);
        return;
    }
    int32_t deleted = 0, settings = 0;
    for (int32_t i = 0; i < outcome->keyCount; ++i) {
        deleted += outcome->keys[i].deleted;
        settings += outcome->keys[i].deletedSettings;
    }
    char extra[64] = "";
    if (settings)
        TextFormat(extra, sizeof extra, STATUS_CLEANUP_SETTINGS, (int)settings,
                   Plural(settings, "setting", "settings"));
    if (deleted + settings > 0)
        TextFormat(text, size, STATUS_CLEANUP_DONE, (int)deleted,
                   Plural(deleted, "entry", "entries"), extra, outcome->backup);
    else if (outcome->backup[0])
        TextFormat(text, size, STATUS_CLEANUP_NONE_DELETED, outcome->backup);
    else
        TextCopy(text, size, STATUS_CLEANUP_NOTHING);
    AppendKept(text, size, outcome->keys, outcome->keyCount);
    AppendKeptKeys(text, size, outcome->keys, outcome->keyCount, 0, STATUS_CLEANUP_KEPT);
    AppendKeptKeys(text, size, outcome->keys, outcome->keyCount, 1, STATUS_CLEANUP_KEPT_HIDDEN);
}

static void WordSwitch(const StoreOutcome *outcome, const char *backup, char *text, size_t size)
{
    const AutostartItem *item = outcome->item;
    int enable = outcome->action == ActionEnable;
    const char *cameBack = outcome->cameBack == CameBackKeptLive   ? STATUS_CAME_BACK_KEPT_LIVE
                           : outcome->cameBack == CameBackRestored ? STATUS_CAME_BACK_RESTORED
                           : outcome->cameBack == CameBackSwitchedOff ? STATUS_CAME_BACK_SWITCHED_OFF
                                                                     : NULL;
    if (outcome->cameBack == CameBackCopyInBackup)
        TextFormat(text, size, STATUS_CAME_BACK_COPY_IN_BACKUP, ItemShownName(item),
                   OutcomeCauseText(outcome), backup);
    else if (outcome->cameBack == CameBackRestoredCopyLeft)
        TextFormat(text, size, STATUS_CAME_BACK_COPY_LEFT, ItemShownName(item),
                   OutcomeCauseText(outcome), backup);
    else if (outcome->cameBack == CameBackLiveInBackup)
        TextFormat(text, size, STATUS_CAME_BACK_LIVE_IN_BACKUP, ItemShownName(item),
                   OutcomeCauseText(outcome), backup);
    else if (outcome->result == ResultSwitchNotSet)
        TextFormat(text, size, STATUS_SWITCH_NOT_SET, ItemShownName(item), OutcomeCauseText(outcome));
    else if (outcome->result == ResultDone && cameBack)
        TextFormat(text, size, cameBack, ItemShownName(item), backup);
    else if (outcome->result == ResultDone && !enable && item->kind == Service
             && item->serviceRunning)
        TextFormat(text, size, STATUS_SERVICE_OFF_RUNS, ItemShownName(item), backup);
    else if (outcome->result == ResultDone && backup[0])
        TextFormat(text, size, enable ? STATUS_LIST_ENABLED : STATUS_LIST_DISABLED, ItemShownName(item),
                   backup);
    else if (outcome->result == ResultDone)
        TextFormat(text, size, enable ? STATUS_ENABLED_ONE : STATUS_DISABLED_ONE, ItemShownName(item));
    else if (outcome->result == ResultAlready)
        TextFormat(text, size, STATUS_ALREADY, ItemShownName(item), enable ? "enabled" : "disabled");
    else if (item->kind == ScheduledTask)
        TextFormat(text, size, STATUS_TASK_NOT_SWITCHED, ItemShownName(item), enable ? "on" : "off",
                   OutcomeCauseText(outcome));
    else
        TextFormat(text, size, STATUS_APPLY_FAILED_FORMAT, ItemShownName(item),
                   enable ? "enabled" : "disabled", OutcomeCauseText(outcome));
}

static void WordRemove(const StoreOutcome *outcome, const char *backup, char *text, size_t size)
{
    const AutostartItem *item = outcome->item;
    if (outcome->result == ResultDone && item->kind == ScheduledTask) {
        char restore[TASK_RESTORE_SIZE];
        char security[TEXT_FIELD_SIZE] = "";
        TaskRestoreCommand(item, outcome->backup, outcome->runAs, restore, sizeof restore);
        TaskSecurityFile(outcome->backup, security);
        TextFormat(text, size, STATUS_TASK_REMOVED, ItemShownName(item), backup, restore, security);
    } else if (outcome->result == ResultDone) {
        TextFormat(text, size, STATUS_REMOVED, ItemShownName(item), backup);
    } else if (outcome->result == ResultBackupFailed) {
        TextCopy(text, size, STATUS_BACKUP_FAILED);
    } else if (outcome->result == ResultKept) {
        TextFormat(text, size, STATUS_REMOVE_FAILED, ItemShownName(item), OutcomeCauseText(outcome),
                   backup);
    } else if (outcome->cause == CAUSE_NAME_NOT_CARRIED) {
        TextFormat(text, size, STATUS_NAME_NOT_CARRIED, ItemShownName(item));
    } else {
        TextFormat(text, size, STATUS_REMOVE_REFUSED, ItemShownName(item), OutcomeCauseText(outcome));
    }
}

void BackupShown(const char *backup, int pathRoom, char *text, size_t size)
{
    const char *name = strrchr(backup, '\\');
    if (pathRoom <= 0 || !name) {
        TextCopy(text, size, backup);
        return;
    }
    char folder[TEXT_FIELD_SIZE], shortFolder[TEXT_FIELD_SIZE];
    TextCopy(folder, sizeof folder, backup);
    folder[name - backup] = '\0';
    TextShortenMiddle(shortFolder, sizeof shortFolder, folder, (size_t)pathRoom);
    TextFormat(text, size, "%s in %s", name + 1, shortFolder);
}

static void WordUndo(const StoreOutcome *outcome, int pathRoom, char *text, size_t size)
{
    char backup[2 * TEXT_FIELD_SIZE];
    BackupShown(outcome->backup, pathRoom, backup, sizeof backup);
    int n = outcome->undone;
    const char *words = outcome->undoneWords;
    if (outcome->result == ResultDone && n > 0 && backup[0])
        TextFormat(text, size, STATUS_UNDONE_BACKUP, n, words, backup);
    else if (outcome->result == ResultDone && n > 0)
        TextFormat(text, size, STATUS_UNDONE, n, words);
    else if (outcome->result == ResultDone && backup[0])
        TextFormat(text, size, STATUS_UNDONE_UNRECORDED_BACKUP, words, backup);
    else if (outcome->result == ResultDone)
        TextFormat(text, size, STATUS_UNDONE_UNRECORDED, words);
    else if (outcome->result == ResultAlready)
        TextFormat(text, size, STATUS_UNDO_ALREADY, n, words);
    else if (outcome->result == ResultSwitchNotSet)
        TextFormat(text, size, STATUS_UNDONE_SWITCH_NOT_SET, n, words, OutcomeCauseText(outcome));
    else if (n > 0 && backup[0] && outcome->result != ResultDeclined)
        TextFormat(text, size, STATUS_UNDO_REFUSED_BACKUP, n, words, OutcomeCauseText(outcome),
                   backup);
    else if (outcome->result == ResultDeclined && n > 0)
        TextFormat(text, size, STATUS_UNDO_DECLINED, n);
    else if (outcome->result == ResultDeclined)
        TextFormat(text, size, STATUS_UNDO_UNRECORDED_DECLINED, words);
    else if (n > 0)
        TextFormat(text, size, STATUS_UNDO_REFUSED, n, words, OutcomeCauseText(outcome));
    else
        TextFormat(text, size, STATUS_UNDO_UNRECORDED_REFUSED, words, OutcomeCauseText(outcome));
}

static void WordChange(const StoreOutcome *outcome, int pathRoom, char *text, size_t size);

static void WordDelay(const StoreOutcome *outcome, const char *backup, char *text, size_t size)
{
    const char *name = ItemShownName(outcome->item);
    char when[64];
    StartLaterWords(outcome->delay, when, sizeof when);
    const char *after = when + strlen("starts ");
    if (outcome->result == ResultSwitchNotSet)
        TextFormat(text, size, STATUS_SWITCH_NOT_SET, name, OutcomeCauseText(outcome));
    else if (outcome->result == ResultAlready)
        TextFormat(text, size, STATUS_DELAY_ALREADY, name, after);
    else if (OutcomeFailed(outcome))
        TextFormat(text, size, STATUS_DELAY_FAILED, name, after, OutcomeCauseText(outcome));
    else if (outcome->backup[0])
        TextFormat(text, size, STATUS_DELAYED, name, after, backup);
    else
        TextFormat(text, size, STATUS_DELAYED_NO_BACKUP, name, after);
}

void WordOutcome(const StoreOutcome *outcome, int pathRoom, char *text, size_t size)
{
    text[0] = '\0';
    if (outcome->action == ActionUndo)
        WordUndo(outcome, pathRoom, text, size);
    else
        WordChange(outcome, pathRoom, text, size);
    if (outcome->journalCause != PLAT_OK) {
        char clause[TEXT_FIELD_SIZE];
        TextFormat(clause, sizeof clause, STATUS_NOT_JOURNALED, CauseText(outcome->journalCause));
        TextAppend(text, size, clause);
    }
}

static void WordChange(const StoreOutcome *outcome, int pathRoom, char *text, size_t size)
{
    const AutostartItem *item = outcome->item;
    if (!item) {
        WordCleanUp(outcome, text, size);
        return;
    }
    if (outcome->result == ResultFolderIsLink) {
        WordFolderRefused(outcome, text, size);
        return;
    }
    if (outcome->cause == CAUSE_NAME_INEXACT) {
        TextFormat(text, size, STATUS_NAME_INEXACT, ItemShownName(item));
        return;
    }
    // A task's backup is named whole: its restore command follows it.
    char backup[2 * TEXT_FIELD_SIZE];
    BackupShown(outcome->backup, item->kind == ScheduledTask ? 0 : pathRoom, backup, sizeof backup);
    switch (outcome->action) {
    case ActionEnable:
    case ActionDisable: WordSwitch(outcome, backup, text, size); break;
    case ActionRemove: WordRemove(outcome, backup, text, size); break;
    case ActionCleanUp:
        TextFormat(text, size, STATUS_CLEANUP_ENTRY_KEPT, ItemShownName(item), OutcomeCauseText(outcome));
        break;
    case ActionDelay: WordDelay(outcome, backup, text, size); break;
    case ActionUndo: break; // worded above
    }
}
