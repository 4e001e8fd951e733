// store.h - every operation that changes stored autostart entries: enable
// and disable (moving an entry between its enabled and its disabled place),
// remove, clean up all disabled registry entries, and save an entry from the
// Add/Edit window.
//
// The rule that keeps entries safe: a value is deleted from its old place
// only after it has been written, whole and unchanged, in its new place; a
// move never overwrites anything already there. None of these operations
// rescans; the caller refreshes the catalogue afterwards. What each
// operation did to each entry goes to its front end (outcome.h).
//
// May include platform/, storage/ and catalogue/ only.
#pragma once

#include "../catalogue/catalogue.h"
#include "outcome.h"
#include "remembered.h"

// Result codes of MoveRegistryValue.
enum {
    MoveValueDone = 0,
    MoveValueKeyFailed = 1,     // the other place's key could not be opened or created
    MoveValueWriteFailed = 2,   // not read whole, already there, or not written
    MoveValueCloseFailed = 3    // written, but closing the key failed
};

// Result codes of DeleteItem.
enum {
    DeleteDone = 0,
    DeleteKeyFailed = 1,
    DeleteValueFailed = 2,
    DeleteFileFailed = 3
};


// Writes the item's value, read whole from its current place, into the other
// place (desired 1: location without its "-"; 0: location and "-"). The old
// value is not touched.
int MoveRegistryValue(const AutostartItem *item, int32_t desired);

// Moves the item's .lnk file into the autostart folder of its scope
// (desired 1) or into its folder of disabled items (0). 0 moved, 1 not,
// MoveFolderIsLink when this process is elevated and the folder of disabled
// items is a junction or a symbolic link.
#define MoveFolderIsLink 2
int MoveShortcut(const AutostartItem *item, int32_t desired);

// Deletes the item's value (registry nonzero) or its .lnk file.
int DeleteItem(const AutostartItem *item, int registry);

// Deletes the item's value only while it holds exactly these type and bytes
// (another program may have rewritten it); a DeleteItem result.
int DeleteValueIfUnchanged(const AutostartItem *item, uint32_t type, const void *data,
                           uint32_t size);

// Brings storage to the desired state of each catalogue index i below
// count (1 enabled, 0 disabled): record i of ItemCatalogue belongs to
// desired[i]. An entry switched off in Windows' startup settings is
// switched on in place; a task in the scheduler; every other change moves
// the entry. A disable in a place Windows' switch governs (Run, the Startup
// folders) also sets that switch off, its old value saved to a backup first
// (ResultSwitchNotSet when the move was done and the switch not set). A
// row that came back (cameBack) keeps one copy: an enable asks which
// (CAME_BACK_QUESTION), a disable deletes the copy written back; the other
// is saved to a backup first. An entry any user may have placed is enabled for every user
// only when front's user says Yes (ENABLE_ANY_USER_QUESTION). Each change
// tells front its outcome, and its record takes the state wanted (unless
// declined). Returns the number of changes stored.
// Enable of a came-back row: which copy to keep (No keeps the one written
// back, which the program itself wrote last).
#define CAME_BACK_QUESTION                                                                  \
    "\"%s\" wrote itself back after it was disabled here.\n\nWritten back: %s\nDisabled " \
    "here: %s\n\nPut the copy disabled here back in its place? No keeps the copy written "  \
    "back. The other copy is saved to a backup first."
#define ENABLE_ANY_USER_QUESTION                                                          \
    "\"%s\" may have been placed by any user: its folder of disabled items is writable by " \
    "every user. Move it into the Startup folder of all users, to start for everyone?"
int ApplyChanges(const int32_t *desired, int32_t count, const FrontEnd *front);
// The same for the one entry of catalogue index (ResultAlready when it is
// as wanted); its OutcomeResult.
OutcomeResult ApplyChange(int32_t index, int32_t wanted, const FrontEnd *front);

// Remove of the entry (RemoveItemWithBackup), its outcome told to front;
// its OutcomeResult.
OutcomeResult RemoveEntry(const AutostartItem *item, const FrontEnd *front);

// ---- Windows' own switch (approval_switch.cpp) ------------------------------

// Makes a "disabled" approval value of the item say enabled (bit 0 of the
// first byte and the eight time bytes cleared, the rest kept); any other
// value (none, enabled, malformed) is left alone. 0 done or nothing to do.
int ClearDisabledApproval(const AutostartItem *item);

// An entry written anew (a rename, another hive or view) takes its approval
// value along: moved names its new place and name. 0 done or nothing to do.
int CarryApproval(const AutostartItem *old, const AutostartItem *moved);

// Deletes a removed entry's approval value, unless another value or file of
// that name is still governed by it. 0 done or nothing to do.
int DropApproval(const AutostartItem *item);

// An entry's approval value held while something is written over it, to
// be put back exactly when that write fails (PutBackApproval, which also
// frees it; ForgetApproval frees it alone).
struct HeldApproval {
    PlatHive hive;
    char path[TEXT_FIELD_SIZE];
    uint32_t type;
    void *data; // null: it had none
    uint32_t size;
};
// Zero when it may have one that could not be read (nothing is then held).
int HoldApproval(const AutostartItem *item, HeldApproval *held);
void PutBackApproval(const AutostartItem *item, HeldApproval *held);
void ForgetApproval(HeldApproval *held);

// Switches the item's approval value off as Task Manager does (the first
// byte's bit 0 set, its other bits and any further bytes of held kept; 03
// 00 00 00 when there was none or it was malformed), with the FILETIME of
// now, and reads it back. 0 when it now says off; nothing to do (0) when no
// list governs the item. Windows then keeps a program off that writes its
// entry back.
int SetApprovalOff(const AutostartItem *item, const HeldApproval *held);

// ---- backups, Remove and CleanUp (reg_file.cpp, remove.cpp, cleanup.cpp) ---

// The folder backups go to, under the user's Documents: found in Explorer
// without showing hidden folders, and writable without administrator rights.
#define BACKUP_FOLDER "Orvane Tool Backups"

// What a backup came to.
enum BackupResult {
    BackupMade = PLAT_OK,
    BackupFailed = 1,
    // elevated, and the folder or one on its way is a junction or a
    // symbolic link (never written through), or out of the user's reach
    BackupFolderIsLink = 2,
    BackupNothing = 3 // nothing there to save
};

// Creates the backup folder when missing; BackupMade with its path.
int BackupFolder(char *path);

enum RemoveResult {
    RemoveDone = 0,
    RemoveBackupFailed = 1,   // nothing deleted
    RemoveDeleteFailed = 2,   // backed up, but still there
    RemoveRefused = 3,        // a cut or changed name, or a task the scheduler did not give: not acted on
    RemoveNameNotCarried = 4, // a line break in the name: no backup can hold it, kept
    RemoveFolderIsLink = 5    // elevated, and the backup folder is a link: nothing deleted
};

// Saves the item (its value into a .reg file, its .lnk as a copy) and only
// then deletes it; backupFile (TEXT_FIELD_SIZE) names what was written.
int RemoveItemWithBackup(const AutostartItem *item, char *backupFile);

// Saves what a save of entry (a record of the value as it will be stored)
// would write over: the value of its name in its key and its approval value,
// into one .reg file read back: a BackupResult, BackupMade with its path in
// backupFile.
int BackupReplaced(const AutostartItem *entry, char *backupFile);

// What CleanUp would delete now, read from storage: the entries of the
// user's and of the machine's "-" keys, the section titles of "RunOnceEx-"
// (settings the list does not show), and the names of the keys ("Run-,
// RunOnceEx-").
struct CleanUpCount {
    int32_t user;
    int32_t machine;
    int32_t settings;
    char places[96];
    int32_t hiddenPlaces; // keys kept whole: they hold rows the window hides
};
void CountCleanUp(CleanUpCount *count);
// The same for CleanUpDisabledShown's hidden rows (records: their count).
void CountCleanUpShown(CleanUpCount *count, const int32_t *hidden, int32_t records);
// Marks (marked[i] 1) the records CleanUp would delete now, with hidden as
// for CleanUpDisabledShown, for its question to name them; their number.
// Storage may hold values no record shows yet (written since the scan):
// CountCleanUpShown counts those too. kept: the rows shown that are off
// and that CleanUp keeps.
struct CleanUpKept {
    int32_t switchedOff; // off in Windows' settings or in Task Scheduler
    int32_t otherHere;   // off here, but not a Run key's entry (a shortcut, a logon program)
    // rows that came back whose copy disabled here CleanUp deletes (saved
    // in its backup) though the row stays
    int32_t cameBackCopies;
};
int32_t MarkCleanUpRecords(const int32_t *hidden, int32_t records, int32_t *marked,
                           CleanUpKept *kept);
// What CleanUp keeps that is off, in one or two sentences; zero when nothing.
int CleanUpKeptText(const CleanUpKept *kept, char *text, size_t size);

// Applies the desired states first, then saves every value of the five
// disabled keys ("Run-" ... "RunOnceEx-"'s sections) of HKCU and of both
// views of HKLM into one .reg file, and only when that file is whole
// deletes, value by value, each value that still holds what the backup
// holds, then the keys left empty ("RunOnceEx-"'s own values and its
// "Depend" key stay). Disabled shortcuts stay. Front is told each entry
// kept (ActionCleanUp, ResultKept, its cause), then the summary (item
// null: the backup and every key); 1 when the backup failed and nothing
// was deleted, else 0.
int CleanUpDisabled(const int32_t *desired, int32_t count, const FrontEnd *front);

// The same, but a "-" key that holds a record hidden[i] marks (rows the
// window does not show) is kept whole, the summary naming it; hidden may be
// null.
int CleanUpDisabledShown(const int32_t *desired, const int32_t *hidden, int32_t count,
                         const FrontEnd *front);

// ---- the rest of the logon (list_values.cpp) --------------------------------

// Disables or enables a row of a logon place: one program taken out of its
// list value into the same value of the sibling "-" key or put back at the
// end of the list, or a whole value moved. Nonzero when refused or failed,
// with the cause in LastStoreError. backupFile (TEXT_FIELD_SIZE) names the
// backup of the list values written, whatever came after it; empty when
// none was (refused, or a whole value moved).
int ChangeLogonItem(const AutostartItem *item, int32_t wanted, char *backupFile);

// Remove of such a row (a RemoveResult): its program taken out of the list,
// or its value deleted, after the backup.
int RemoveLogonItem(const AutostartItem *item, char *backupFile);
// The cause a Remove of a logon place's row is refused for whatever it
// finds (Windows' own program); PLAT_OK when none.
long ListRemoveRefusal(const AutostartItem *item);

// What a row allows (refusals.cpp): the cause a switch (enable or disable)
// or a Remove of the row is refused for whatever the user answers, so that
// the front ends neither offer it nor ask first; PLAT_OK when it may be
// tried.
long SwitchRefusalCause(const AutostartItem *item);
long RemoveRefusalCause(const AutostartItem *item);
// The cause a Start later of seconds (0: at logon again) is refused for:
// not a Run value or a Startup file, its name or command cut, off and not
// started later, or a delay not offered; PLAT_OK when it may be tried.
long DelayRefusalCause(const AutostartItem *item, int32_t seconds);
// Why a readOnly row is never changed: a task read from the task files, a
// script Group Policy keeps, a row of the other places.
long ReadOnlyCause(const AutostartItem *item);

// One value to save whole before a change.
struct BackupValue {
    PlatHive hive;
    const char *path;
    const char *name;
    uint32_t type;
    const void *data;
    uint32_t size;
    int absent; // not there: saved as deleted ("name"=-)
};

// Saves the values into one new .reg file ("<what> <date and time>.reg"),
// read back whole: a BackupResult, BackupMade with its path in backupFile.
int BackupValues(const char *what, const BackupValue *values, int count, char *backupFile);
// Makes a new backup file "<what> <date time><ending>" in the backup
// folder through make (nonzero when made; never over a file): a
// BackupResult, BackupMade with its path. A file made through a folder that
// became a link meanwhile is deleted, after abandon (when given) closed
// what make left open.
typedef int (*MakeBackup)(const char *path, void *context);
typedef void (*AbandonBackup)(void *context);
int NewBackup(const char *what, const char *ending, MakeBackup make, AbandonBackup abandon,
              void *context, char *path);

// ---- scheduled tasks (task_store.cpp) ---------------------------------------

#define STATUS_APP_NOT_EDITED \
    "\"%s\" is a packaged app's startup task: its app declares it; switch it on or off here."
#define STATUS_TASK_NOT_EDITED \
    "\"%s\" is a scheduled task: tasks are changed in Task Scheduler."
#define STATUS_SERVICE_NOT_EDITED \
    "\"%s\" is a service: switch it on or off here; its settings are changed in Services " \
    "(services.msc)."

// Switches a service of another maker (service_switch.cpp): off is Manual
// (SERVICE_DEMAND_START), on gives back the start type saved when it was
// switched off here. Start and DelayedAutostart of its key are saved first
// to a .reg backup (backupFile, TEXT_FIELD_SIZE), then changed through the
// SCM and read back; a running service is not stopped. Refused before
// anything is saved unelevated (PLAT_ERROR_ACCESS_DENIED), for Windows' own
// (CAUSE_WINDOWS_OWN) and for a start type changed since the list
// (CAUSE_SERVICE_CHANGED). 0 when it now is as wanted, else 1 with
// LastStoreError saying why; a service left as it was keeps no backup.
int SwitchService(const AutostartItem *item, int32_t wanted, char *backupFile);

// Switches a packaged app's startup task in place (app_switch.cpp): its
// State saved to a .reg backup (backupFile, TEXT_FIELD_SIZE), then set to 2
// (on) or 1 (off) and read back. 0 when it now is as wanted, else 1 with
// LastStoreError saying why (a policy's State, one unreadable).
int SwitchPackagedApp(const AutostartItem *item, int32_t wanted, char *backupFile);

// Switches the task in place and reads its state back; 0 when it is now
// as wanted, else 1 with LastStoreError saying why (CAUSE_TASK_FILES,
// CAUSE_TASK_PATH_CUT, CAUSE_NAME_INEXACT, CAUSE_TASK_UNCHANGED,
// CAUSE_TASK_GONE or the scheduler's error).
int SwitchTask(const AutostartItem *item, int32_t wanted);

// Deletes the task from the scheduler (never one read from the task files).
int DeleteTask(const AutostartItem *item);

// Saves the task's XML as "Removed <date time> <name>.xml" (UTF-16 with a
// byte-order mark) and its security descriptor beside it (TaskSecurityFile),
// reads both back, and only then deletes the task, if it still holds what
// the backup holds (RemoveDeleteFailed otherwise); refused, nothing saved,
// when either cannot be read. The cause in LastStoreError. runAs
// (TEXT_FIELD_SIZE, may be null) names the user of a task that runs whether
// he is logged on or not, whom its restore must name, after
// RUN_AS_NO_PASSWORD when it stores no password (S4U); else it is empty.
#define RUN_AS_NO_PASSWORD "*" // no account name holds one
int RemoveTaskWithBackup(const AutostartItem *item, char *backupFile, char *runAs);

// The file beside a task's backup that holds its security descriptor as
// SDDL text: "... Updater.xml" gives "... Updater.sddl". Zero when none.
int TaskSecurityFile(const char *backupFile, char *path);

// The command that registers the removed task again from its backup, with
// runAs (when not empty) and the password schtasks asks for; each of its
// arguments is one whose "%" cmd.exe expands no variable in.
#define TASK_RESTORE_SIZE (8 * TEXT_FIELD_SIZE)
// A name or path holding "%" gets no command line (cmd.exe would expand it).
#define TASK_RESTORE_BY_IMPORT \
    "import the backup in Task Scheduler (Action, Import Task), as a command line would " \
    "expand the % in its name"
void TaskRestoreCommand(const AutostartItem *item, const char *backupFile, const char *runAs,
                        char *text, size_t size);

// ---- start later (start_later.cpp) -----------------------------------------

// Starts the entry of catalogue index (a Run value of either hive or a
// Startup folder's file, on) seconds after logon (30, 60, 120, 300, 600)
// through a logon task of ours (catalogue.h, START_LATER_FOLDER): the task
// is registered first and read back, and only then is the entry disabled
// as Apply disables it (backup, Windows' switch); a disable that fails
// takes the task away again. 0 starts it at logon again: the entry enabled
// first, then its task deleted; a task that cannot be deleted has the
// entry disabled again, so that it never starts twice where that can be
// helped (CAUSE_LATER_TWICE where it cannot). The outcome (ActionDelay)
// told to front; written to the history as JournalDelay, undone by setting
// the delay it had (UndoByDelay).
OutcomeResult DelayEntry(int32_t index, int32_t seconds, const FrontEnd *front);

// For start_later.cpp: the entry disabled as Apply disables it (store.cpp's
// own steps, Windows' switch and its backup in outcome), or enabled back;
// nonzero when it failed, the cause in LastStoreError.
int DisableEntryAside(const AutostartItem *item, char *movedTo, StoreOutcome *outcome);
int EnableEntryBack(const AutostartItem *item, char *movedTo);
// Asks whether a file any user may have placed is to start for every user
// (ENABLE_ANY_USER_QUESTION, No the default); nonzero for Yes.
int ConfirmAnyUser(const AutostartItem *item, const FrontEnd *front);
// The delayed entry's task deleted, saved first as a task's Remove saves
// it (its Disable: the entry stays disabled; *task the task's row, backup
// its backup's path or empty when the task was gone already); nonzero when
// it could not be.
int StopStartingLater(AutostartItem *item, AutostartItem *task, char *backup);
// For an edit of the entry (a value started later): a task starting command
// instead, with the same delay and id, registered beside the entry's own
// task and read back; PLAT_OK with its path (TEXT_FIELD_SIZE), or the cause.
long RegisterEditedLaterTask(const AutostartItem *item, const char *command, char *path);
// Remove of a delayed entry takes its task first, saved to a backup as a
// task's Remove saves it (RemoveTaskWithBackup; *task the task's row, its
// backup's path in backup, TEXT_FIELD_SIZE): a RemoveResult, the task's XML
// kept in *xml (to PlatFree) to register it again should the entry's own
// Remove then fail.
int RemoveLaterTask(const AutostartItem *item, AutostartItem *task, char **xml, char *backup);

// ---- Run (start_program.cpp) ----------------------------------------------

#define START_ELEVATED_QUESTION "Start \"%s\" with administrator rights?"

enum StartResult {
    StartedAsUser = 0,    // with the rights the logon gives it
    StartedElevated = 1,  // the user agreed to administrator rights
    StartDeclined = 2,    // elevated, no desktop shell, and the user said No
    StartFailed = 3,
    StartedByDesktop = 4, // elevated: handed to the desktop shell, which starts it or not
    StartNotFound = 5     // no such file, or a name the logon's search did not find
};

// Starts the program of the item's target: directly when this process is
// not elevated; elevated, through the desktop shell, or, when that is not
// possible, only after front's user said Yes (START_ELEVATED_QUESTION).
int StartItemProgram(const AutostartItem *item, const FrontEnd *front);

enum OpenResult {
    OpenedAsUser = 0,     // not elevated: opened with this process's rights
    OpenedByDesktop = 1,  // elevated: handed to the desktop shell
    OpenNoDesktop = 2,    // elevated and no desktop shell: not opened
    OpenFailed = 3
};

// Opens a URL, folder or file with a shell verb, never with administrator
// rights: elevated, only through the desktop shell, for the verb and URL
// handlers come from classes any program of the user can rewrite.
int OpenWithUserRights(const char *verb, const char *file, const char *parameters);

// ---- the Add/Edit window's save (save_item.cpp) ----------------------------

enum EditorMode { EditorAdd = 0, EditorEdit = 1 };

// Why an entry's command cannot be shown whole in File and Parameters.
enum EditFieldsState {
    FieldsEditable = 0,
    FieldsTooLong = 1,         // longer than a field, or unreadable
    FieldsTextBeforeProgram = 2,
    FieldsNotText = 3,         // not REG_SZ or REG_EXPAND_SZ, or bytes after its end
    FieldsNotExact = 4,        // holds characters the code page cannot give back
    FieldsRunOnceExForm = 5    // "||command" or "dll|function|args" of a RunOnceEx section
};

// What File and Parameters show when editing the item: the stored command
// split into its program (as stored, unexpanded) and the rest, so that an
// unchanged pair means an unchanged command. Returns an EditFieldsState;
// when not editable the fields show the parsed target and parameters.
// file: TEXT_FIELD_SIZE; parameters: COMMAND_FIELD_SIZE.
int EditFields(const AutostartItem *item, char *file, char *parameters);

// Nonzero when saving would replace or shadow another entry: the
// destination key, or its sibling with or without "-", already holds a value
// of that name that is not the edited entry itself.
int SaveWouldReplace(const char *name, int allUsers, int32_t mode, int32_t editIndex);

// Nonzero when the fields name a program that is not there, as the logon
// would look for it (a bare name along the search path): Windows would
// start nothing. Zero for an edit that keeps the stored program, and for a
// network path, which is never opened from here.
int SaveProgramMissing(const char *file, const char *parameters, int32_t mode,
                       int32_t editIndex);

enum SaveResult {
    SaveDone = 0,
    SaveNotWritten = 1,   // nothing written; the old entry is as it was
    SaveOldKept = 2,      // written under the new name, the old one not removed
    SaveRefused = 3,      // the entry's name was cut or changed: not acted on
    SaveCaseRenamed = 4,  // a rename that changes only the case, stored
    SaveCaseNotStored = 5, // a case-only rename the registry did not take; the entry is as it was
    SaveReplaced = 6,     // stored over another entry or a leftover switch, saved first
    SaveCaseParkedKept = 7, // case-only rename stored, but its parked copy is still there
    SaveLaterTwice = 8      // stored, but the old task of an entry started later stays
};

// Writes an entry from the Add/Edit window: in add mode into the Run key of
// the chosen hive, in edit mode into the location of the record at
// editIndex (so a disabled entry stays disabled), removing the old value
// once the new one is written. An edit that leaves File and Parameters as
// EditFields filled them moves the value whole, type and bytes; a changed
// command keeps REG_EXPAND_SZ. An edit that changes nothing writes nothing.
int SaveItem(const char *name, const char *file, const char *parameters, int allUsers,
             int32_t mode, int32_t editIndex);
// The same; backupFile (TEXT_FIELD_SIZE) names the backup of what was
// replaced (SaveReplaced), or the parked copy left (SaveCaseParkedKept),
// else is empty.
int SaveItemWithBackup(const char *name, const char *file, const char *parameters, int allUsers,
                       int32_t mode, int32_t editIndex, char *backupFile);
// The same, written to the history for front (when it has a name): every
// value the save may change (the old entry, the name it takes, both their
// switches) is saved first into a backup that an undo restores. A change
// stored but not written to the history says why in *journalCause.
int SaveEntry(const char *name, const char *file, const char *parameters, int allUsers,
              int32_t mode, int32_t editIndex, char *backupFile, const FrontEnd *front,
              long *journalCause);
// Saves the values of two records of registry entries (first may be null:
// an entry and the place it goes to), each with its switch in Windows'
// settings, as they are now (absent ones as "name"=-), into one backup an
// undo restores ("<what> <date time>.reg"): PLAT_OK with its path, or the
// cause.
long BackupEntryValues(const char *what, const AutostartItem *first, const AutostartItem *second,
                       char *backup);
// The key a save would write into ("HKCU\...\Run"), for the question.
void SaveReplacePlace(int allUsers, int32_t mode, int32_t editIndex, char *place);


// ---- remembered choices (settings.cpp) ------------------------------------

// "Hide Windows' own entries": on (1) unless the user turned it off.
int ReadHideWindowsSetting(void);
// Remembers the choice; PLAT_OK, or the Windows error.
long SaveHideWindowsSetting(int hide);
// "Show other places that start programs": off (0) unless the user turned
// it on; remembered as the hide choice is.
int ReadOtherPlacesSetting(void);
long SaveOtherPlacesSetting(int show);

// The main window's outer size and the list's column widths, as last left,
// whether it was maximised (its size then is the one it returns to) and the
// order of the rows. Fields were added at the end over time; a width of 0
// is not known.
#define LAYOUT_COLUMNS 3
struct WindowLayout {
    int32_t width;
    int32_t height;
    int32_t columns[LAYOUT_COLUMNS]; // Application, Type, Path
    int32_t maximised;
    int32_t stateColumn;    // the State column's width
    int32_t sortColumn;     // by the list's column number; -1: the scan's order
    int32_t sortDescending;
    int32_t changeColumn;   // the Change column's width
    int32_t costColumn;     // the Cost column's width
};
// 1 and *layout filled when a whole layout was stored (one stored by an
// earlier version reads with the later fields unknown: not maximised, no
// State or Change width, the scan's order); 0 leaves it as it was.
int ReadWindowLayoutSetting(WindowLayout *layout);
long SaveWindowLayoutSetting(const WindowLayout *layout);
