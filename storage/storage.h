// storage.h - the layer between the door to Windows (platform.h) and the
// catalogue and store above it: what both the reading and the changing of
// entries need, so that neither reaches into the other.
//
//   whole_values.cpp  a registry value read whole, however long it grows
//   list_tokens.h     the one rule that splits a list value into programs
//   causes.cpp        the one space of causes and the words for each
//   held_places.cpp   folders held against links while work is done in them
//   sha256.cpp        the hash the history keeps of each backup
//   text_fields.cpp   the fields of this program's own text files
//
// May include platform/ only.
#pragma once

#include "../platform/platform.h"
#include "../platform/text.h"

#include <stdint.h>

// ---- whole values (whole_values.cpp) ----------------------------------------

// Reads a value's type and all its bytes, however long (PlatFree them):
// raw nonzero, the stored bytes (for copies); zero, its text through the
// code page (for showing and editing). Zero when it is not there or cannot
// be read whole; *data is then null.
int ReadWholeValue(PlatHive hive, const char *path, const char *name, int raw, uint32_t *type,
                   void **data, uint32_t *size);

// Nonzero unless the key is known to hold no value of that name.
int ValueMayExist(PlatHive hive, const char *path, const char *name);

// The same, but a key that is not there holds nothing: nonzero when the
// value is there or the key cannot be read.
int KeyMayHoldValue(PlatHive hive, const char *path, const char *name);

// Nonzero when the key's state (values, subkeys, last write) differs from
// before: a value or subkey written or deleted while it was enumerated
// shifts the indexes after it, and an entry is read twice or never.
int KeyStateChanged(PlatKey key, const PlatKeyState *before);

// ---- causes (causes.cpp) ----------------------------------------------------

// A cause is a Windows error number (PLAT_OK: none) or one of these, which
// lie above every Windows error.
#define CAUSE_WINDOWS_OWN 0x20000001L
#define CAUSE_LOGON_NEEDS_PROGRAM 0x20000002L
#define CAUSE_NOT_A_LIST 0x20000003L
#define CAUSE_BACKUP_FAILED 0x20000004L
#define CAUSE_BACKUP_FOLDER_IS_LINK 0x20000005L
#define CAUSE_READ_ONLY 0x20000006L
#define CAUSE_PLACE_IS_LINK 0x20000007L
#define CAUSE_NO_USER_RIGHTS 0x20000008L
#define CAUSE_USER_DENIED 0x20000009L
#define CAUSE_PLACE_LINK_MISPLACED 0x2000000AL
#define CAUSE_LIST_IN_BOTH 0x2000000BL
#define CAUSE_LOGON_NEEDS_USERINIT 0x2000000CL
#define CAUSE_LIST_LACKS_OWN 0x2000000DL
#define CAUSE_LIST_ITEM_REPEATED 0x2000000EL
#define CAUSE_NAME_CUT 0x2000000FL         // the record holds a cut name
#define CAUSE_NAME_INEXACT 0x20000010L     // the code page changed its name
#define CAUSE_NAME_NOT_CARRIED 0x20000011L // a line break no .reg line carries
#define CAUSE_NAME_IN_KEY 0x20000012L      // another name in its key is one of those
#define CAUSE_TASK_UNCHANGED 0x20000013L   // the scheduler took the change and kept its state
#define CAUSE_TASK_FILES 0x20000014L       // read from the task files: the scheduler has it not
#define CAUSE_TASK_PATH_CUT 0x20000015L
#define CAUSE_TASK_GONE 0x20000016L        // no such task any more
#define CAUSE_ANY_USER 0x20000017L         // an enable for all users the user did not confirm
#define CAUSE_LIST_UNREAD 0x20000018L      // a step failed and its list could not be read back
#define CAUSE_TASK_HIDDEN 0x20000019L      // the scheduler leaves it out of its own listing
#define CAUSE_APPROVAL_UNREAD 0x2000001AL  // moved, but its startup switch could not be read
#define CAUSE_TASK_UNREAD 0x2000001BL      // the scheduler took it; its state could not be read back
#define CAUSE_GROUP_POLICY 0x2000001CL     // a script Group Policy keeps: changed only there
#define CAUSE_APP_POLICY 0x20000030L       // a packaged app's state a policy set
#define CAUSE_APP_UNINSTALL 0x20000031L    // a packaged app is removed by uninstalling it
#define CAUSE_APP_STATE_UNREAD 0x20000032L // its state could not be read (back)
#define CAUSE_APP_UNREAD 0x20000033L       // its manifest could not be read: no task to change
#define CAUSE_REMEMBERED_FOREIGN 0x20000034L // a file that is no whole list of remembered entries
#define CAUSE_JOURNAL_FOREIGN 0x20000035L  // the history file is not one of ours
#define CAUSE_BACKUP_CHANGED 0x20000036L   // a backup no longer holds what the history saw
#define CAUSE_BACKUP_UNKNOWN 0x20000037L   // a backup the history does not know, elevated
#define CAUSE_PLACE_NOT_LISTED 0x20000038L // a backup names a place this program does not list
#define CAUSE_NOT_UNDOABLE 0x20000039L     // no backup was made for the change
#define CAUSE_ENTRY_GONE 0x2000003AL       // the entry is not listed any more
#define CAUSE_BACKUP_UNREAD 0x2000003BL    // not a whole backup of this program's
#define CAUSE_NOT_USER_PLACE 0x2000003CL   // a backup not recorded names a place not the user's
#define CAUSE_BACKUP_NO_PLACE 0x2000003EL  // a copy not recorded does not say where it was
#define CAUSE_TASK_EXISTS 0x2000003FL      // a task of that path is registered now
#define CAUSE_TASK_NOT_KEPT 0x20000040L    // the scheduler did not keep the task as saved
#define CAUSE_JOURNAL_FULL 0x20000041L     // the history file reached its bound
#define CAUSE_BACKUP_NOT_VOUCHED 0x20000042L // elevated, a backup this program did not vouch for
#define CAUSE_CHANGED_WHILE_ASKED 0x20000043L // storage changed while the question was open
#define CAUSE_SERVICE 0x20000044L          // a service: switched here, never removed or edited
#define CAUSE_SERVICE_CHANGED 0x20000045L  // its start type is not what the list showed
#define CAUSE_OTHER_PLACE 0x20000046L      // a row of the other places: listed, never changed
#define CAUSE_LATER_KIND 0x20000047L       // only a Run value or a Startup file starts later
#define CAUSE_LATER_OFF 0x20000048L        // disabled: there is nothing to start later
#define CAUSE_LATER_NOT_KEPT 0x20000049L   // the scheduler did not give its task back as written
#define CAUSE_LATER_TWICE 0x2000004AL      // its task could not be taken away again: starts twice
#define CAUSE_LATER_EDIT 0x2000004BL       // it starts through its task: not edited meanwhile
#define CAUSE_LATER_COMMAND 0x2000004CL    // its command cannot be a task's action
#define CAUSE_LATER_USERS 0x2000004DL      // every user's, and its command names a variable each sets
#define CAUSE_LATER_UNDO 0x2000004EL       // its task put back only beside its entry, disabled
#define CAUSE_LATER_UNDO_EDIT 0x2000004FL  // started later: an edit's undo would leave its task apart

// What a row of a list Windows needs to log on is, and why it is never changed.
#define NOTE_WINDOWS_OWN "Windows' own: needed to log on"

// The cause of the last failing step of a store operation on this thread,
// and what it means to the user ("administrator rights are needed").
long LastStoreError(void);
const char *CauseText(long code);
// Records the cause of a failing step, for the status; returns code.
long SetStoreError(long code);

// ---- the user's own places, elevated (held_places.cpp) ----------------------

// Holds the folders of first and second (null: none; ofFiles nonzero: the
// folders they are in) for the work about to be done in them, asUser nonzero
// with the user's ordinary rights: for the user's Startup folder, Documents
// and what is under it. Unelevated nothing is held (*place null). PLAT_OK
// to go on; else refused, the cause returned and in LastStoreError
// (CAUSE_PLACE_IS_LINK, CAUSE_NO_USER_RIGHTS). ReleasePlace after the work,
// also when it failed.
long HoldPlace(const char *first, const char *second, int ofFiles, int asUser, PlatPlace *place);
void ReleasePlace(PlatPlace place);
// A file call's error under a place held with the user's rights: access
// denied there is the user's own rights, not a lack of administrator rights.
long PlaceError(int asUser, PlatPlace place, long error);
// After the work in a held place: 0 (cause CAUSE_PLACE_IS_LINK) when one of
// its folders became a link meanwhile, so the work must be undone.
int PlaceStillHeld(PlatPlace place);
// Makes the folder when missing, only while its parent is held.
void MakeFolderHeld(const char *path, int asUser);

// ---- SHA-256 (sha256.cpp) ---------------------------------------------------

struct Sha256 {
    uint32_t h[8];
    uint64_t length;
    unsigned char buffer[64];
    uint32_t used;
};
void Sha256Begin(Sha256 *s);
void Sha256Add(Sha256 *s, const void *data, size_t size);
// The digest as 64 lowercase hex digits and a zero (hex: 65 bytes).
void Sha256End(Sha256 *s, char *hex);
// The digest of one block.
void Sha256Of(const void *data, size_t size, char *hex);

// ---- fields of our own text files (text_fields.cpp) -------------------------

// This program's lists (the remembered entries, the history) are UTF-8
// lines of fields split by tabs; a backslash, tab, line feed or carriage
// return inside a field is written \\, \t, \n, \r, as names and commands
// may hold any of them.
// Appends the field escaped to out, then a tab or (last) a line feed; the
// end of what was written. out needs room for twice the text and one.
char *PutTextField(char *out, const char *text, int last);
// Copies the field at *at unescaped into field (size bytes) and steps past
// it; zero when it does not fit, holds an escape of ours it should not, or
// does not end as it should (a tab, or the text's end when last).
int TakeTextField(const char **at, char *field, size_t size, int last);
// The next line of text from *at, cut at its line feed (and a carriage
// return before it); null at the end.
char *NextTextLine(char **at);
