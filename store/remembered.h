// remembered.h - the entries the user has seen and accepted, kept per user,
// so that what appeared or changed since is the first thing shown.
//
// The list is a small text file in the user's local application data,
// written whole under a new name and renamed over the old one, so a crash
// or a second instance never leaves half a list. It holds no entry's data
// that storage or a backup does not hold: losing it loses only the marks.
// Content that is not a whole list of this program's is set aside, never
// trusted. A list written to any file is a baseline another machine's list
// is compared with.
//
// May include platform/, storage/ and catalogue/ only (through store.h).
#pragma once

#include "../catalogue/catalogue.h"

#define REMEMBERED_FOLDER "Orvane Tool"
#define REMEMBERED_FILE "Remembered entries.txt"
#define REMEMBERED_HEADER "Orvane Tool remembered entries 1"
// More than any machine lists; a file past either is no list of ours.
#define REMEMBERED_MOST 16384
#define REMEMBERED_FILE_MOST (64u * 1024u * 1024u)

// One entry as it was accepted. kind: 'v' a value, 'f' a file, 't' a
// task, 'a' a packaged app, 'l' a logon place's row, 's' a service, 'o' a
// row of the other places (missed by a scan that does not read them). signer is empty when it was not yet known.
struct RememberedEntry {
    char id[ITEM_ID_SIZE]; // ItemHomeId: the same while it is switched here
    char name[TEXT_FIELD_SIZE];
    char place[TEXT_FIELD_SIZE + 32];
    char state[32];
    char kind;
    int32_t elevatedOnly; // listed only elevated (hidden from the scheduler)
    char program[TEXT_FIELD_SIZE];
    char signer[TEXT_FIELD_SIZE];
    char command[COMMAND_FIELD_SIZE];
};

struct RememberedList {
    RememberedEntry *entries;
    int32_t count;
    int32_t capacity;
    PlatTime accepted; // when the list was last accepted whole
};

enum RememberedRead {
    RememberedDone = 0,
    RememberedNone = 1,     // none yet: the first run
    RememberedSetAside = 2, // not a whole list: renamed aside, see setAside
    RememberedFailed = 3    // could not be read: kept as it is, not written over
};

// The user's list's path (folder made when missing); zero when it cannot
// be had.
int RememberedPath(char *path);

// Reads the list at path (null: the user's). A file that is not a whole
// list is renamed aside when own (the user's list) and its new name put in
// setAside (TEXT_FIELD_SIZE, may be null); the list is then empty, dated
// now, for the caller to write: every entry is new until accepted. A call
// that fails is RememberedFailed (cause: the system's error), never taken
// for none or for a list that is not whole. The list is empty but for a
// RememberedDone.
int ReadRemembered(const char *path, int own, RememberedList *list, char *setAside, long *cause);

// Writes the list whole to path (null: the user's) under a new name and
// renames it over the old file; PLAT_OK or the cause, the old file as it
// was.
long WriteRemembered(const char *path, const RememberedList *list);

void FreeRemembered(RememberedList *list);

// ---- comparing ---------------------------------------------------------------

enum RememberedMark { MarkSame = 0, MarkNew = 1, MarkChanged = 2 };

// How the catalogue's records compare with the list.
struct RememberedMarks {
    uint8_t *marks;   // per record: a RememberedMark
    int32_t *was;     // per record: its remembered entry, or -1
    uint8_t *gone;    // per remembered entry: 1 when no record has it
    int32_t records;
    int32_t newCount, changedCount, goneCount;
    int32_t goneUnsure; // the scan may have missed entries: those are not said gone
};

// Compares the records (their signer only once read) with the list. A
// remembered entry the scan may have missed (storage changing, tasks not
// listed, one listed only elevated) is not gone.
void CompareRemembered(const CatalogueData *data, const RememberedList *list,
                       RememberedMarks *marks);
void FreeMarks(RememberedMarks *marks);

// The id the list keeps the record under (id: ITEM_ID_SIZE): its home id,
// but its own when it was moved aside and another record is listed at home
// under its name, so that accepting one never accepts the other. Zero when
// it does not fit.
int ItemRememberedId(const CatalogueData *data, const AutostartItem *item, char *id, size_t size);

// What differs between the record and the entry remembered, in words
// ("command was "..."; signer was ..."); empty when nothing.
void ChangeText(const AutostartItem *item, const RememberedEntry *was, char *text, size_t size);

// ---- accepting ---------------------------------------------------------------

// Accepts every record as it is now (gone entries dropped, but for those
// the scan may have missed) and dates the list now.
int AcceptAll(RememberedList *list, const CatalogueData *data);

// Accepts the entries of these home ids as they are now: a record of the
// id is remembered, an id no record has is forgotten. The number of ids
// that named a record or a remembered entry.
int32_t AcceptIds(RememberedList *list, const CatalogueData *data, const char *const *ids,
                  int32_t count);

// The entries this program changed since they were last accepted, by the
// id the list keeps them under (noted before the change: the record moves).
#define OWN_CHANGES_MOST 256
struct OwnChanges {
    char ids[OWN_CHANGES_MOST][ITEM_ID_SIZE];
    int32_t count;
};
void NoteChangedItem(OwnChanges *changes, const CatalogueData *data, const AutostartItem *item);
// Accepts them as they now are (AcceptIds) and forgets the notes; the
// number accepted.
int32_t AcceptOwnChanges(RememberedList *list, const CatalogueData *data, OwnChanges *changes);

// Reads the file details of the records the notes name, for a scan that
// left the others' unread: each is then accepted with its signer as now.
void ReadChangedDetails(CatalogueData *data, const OwnChanges *changes);

// Forgets the remembered entries disabled here in a Run key that are no
// longer listed: those CleanUp deleted.
void AcceptCleanedUp(RememberedList *list, const CatalogueData *data);

// "8 Dec 14:02" of a time (text: 32 bytes).
void RememberedTimeText(const PlatTime *time, char *text, size_t size);

// ---- words -------------------------------------------------------------------

#define MARK_NEW "new"
#define MARK_CHANGED "changed"
#define STATUS_MARKS "%d new, %d changed, %d gone since %s"
#define STATUS_REMEMBERED_UNREAD \
    "The list of entries seen before could not be read (%s): nothing is marked new or changed."
#define STATUS_REMEMBERED_SET_ASIDE \
    "The list of entries seen before was not a whole list: it was set aside as \"%s\", and " \
    "every entry is new until you accept it."
#define STATUS_REMEMBERED_NOT_WRITTEN \
    "The list of entries seen could not be saved (%s): the marks are as they were."
