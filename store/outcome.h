// outcome.h - what a store operation did, as data: the one channel from the
// store to a front end.
//
// Every operation that changes storage tells its front end, entry by entry,
// what it did (the entry, the action, the result, the cause, the backup
// written), and asks it the questions only the user can answer. The window
// shows an outcome in its status bar, the console program prints it and
// counts it for its exit code; both word it through WordOutcome, so the same
// outcome reads the same in both. Nothing here shows a window or reads a
// keyboard: the front end's functions do.
#pragma once

#include "../catalogue/catalogue.h"

enum OutcomeAction {
    ActionEnable = 0,
    ActionDisable = 1,
    ActionRemove = 2,
    ActionCleanUp = 3,
    ActionUndo = 4, // a change of the history undone (undo.cpp)
    ActionDelay = 5 // started later by a logon task, or at logon again (start_later.cpp)
};

enum OutcomeResult {
    ResultDone = PLAT_OK,
    ResultAlready = 1,      // it already was as wanted: nothing was done
    ResultRefused = 2,      // not done, nothing changed: the cause says why
    ResultKept = 3,         // backed up, but not deleted: the cause says why
    ResultBackupFailed = 4, // the backup could not be made whole: nothing was deleted
    ResultFolderIsLink = 5, // a folder on the way was refused (the cause): nothing changed
    ResultDeclined = 6,     // the user said No to the question: nothing was done
    // disabled here (moved aside), but Windows' switch was not set (the
    // cause): a program that writes its entry back starts again
    ResultSwitchNotSet = 7
};

// What a change of a came-back row did with its two copies.
enum CameBackDone {
    CameBackNone = 0,
    CameBackKeptLive = 1,    // enabled: the copy written back kept, the one disabled here saved
    CameBackRestored = 2,    // enabled: the copy disabled here put back, the other saved
    CameBackSwitchedOff = 3,  // disabled: both copies kept, Windows' switch set off
    CameBackLiveInBackup = 4, // not enabled, and the copy written back is only in the backup
    CameBackRestoredCopyLeft = 5, // enabled as disabled here, but that copy could not be deleted
    CameBackCopyInBackup = 6      // not enabled (switch still off); the copy disabled here is backed up
};

// One "-" key of one hive, and what CleanUp did with it.
struct CleanUpKey {
    PlatHive hive;
    const char *parent; // the key that holds it
    char name[24];      // "Run-"
    int32_t values;     // entries it holds (in its sections, for "RunOnceEx-")
    int32_t settings;   // section titles of "RunOnceEx-"
    int32_t deleted;    // entries deleted
    int32_t deletedSettings;
    int32_t kept;       // entries backed up but not deleted
    long cause;         // why the first of them was not
    int keep;           // a name in it cannot be handled or carried: kept whole
    int hidden;         // it holds an entry the window hides: kept whole
};

#define OUTCOME_WORDS_SIZE (2 * TEXT_FIELD_SIZE + 128)

struct StoreOutcome {
    // The entry as listed (the catalogue's record, or one made for a value
    // CleanUp found); null for the summary of a CleanUp.
    const AutostartItem *item;
    OutcomeAction action;
    OutcomeResult result;
    long cause;                   // PLAT_OK, a Windows error or a CAUSE_
    const char *folder;           // ResultFolderIsLink: the folder refused
    char backup[TEXT_FIELD_SIZE]; // the backup written for it, or empty
    // A removed task that runs whether its user is logged on or not: that
    // user, whom its restore names.
    char runAs[TEXT_FIELD_SIZE];
    int32_t cameBack; // CameBackDone
    int32_t delay;    // ActionDelay: the seconds after logon wanted (0: at logon)
    // CleanUp's summary: every "-" key and what became of it.
    const CleanUpKey *keys;
    int32_t keyCount;
    // ActionUndo: the change undone (its number, 0 for a backup the history
    // does not know) and its words.
    int32_t undone;
    char undoneWords[OUTCOME_WORDS_SIZE];
    // Done, but not written to the history (journal.h): why; PLAT_OK when
    // it was, or nothing was to be.
    long journalCause;
};

typedef void (*OutcomeSink)(void *context, const StoreOutcome *outcome);
// Asks a Yes/No question, No the default; nonzero for Yes.
typedef int (*FrontQuestion)(void *context, const char *question);

// A front end: where outcomes go, who answers questions, where the scan's
// errors go, and its name in the history of changes. Any of them may be
// null: outcomes are then dropped, every question is answered No, the
// scan's errors are not shown, and its changes are not written to the
// history (journal.h).
struct FrontEnd {
    OutcomeSink outcome;
    FrontQuestion ask;
    CatalogueErrorSink scanError;
    void *context;
    const char *name; // FRONT_WINDOW, FRONT_CONSOLE
};
#define FRONT_WINDOW "window"
#define FRONT_CONSOLE "console"


// The scan's errors go to this front end from now on (null: nowhere).
void UseFrontEnd(const FrontEnd *front);

// An outcome of the entry, not yet done, with no cause and no backup.
void BeginOutcome(StoreOutcome *outcome, const AutostartItem *item, OutcomeAction action);
void TellOutcome(const FrontEnd *front, const StoreOutcome *outcome);
// Nonzero when the front end's user said Yes.
int AskFrontEnd(const FrontEnd *front, const char *question);

// The words of the outcome's cause ("administrator rights are needed" only
// where they would help: an entry of all users, not elevated).
const char *OutcomeCauseText(const StoreOutcome *outcome);

// Nonzero for an outcome that is a failure: not done and not already so.
int OutcomeFailed(const StoreOutcome *outcome);

// A backup as a status names it: with pathRoom (characters the folder may
// take before it loses its middle) the file's name first, "name.reg in
// C:\...\Backups", so a line cut at its end keeps it; 0: the path whole.
void BackupShown(const char *backup, int pathRoom, char *text, size_t size);
// The outcome in the window's words; pathRoom as for BackupShown.
#define OUTCOME_TEXT_SIZE (12 * TEXT_FIELD_SIZE + 512)
void WordOutcome(const StoreOutcome *outcome, int pathRoom, char *text, size_t size);

// ---- the words ----------------------------------------------------------------

#define STATUS_ENABLED_ONE "Enabled \"%s\"."
#define STATUS_DISABLED_ONE "Disabled \"%s\"."
#define STATUS_LIST_DISABLED "Disabled \"%s\"; backup: %s"
#define STATUS_LIST_ENABLED "Enabled \"%s\"; backup: %s"
// A running service switched off (Manual) is not stopped.
#define STATUS_SERVICE_OFF_RUNS \
    "Disabled \"%s\" (Manual now): it runs until the next restart; backup: %s"
#define STATUS_SWITCH_NOT_SET \
    "ERROR: \"%s\" was disabled here, but Windows' switch for it was not set: %s. If it " \
    "writes itself back, it starts again."
#define STATUS_CAME_BACK_KEPT_LIVE \
    "Enabled \"%s\" as it was written back; the copy disabled here is deleted, saved in %s"
#define STATUS_CAME_BACK_RESTORED \
    "Enabled \"%s\" as it was disabled here; the copy written back is deleted, saved in %s"
#define STATUS_CAME_BACK_SWITCHED_OFF \
    "Disabled \"%s\": Windows' switch keeps both copies off (the switch was saved in %s); " \
    "Enable asks which to keep"
#define STATUS_CAME_BACK_COPY_IN_BACKUP \
    "ERROR: \"%s\" was not enabled: %s; Windows' switch still keeps it off. Its copy " \
    "disabled here was deleted and is saved in %s"
#define STATUS_CAME_BACK_COPY_LEFT \
    "ERROR: \"%s\" was enabled as it was disabled here, but its copy there could not be " \
    "deleted: %s. The copy written back is saved in %s"
#define STATUS_CAME_BACK_LIVE_IN_BACKUP \
    "ERROR: \"%s\" was not enabled: %s. The copy written back was deleted and could not be " \
    "put back: it is saved in %s"
// Start later (%s: "30 s after logon", "at logon").
#define STATUS_DELAYED "\"%s\" now starts %s; backup: %s"
#define STATUS_DELAYED_NO_BACKUP "\"%s\" now starts %s."
#define STATUS_DELAY_ALREADY "\"%s\" already starts %s; nothing was changed."
#define STATUS_DELAY_FAILED "ERROR: \"%s\" was not set to start %s: %s."
#define STATUS_ALREADY "\"%s\" is already %s; nothing was changed."
// An entry Apply could not change, and why ("ERROR: "Tool" was not disabled:
// administrator rights are needed.").
#define STATUS_APPLY_FAILED_FORMAT "ERROR: \"%s\" was not %s: %s."
#define STATUS_TASK_NOT_SWITCHED "ERROR: \"%s\" was not switched %s: %s."
// An entry whose name the code page changed is never acted on.
#define STATUS_NAME_INEXACT \
    "ERROR: \"%s\": its name cannot be handled on this Windows; nothing was changed."
#define STATUS_REMOVED "Removed \"%s\"; backup: %s"
#define STATUS_TASK_REMOVED \
    "Removed \"%s\"; backup: %s; to restore it: %s (that gives it the default security " \
    "descriptor; its own is saved in %s)"
#define STATUS_REMOVE_REFUSED "ERROR: \"%s\" was not removed: %s."
#define STATUS_REMOVE_FAILED "ERROR: \"%s\" was not removed: %s. Its backup is kept: %s"
#define STATUS_NAME_NOT_CARRIED \
    "ERROR: \"%s\" was kept: a line break in its name cannot be written to a backup."
#define STATUS_BACKUP_FAILED "ERROR: The backup could not be written; nothing was deleted."
#define STATUS_FOLDER_IS_LINK \
    "ERROR: The folder \"%s\" is a link to another place; nothing was changed."
#define STATUS_PLACE_IS_LINK \
    "ERROR: A folder on the way to \"%s\" is a link to another place; nothing was changed."
#define STATUS_PLACE_NO_USER_RIGHTS \
    "ERROR: Nothing was written to \"%s\": it lies outside the user's profile and the " \
    "user's ordinary rights could not be taken to work there; nothing was changed."
// CleanUp's summary: what was deleted, what was kept and why.
#define STATUS_CLEANUP_DONE "Deleted %d disabled %s%s; backup: %s."
#define STATUS_CLEANUP_SETTINGS " and %d %s of RunOnceEx-"
#define STATUS_CLEANUP_KEEPS_SWITCHED \
    "%d %s switched off in Windows' settings or Task Scheduler %s kept: CleanUp deletes only " \
    "what was disabled here."
#define STATUS_CLEANUP_KEEPS_OTHERS \
    "%s%d other %s disabled here %s kept: CleanUp deletes only registry entries of the Run " \
    "keys, not shortcuts, logon programs or services."
#define STATUS_CLEANUP_CAME_BACK \
    "%s%d %s that came back after %s disabled here %s a copy disabled here: CleanUp deletes " \
    "that copy too (the backup holds it); the %s written back %s listed."
#define STATUS_CLEANUP_CHANGED \
    "Nothing was deleted: what CleanUp would delete changed since the question. Press " \
    "CleanUp again to see it."
#define STATUS_CLEANUP_NOTHING "There were no disabled registry entries to delete."
#define STATUS_CLEANUP_NONE_DELETED "Nothing was deleted; backup: %s."
// Entries backed up but not deleted (%s: " of all users", " of this user" or
// nothing), and the cause.
#define STATUS_CLEANUP_DENIED "%d disabled %s%s %s kept: %s."
#define STATUS_CLEANUP_KEPT \
    "Kept %s: a name in it cannot be handled on this Windows or written to a backup."
#define STATUS_CLEANUP_KEPT_HIDDEN "Kept %s: it holds Windows' own entries, which are hidden."
// One entry CleanUp was to delete and did not.
#define STATUS_CLEANUP_ENTRY_KEPT "ERROR: \"%s\" was not deleted: %s."
// A change made but not written to the history (after the outcome's words).
#define STATUS_NOT_JOURNALED " It was not written to the history: %s."
// An undo of the history (%d the change's number, %s its words).
#define STATUS_UNDONE "Undid change %d: %s."
#define STATUS_UNDONE_BACKUP "Undid change %d: %s. What it replaced is saved in %s"
#define STATUS_UNDONE_UNRECORDED "Restored the backup %s."
#define STATUS_UNDONE_UNRECORDED_BACKUP \
    "Restored the backup %s. What it replaced is saved in %s"
#define STATUS_UNDO_REFUSED "ERROR: Change %d was not undone (%s): %s."
#define STATUS_UNDO_REFUSED_BACKUP \
    "ERROR: Change %d was not undone (%s): %s. What it had taken away is saved in %s"
#define STATUS_UNDONE_SWITCH_NOT_SET \
    "ERROR: Undid change %d: %s, but Windows' switch for it was not set: %s. If it writes " \
    "itself back, it starts again."
#define STATUS_UNDO_UNRECORDED_REFUSED "ERROR: The backup %s was not restored: %s."
#define STATUS_UNDO_ALREADY "Change %d needed no undo: %s is already as it was before it."
#define STATUS_UNDO_DECLINED "Change %d was not undone; nothing was changed."
#define STATUS_UNDO_UNRECORDED_DECLINED "The backup %s was not restored; nothing was changed."
