// store.h - every operation that changes stored autostart entries: enable
// and disable (moving an entry between its enabled and its disabled place),
// remove, clean up all disabled registry entries, and save an entry from the
// Add/Edit window.
//
// The rule that keeps entries safe: a value is deleted from its old place
// only after it has been written, whole and unchanged, in its new place; a
// move never overwrites anything already there. None of these operations
// rescans; the caller refreshes the catalogue afterwards.
#pragma once

#include "catalogue.h"

#define STATUS_APPLY_FAILED \
    "ERROR: You may not have sufficient privileges to apply the changes you have made."
#define STATUS_REMOVE_FAILED "ERROR: You may not have sufficient privileges to remove this item."

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

// Receives a status text for the main window's status bar.
typedef void (*StatusSink)(void *context, const char *text);

// Writes the item's value, read whole from its current place, into the other
// place (desired 1: location without its "-"; 0: location and "-"). The old
// value is not touched.
int MoveRegistryValue(const AutostartItem *item, int32_t desired);

// Moves the item's .lnk file into the autostart folder of its scope
// (desired 1) or into its folder of disabled items (0). 0 moved, 1 not.
int MoveShortcut(const AutostartItem *item, int32_t desired);

// Deletes the item's value (registry nonzero) or its .lnk file.
int DeleteItem(const AutostartItem *item, int registry);

// Brings storage to the desired state of each catalogue index i below
// count (1 enabled, 0 disabled): record i of ItemCatalogue belongs to
// desired[i]. An entry switched off in Windows' startup settings is
// switched on in place; every other change moves the entry. Every failure sends STATUS_APPLY_FAILED to sink. Returns 0.
int ApplyChanges(const int32_t *desired, int32_t count, StatusSink sink, void *context);

// ---- backups (backups.cpp) ----------------------------------------------

// The folder backups go to, under the user's Documents: found in Explorer
// without showing hidden folders, and writable without administrator rights.
#define BACKUP_FOLDER "Orvane Tool Backups"
#define STATUS_BACKUP_FAILED "ERROR: The backup could not be written; nothing was deleted."
#define STATUS_BACKUP_SAVED "Deleted. A backup is in %s"

// Creates the backup folder when missing; zero when it cannot be had.
int BackupFolder(char *path);

enum RemoveResult {
    RemoveDone = 0,
    RemoveBackupFailed = 1,   // nothing deleted
    RemoveDeleteFailed = 2,   // backed up, but still there
    RemoveRefused = 3         // a cut name: not acted on
};

// Saves the item (its value into a .reg file, its .lnk as a copy) and only
// then deletes it; backupFile (TEXT_FIELD_SIZE) names what was written.
int RemoveItemWithBackup(const AutostartItem *item, char *backupFile);

// Applies the desired states first, then saves every value of the five
// disabled keys ("Run-" ... "RunOnceEx-") of HKCU and of both views of HKLM
// into one .reg file, and only when that file is whole deletes the keys.
// Disabled shortcuts stay. The status names the backup, or says that it
// failed and nothing was deleted (then 1; else 0).
int CleanUpDisabled(const int32_t *desired, int32_t count, StatusSink sink, void *context);

// Reads a value's type and all its bytes, however long (PlatFree them).
// Zero when it is not there or cannot be read whole; *data is then null.
int ReadWholeValue(PlatHive hive, const char *path, const char *name, uint32_t *type,
                   void **data, uint32_t *size);

// Nonzero unless the key is known to hold no value of that name.
int ValueMayExist(PlatHive hive, const char *path, const char *name);

// ---- the Add/Edit window's save (save_item.cpp) ----------------------------

enum EditorMode { EditorAdd = 0, EditorEdit = 1 };

// Why an entry's command cannot be shown whole in File and Parameters.
enum EditFieldsState {
    FieldsEditable = 0,
    FieldsTooLong = 1,         // longer than a field, or unreadable
    FieldsTextBeforeProgram = 2,
    FieldsNotText = 3          // not REG_SZ or REG_EXPAND_SZ, or bytes after its end
};

// What File and Parameters show when editing the item: the stored command
// split into its program (as stored, unexpanded) and the rest, so that an
// unchanged pair means an unchanged command. Returns an EditFieldsState;
// when not editable the fields show the parsed target and parameters.
int EditFields(const AutostartItem *item, char *file, char *parameters);

// Nonzero when saving would replace another entry: the destination key
// already holds a value of that name that is not the edited entry itself.
int SaveWouldReplace(const char *name, int allUsers, int32_t mode, int32_t editIndex);

enum SaveResult {
    SaveDone = 0,
    SaveNotWritten = 1,   // nothing written; the old entry is as it was
    SaveOldKept = 2,      // written under the new name, the old one not removed
    SaveRefused = 3       // the entry's name was cut: not acted on
};

// Writes an entry from the Add/Edit window: in add mode into the Run key of
// the chosen hive, in edit mode into the location of the record at
// editIndex (so a disabled entry stays disabled), removing the old value
// once the new one is written. An edit that leaves File and Parameters as
// EditFields filled them moves the value whole, type and bytes; a changed
// command keeps REG_EXPAND_SZ. An edit that changes nothing writes nothing.
int SaveItem(const char *name, const char *file, const char *parameters, int allUsers,
             int32_t mode, int32_t editIndex);
