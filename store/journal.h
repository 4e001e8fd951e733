// journal.h - the history of every change this program made, kept per user,
// each change undoable (undo.cpp).
//
// Every change either front end makes (an enable or disable, a Remove, a
// CleanUp, an Add or an Edit, an undo) appends one record to a text file in
// the user's local application data: when, which front end, what was done
// to which entry, where it was and is, its command and state before and
// after, the backup written for it with that file's size and SHA-256, and
// how the change is undone. A record is one line closed by a check of its
// own bytes, written in one append while the file is held against other
// writers, so a record cut short (a crash, a full disk) is known and left
// out, said, never misread. The journal holds no entry's data a backup does
// not: losing it loses only the history.
//
// May include platform/, storage/ and catalogue/ only (through store.h).
#pragma once

#include "outcome.h"

#define JOURNAL_FILE "History.txt" // in the folder of the remembered entries
#define JOURNAL_HEADER "Orvane Tool history 1"
// The newest records read; older ones stay in the file, unread.
#define JOURNAL_SHOWN 2000
// A file past this is no journal of ours.
#define JOURNAL_FILE_MOST (64u * 1024u * 1024u)
#define JOURNAL_HASH_SIZE 65 // SHA-256 in lowercase hex, and its end
#define JOURNAL_FRONT_SIZE 12

enum JournalOp {
    JournalEnable = 0,
    JournalDisable = 1,
    JournalRemove = 2,
    JournalCleanUp = 3,
    JournalAdd = 4,
    JournalEdit = 5,
    JournalUndo = 6,
    // a file of the backups folder no record names (older than the
    // journal, or written by hand): listed, never written to the journal
    JournalUnrecorded = 7,
    // started later by a logon task, or at logon again: stateBefore and
    // stateAfter hold the delay in seconds (0: at logon)
    JournalDelay = 8
};

// How a change is undone.
enum JournalUndoBy {
    UndoByNothing = 0,   // it cannot be: no backup was made (the words say why)
    UndoBySwitch = 1,    // switching the entry (id after) back to its state before
    UndoByReg = 2,       // the backup .reg, which holds every value as it was before
    UndoByPutFile = 3,   // the backup file copied back to placeBefore
    UndoByPutTask = 4,   // the backup XML registered again as placeBefore
    UndoByDeleteFile = 5, // the file at placeAfter saved to a backup, then deleted
    UndoByRemoveTask = 6, // the task (id) removed with its backup, as a Remove
    UndoByDelay = 7       // the entry (id) set to start with its delay before again
};

struct JournalRecord {
    int32_t number;   // 1, 2, ... in the order written; 0 for JournalUnrecorded
    uint64_t time;    // FILETIME (UTC); for an unrecorded backup, its last write
    char front[JOURNAL_FRONT_SIZE]; // "window", "console"
    int32_t op;       // JournalOp
    int32_t undoBy;   // JournalUndoBy
    int32_t undoes;   // JournalUndo: the number of the change it undid
    int32_t kind;     // ItemKind of the entry
    char scope[SCOPE_SIZE];
    int32_t view;     // RegistryView
    int32_t logonPlace; // a row of a list value of the rest of the logon
    char id[ITEM_ID_SIZE]; // the entry's id after the change ("" for CleanUp)
    char name[TEXT_FIELD_SIZE];
    char placeBefore[TEXT_FIELD_SIZE]; // key path or file path; "" when it was not there
    char placeAfter[TEXT_FIELD_SIZE];  // "" when it is not there any more
    int32_t stateBefore; // 1 on, 0 off, -1 not there
    int32_t stateAfter;
    char commandBefore[COMMAND_FIELD_SIZE];
    char commandAfter[COMMAND_FIELD_SIZE];
    char backup[TEXT_FIELD_SIZE]; // the backup file written for it, or ""
    uint64_t backupSize;
    char backupHash[JOURNAL_HASH_SIZE];
    // UndoByReg: the SHA-256 of what the values the backup names held
    // right after the change, so an undo knows when they changed since.
    char afterHash[JOURNAL_HASH_SIZE];
    // A removed task: the SHA-256 of the security descriptor saved beside
    // its XML, which an undo gives it back only while it is unchanged.
    char securityHash[JOURNAL_HASH_SIZE];
    int32_t entries; // the entries it changed (a CleanUp's count)
};

struct JournalList {
    JournalRecord *records; // oldest first
    int32_t count;
    int32_t torn;      // records cut short or damaged, left out
    int32_t older;     // whole records older than the JOURNAL_SHOWN read
    int32_t lastNumber; // the highest number of the file
};

// The user's journal's path (its folder made when missing); zero when it
// cannot be had.
int JournalPath(char *path);

// Reads the journal at path (null: the user's): PLAT_OK with its records
// (none when there is no file yet), else the cause and an empty list. A
// file that is not a journal of ours is CAUSE_JOURNAL_FOREIGN.
long ReadJournal(const char *path, JournalList *list);
void FreeJournal(JournalList *list);

// Appends the record to the journal at path (null: the user's), numbered
// one past the highest there and timed now (both set in record): PLAT_OK
// or the cause. The file is held against other writers while it is read
// and appended to, and elevated it is written with the user's rights.
long AppendJournal(const char *path, JournalRecord *record);

// The files of the backups folder no record of list names, added to list as
// JournalUnrecorded records (timed by their last write, newest last); their
// number.
int32_t AddUnrecordedBackups(JournalList *list);

// The indexes of list's records newest first (list->count of them, in a
// block to PlatFree; null without memory): the recorded ones by number, the
// backups not recorded between them by their time, so a clock set back
// never reorders the numbers.
int32_t *JournalNewestFirst(const JournalList *list);

// The record of number in list; null when none.
const JournalRecord *FindJournalRecord(const JournalList *list, int32_t number);

// What the change did, in words: "Disabled "Contoso Updater" (HKCU Run)",
// "Removed 3 entries by CleanUp", "Undid change 12: Removed "Tool" (HKCU
// Run)", "Backup of 8 Dec 2026 14:02, not recorded: Removed Tool ... .reg".
#define JOURNAL_WORDS_SIZE OUTCOME_WORDS_SIZE
void JournalWords(const JournalList *list, const JournalRecord *record, char *text, size_t size);
// The record's time as "2026-12-08 14:02:05", local.
void JournalTimeText(const JournalRecord *record, char *text, size_t size);
// The op in one word: "enable", "disable", "remove", "cleanup", "add",
// "edit", "undo", "backup", "delay".
const char *JournalOpWord(int32_t op);

// The file's size and SHA-256 (JOURNAL_HASH_SIZE): PLAT_OK or the cause.
long HashBackupFile(const char *path, uint64_t *size, char *hash);

// The backup writers note the size and SHA-256 of the bytes they wrote, so
// that the history records those, never what the file holds a moment later
// (any program of the user may rewrite it in between). The notes of the
// last few backups are kept; store operations run on one thread.
void NoteWrittenBackup(const char *path, uint64_t size, const char *hash);
// Zero when no backup of that path was noted.
int WrittenBackupHash(const char *path, uint64_t *size, char *hash);

// The history and the backups lie where any program of the user writes: a
// record and its backup could be forged together, naming any entry, place
// and hash. Elevated, the program vouches for each record it writes by the
// SHA-256 of its line (which holds its backups' hashes, its places and its
// entry) under this key of the machine, which only administrators may
// write; an elevated undo acts beyond the user's own places only for a
// record vouched for.
#define VOUCHED_KEY "Software\\Orvane Tool\\Vouched"
// Nonzero when this program, elevated, wrote the record as it reads now.
int RecordVouched(const JournalRecord *record);

// The SHA-256 of what the values the .reg backup names hold now (each: its
// key, name, whether it is there, its type and bytes); zero when the
// backup or one of its values cannot be read.
int BackupStateHash(const char *backup, char *hash);
struct RegFileContent;
int RegStateHash(const RegFileContent *content, char *hash);

// ---- what the store notes --------------------------------------------------

// The record of a change of item about to be made (op, undoBy, the entry
// as it is now: place, command and state before), for JournalChangeDone.
void JournalBegin(JournalRecord *record, int32_t op, const AutostartItem *item);
// Completes the record from the item as it is after the change (null: it
// is not there any more) and the backup written, and appends it for front
// (the front end's name; null: not journaled). PLAT_OK or the cause.
long JournalChangeDone(JournalRecord *record, const AutostartItem *after, const char *backup,
                       const char *front);
