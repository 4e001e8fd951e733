// undo.h - undoing a change of the history (journal.h), exactly and safely.
//
// A switch is undone by switching the entry back; a Remove, a CleanUp, an
// Add, an Edit and a change of a list value by restoring their backup,
// read by the program itself (reg_reader.h); a removed Startup file from
// its copy; a removed task from its XML. An undo never destroys: when the
// place holds something of that name now, or the entry changed since,
// the front end is asked first (No the default), and whatever the undo
// replaces is saved to a backup before it is written over. An undo is a
// change of the history itself, so it can be undone.
//
// An undo lends no rights. The backups lie in the user's Documents, where
// any program of the user can write: a backup is restored only while its
// size and SHA-256 are those its record holds, and only into the places
// this program lists. One that changed, or one the history does not know,
// is restored only unelevated and only into the user's own places.
//
// May include platform/, storage/ and catalogue/ only (through store.h).
#pragma once

#include "journal.h"
#include "outcome.h"

// %s the entry's name, %d the change's number, %s its words.
#define UNDO_CHANGED_QUESTION                                                                 \
    "\"%s\" changed since change %d (%s), or its place holds another entry of that name "  \
    "now.\n\nUndo the change anyway? What is there now is saved to a backup first."
#define UNDO_UNRECORDED_QUESTION                                                             \
    "Restore the backup %s? The history does not know it, so what it holds is not "     \
    "checked against a change. What it replaces is saved to a backup first."

// Undoes the record (of list, as ReadJournal and AddUnrecordedBackups gave
// it), telling front its outcome (ActionUndo) and asking it first where it
// must; the undo is written to the history for front->name. The result.
OutcomeResult UndoRecord(const JournalList *list, const JournalRecord *record,
                         const FrontEnd *front);

// Nonzero when a key of hive may be written by an undo: one of the places
// this program lists (a Run-family key or its "-" key, a RunOnceEx
// section, a logon place's key, Windows' startup switches, a packaged
// app's task state). userOnly: only the user's own.
int UndoKeyAllowed(PlatHive hive, const char *path, int userOnly);
