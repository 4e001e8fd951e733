// cli.h - orvanec, the console front end. It drives the same catalogue and
// store as the window (ScanCatalogue, ApplyChange, RemoveEntry,
// CleanUpDisabledShown, UndoRecord, WriteHtmlLog) through a front end of its own: each
// outcome the store tells is printed in the window's words and counted by
// its result and cause for the exit code, and every question is answered
// by --yes: without it nothing is changed.
//
// Everything here but main.cpp is plain logic over platform.h, so it is
// tested natively against the in-memory platform. Texts go out through
// PlatWriteStream: results on standard output, failures on standard error,
// one line each, naming the entry and the cause.
//
// May include every layer below the front ends (platform/ to store/, report/).
#pragma once

#include "../catalogue/catalogue.h"

#include <stddef.h>
#include <stdint.h>

struct JournalList;
struct JournalRecord;

// ---- exit codes ------------------------------------------------------------

enum CliExit {
    CliExitDone = 0,    // everything done
    CliExitFailed = 1,  // some entries failed, each named on standard error
    CliExitUsage = 2,   // bad command, option or id, or a dry run (no --yes): nothing changed
    CliExitRights = 3,  // administrator rights needed for some entry, nothing else failed
    CliExitDiffers = 4  // diff: entries are new, changed or gone
};

// ---- the command line (arguments.cpp) ----------------------------------------

enum CliCommand {
    CliNoCommand = 0,
    CliList,
    CliDisable,
    CliEnable,
    CliRemove,
    CliReport,
    CliCleanUp,
    CliHelp,
    CliDiff,
    CliAccept,
    CliSnapshot,
    CliHistory,
    CliUndo,
    CliDelay
};

enum CliFormat { CliTable = 0, CliCsv = 1, CliJson = 2, CliTabs = 3, CliJsonLines = 4 };

#define CLI_MAX_PLACES 16

struct CliArguments {
    int32_t command;          // CliCommand
    int32_t format;           // CliFormat
    int32_t allColumns;       // every column in the table
    int32_t yes;              // remove and cleanup may change storage
    int32_t help;             // usage asked for (/?, --help, help)
    int32_t bare;             // nothing given at all: the usage, as a usage error
    int32_t helpCommand;      // the command whose usage is asked for, or CliNoCommand
    const char *places[CLI_MAX_PLACES];
    int32_t placeCount;
    const char *namePattern;  // list: only names matching it (* and ?), or null
    int32_t hideWindows;      // list: leave out Windows' own entries
    int32_t allPlaces;        // list: the other places too (ListOtherPlaces)
    int32_t bom;              // list as CSV: the UTF-8 byte-order mark first, but on a console
    const char *baseline;     // diff: the list written by snapshot to compare with, or null
    int32_t all;              // accept: every entry
    int32_t change;           // undo: the change's number, or 0 for a backup FILE (operands[0])
    int32_t delay;            // delay: the seconds after logon (0: at logon); the id is operands[0]
    const char **operands;    // ids or the report's file, in argv (PlatFree the array)
    int32_t operandCount;
    char error[TEXT_FIELD_SIZE + 96]; // why the line is not understood
};

// Reads argv[1..argc-1]. Options are -x, --long or /x, in any case, their
// value the next argument or after '=' (or ':' for /x). CliExitDone, or
// CliExitUsage with error set. Free with CliFreeArguments either way.
int CliParse(int argc, char **argv, CliArguments *args);
void CliFreeArguments(CliArguments *args);

// The usage text: of every command (command CliNoCommand) or of one.
const char *CliUsage(int32_t command);

// ---- output (output.cpp) -----------------------------------------------------

// Writes text to the stream; bytes of the process code page.
void CliWrite(PlatStream stream, const char *text, size_t length);
void CliPrint(PlatStream stream, const char *text);
// One line: text and a line break.
void CliLine(PlatStream stream, const char *text);
// The same with control and bidirectional characters shown as escapes: for
// a line that holds a name or a path.
void CliLineShown(PlatStream stream, const char *text);

// ---- the list (list_output.cpp) ----------------------------------------

// Writes the catalogue's entries in the window's order in the format of
// args, those of its places (--place), name pattern and hide option only;
// chosen (one byte per record) or null for all.
int CliWriteList(const CliArguments *args, const uint8_t *chosen);

// Records of another command than list, of the texts under keys (the CSV
// heading, the JSON members): CSV and JSON as list writes them, the table
// a line of the texts each; a null text is not known (null in JSON, empty
// elsewhere). One set of records at a time; zero from the end when a text
// could not be read as characters.
void CliRecordsBegin(int32_t format, const char *const *keys, int columns);
void CliRecord(const char *const *texts);
int CliRecordsEnd(void);

// A table in console cells as list's: each cell's text (never null) from
// cell, a control or bidirectional character shown as an escape, cut with
// "~" to the console's width but the last column, which stays whole. Zero
// when memory ran out.
typedef const char *(*CliCellText)(const void *context, int32_t row, int column);
int CliWriteTable(const char *const *headings, int columns, int32_t rows, CliCellText cell,
                  const void *context);

// ---- what changed since the last look (diff.cpp) --------------------------------

// diff: the entries new, changed and gone since the user's list of entries
// seen (or the baseline), CliExitDiffers when there are any.
int CliRunDiff(const CliArguments *args);
// accept: the entries of the ids given (or every one) taken as seen.
int CliRunAccept(const CliArguments *args);
// snapshot: the list as it is now into FILE, a baseline for diff.
int CliRunSnapshot(const CliArguments *args);
// What a command changed, accepted as made (ids collected from its outcomes).
void CliNoteChange(const AutostartItem *item);
void CliAcceptOwnChanges(const CliArguments *args, int cleanedUp);

// ---- the history of changes (history.cpp) ----------------------------------------

// history: every change recorded, and every backup not recorded, newest first.
int CliRunHistory(const CliArguments *args);
// undo: the record of the change args->change, or of the backup file
// operands[0] the history does not know, with list read for it (FreeJournal
// it either way); null, said on standard error, with the exit code in *exit.
const JournalRecord *CliFindUndone(const CliArguments *args, JournalList *list, int *exit);

// ---- the commands (commands.cpp) -----------------------------------------------

// Reads the catalogue for the command: for disable, enable and remove only
// the places their ids may name (ScanStorageForIds), every record's file
// details left for the caller to read where needed (nonzero); for any
// other command the whole scan (zero).
int CliScan(const CliArguments *args);

// Runs the command line; returns the exit code.
int CliRun(int argc, char **argv);
