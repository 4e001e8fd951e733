// history.cpp - the console's view of the history of changes (store/journal.h):
// every change listed newest first with the backups the history does not
// know, and the change an undo names found. The undo itself runs in
// commands.cpp, through the console's front end like every other change.
#include "cli.h"

#include "../store/journal.h"
#include "../store/store.h"

#include <string.h>

#define CLI_HISTORY_UNREAD "ERROR: The history could not be read: %s."
#define CLI_HISTORY_TORN "%d damaged %s of the history %s left out."
#define CLI_HISTORY_OLDER "%d older %s not shown."
#define CLI_NO_CHANGE "ERROR: There is no change %d (see orvanec history); nothing was changed."
#define CLI_CHANGE_UNREAD \
    "ERROR: Change %d is not among the newest %d of the history, or it is damaged; nothing " \
    "was changed."
#define CLI_NOT_A_BACKUP \
    "ERROR: \"%s\" is not a file of the backups folder (see orvanec history); nothing was " \
    "changed."
#define CLI_BACKUP_RECORDED \
    "ERROR: The backup \"%s\" is that of change %d: undo %d undoes it; nothing was changed."

// ---- reading ----------------------------------------------------------------------

static void SayUnread(long cause)
{
    char line[2 * TEXT_FIELD_SIZE];
    TextFormat(line, sizeof line, CLI_HISTORY_UNREAD, CauseText(cause));
    CliLineShown(PLAT_STDERR, line);
}

// The user's history and the backups it does not know; zero, said, when it
// cannot be read.
static int ReadHistory(JournalList *list)
{
    long cause = ReadJournal(NULL, list);
    if (cause != PLAT_OK) {
        SayUnread(cause);
        return 0;
    }
    AddUnrecordedBackups(list);
    return 1;
}

// ---- one record's fields ----------------------------------------------------------------

static void Decimal(uint64_t value, char *text, size_t size)
{
    char digits[24];
    size_t n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value);
    size_t i = 0;
    for (; i < n && i + 1 < size; ++i)
        text[i] = digits[n - 1 - i];
    text[i] = '\0';
}

// A FILETIME in ISO 8601, UTC: what a script compares without knowing the
// zone the history was written in.
static void UtcText(uint64_t fileTime, char *text, size_t size)
{
    uint64_t seconds = fileTime / 10000000u;
    int64_t days = (int64_t)(seconds / 86400u) - 134774; // 1601-01-01 to 1970-01-01
    uint32_t second = (uint32_t)(seconds % 86400u);
    // Civil from days (H. Hinnant).
    int64_t z = days + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int day = (int)(doy - (153 * mp + 2) / 5 + 1);
    int month = (int)(mp < 10 ? mp + 3 : mp - 9);
    int year = (int)(yoe + era * 400 + (month <= 2));
    TextFormat(text, size, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, day,
               (int)(second / 3600), (int)(second / 60 % 60), (int)(second % 60));
}

static const char *StateWord(int32_t state)
{
    return state > 0 ? "on" : state == 0 ? "off" : "absent";
}

static const char *UndoByWord(int32_t undoBy)
{
    static const char *const words[] = {"nothing",  "switch",      "reg",        "put-file",
                                        "put-task", "delete-file", "remove-task", "delay"};
    return undoBy >= 0 && undoBy < (int32_t)(sizeof words / sizeof words[0]) ? words[undoBy] : "?";
}

static const char *KindWord(int32_t kind)
{
    static const char *const words[] = {"registry", "shortcut", "task", "app"};
    return kind >= 0 && kind < (int32_t)(sizeof words / sizeof words[0]) ? words[kind] : "?";
}

// Every field of a record, as CSV's heading and JSON's members name them.
static const char *const HistoryKeys[] = {
    "number",         "time",          "time_utc",       "front",        "op",
    "words",          "undo_by",       "undoes",         "kind",         "scope",
    "view",           "logon_place",   "id",             "name",         "place_before",
    "place_after",    "state_before",  "state_after",    "command_before", "command_after",
    "backup",         "backup_size",   "backup_hash",    "after_hash",   "security_hash",
    "entries"};
#define HISTORY_FIELDS (int)(sizeof HistoryKeys / sizeof HistoryKeys[0])

// The texts of one record, the record's own fields pointed at.
struct HistoryRow {
    char number[16], time[32], timeUtc[32], undoes[16], view[16], logonPlace[16];
    char backupSize[24], entries[16];
    char words[JOURNAL_WORDS_SIZE];
    char last[ITEM_ID_SIZE + TEXT_FIELD_SIZE + 16]; // the table's: id and backup
    const char *texts[HISTORY_FIELDS];
};

static void LoadHistoryRow(HistoryRow *row, const JournalList *list, const JournalRecord *r)
{
    int loose = r->op == JournalUnrecorded;
    TextFormat(row->number, sizeof row->number, "%ld", (long)r->number);
    JournalTimeText(r, row->time, sizeof row->time);
    UtcText(r->time, row->timeUtc, sizeof row->timeUtc);
    TextFormat(row->undoes, sizeof row->undoes, "%ld", (long)r->undoes);
    TextFormat(row->view, sizeof row->view, "%s", r->view == View32 ? "32-bit" : "native");
    TextFormat(row->logonPlace, sizeof row->logonPlace, "%ld", (long)r->logonPlace);
    Decimal(r->backupSize, row->backupSize, sizeof row->backupSize);
    TextFormat(row->entries, sizeof row->entries, "%ld", (long)r->entries);
    JournalWords(list, r, row->words, sizeof row->words);
    TextFormat(row->last, sizeof row->last, "%s%s%s", r->id,
               r->id[0] && r->backup[0] ? "  backup: " : r->backup[0] ? "backup: " : "",
               r->backup);
    const char *texts[HISTORY_FIELDS] = {
        loose ? NULL : row->number, row->time,         row->timeUtc,     r->front,
        JournalOpWord(r->op),       row->words,        UndoByWord(r->undoBy), row->undoes,
        KindWord(r->kind),          r->scope,          row->view,        row->logonPlace,
        r->id,                      r->name,           r->placeBefore,   r->placeAfter,
        StateWord(r->stateBefore),  StateWord(r->stateAfter), r->commandBefore, r->commandAfter,
        r->backup,                  row->backupSize,   r->backupHash,    r->afterHash,
        r->securityHash,            row->entries};
    memcpy(row->texts, texts, sizeof texts);
}

// ---- the table ----------------------------------------------------------------------

// The table's columns: the id and backup last, whole, as the list's id.
static const char *const HistoryHeadings[] = {"No.", "Time", "By", "Change", "What",
                                              "Id / backup"};
#define HISTORY_COLUMNS (int)(sizeof HistoryHeadings / sizeof HistoryHeadings[0])

static const char *HistoryCell(const void *context, int32_t row, int column)
{
    const HistoryRow *r = &((const HistoryRow *)context)[row];
    static const int fields[] = {0, 1, 3, 4, 5};
    if (column == HISTORY_COLUMNS - 1)
        return r->last;
    const char *text = r->texts[fields[column]];
    return text ? text : "-";
}

int CliRunHistory(const CliArguments *args)
{
    JournalList list;
    if (!ReadHistory(&list))
        return CliExitFailed;
    int32_t *order = JournalNewestFirst(&list);
    HistoryRow *rows = (HistoryRow *)PlatAllocZero(sizeof(HistoryRow) * ((size_t)list.count + 1));
    int whole = order && rows;
    for (int32_t i = 0; whole && i < list.count; ++i)
        LoadHistoryRow(&rows[i], &list, &list.records[order[i]]);
    if (whole && args->format == CliTable) {
        whole = CliWriteTable(HistoryHeadings, HISTORY_COLUMNS, list.count, HistoryCell, rows);
    } else if (whole) {
        CliRecordsBegin(args->format, HistoryKeys, HISTORY_FIELDS);
        for (int32_t i = 0; i < list.count; ++i)
            CliRecord(rows[i].texts);
        whole = CliRecordsEnd();
    }
    char line[128];
    if (list.older) {
        TextFormat(line, sizeof line, CLI_HISTORY_OLDER, (int)list.older,
                   list.older == 1 ? "change is" : "changes are");
        CliLine(PLAT_STDERR, line);
    }
    // What was left out is said, and the history is not whole.
    if (list.torn) {
        TextFormat(line, sizeof line, CLI_HISTORY_TORN, (int)list.torn,
                   list.torn == 1 ? "record" : "records", list.torn == 1 ? "was" : "were");
        CliLine(PLAT_STDERR, line);
    }
    int failed = !whole || list.torn;
    PlatFree(rows);
    PlatFree(order);
    FreeJournal(&list);
    return failed ? CliExitFailed : CliExitDone;
}

// ---- the change an undo names ---------------------------------------------------------

static const char *FileNameOf(const char *path)
{
    const char *name = strrchr(path, '\\');
    return name ? name + 1 : path;
}

// The backup FILE names: a path as given ('/' read as '\'), or a bare
// name in the backups folder.
static const JournalRecord *FindBackup(const JournalList *list, const char *given)
{
    char path[TEXT_FIELD_SIZE];
    if (!TextCopy(path, sizeof path, given))
        return NULL;
    for (char *c = path; *c; ++c)
        *c = *c == '/' ? '\\' : *c;
    int bare = !strpbrk(path, "\\:");
    for (int32_t i = 0; i < list->count; ++i) {
        const char *backup = list->records[i].backup;
        if (backup[0] && PlatNamesEqual(bare ? FileNameOf(backup) : backup, path))
            return &list->records[i];
    }
    return NULL;
}

const JournalRecord *CliFindUndone(const CliArguments *args, JournalList *list, int *exit)
{
    memset(list, 0, sizeof *list);
    *exit = CliExitFailed;
    if (!ReadHistory(list))
        return NULL;
    *exit = CliExitUsage;
    char line[2 * TEXT_FIELD_SIZE + 128];
    if (args->change) {
        const JournalRecord *record = FindJournalRecord(list, args->change);
        if (record && record->op != JournalUnrecorded)
            return record;
        if (args->change > list->lastNumber)
            TextFormat(line, sizeof line, CLI_NO_CHANGE, (int)args->change);
        else
            TextFormat(line, sizeof line, CLI_CHANGE_UNREAD, (int)args->change, JOURNAL_SHOWN);
        CliLine(PLAT_STDERR, line);
        return NULL;
    }
    const JournalRecord *record = FindBackup(list, args->operands[0]);
    if (record && record->op == JournalUnrecorded)
        return record;
    // A backup the history knows is undone by its change, checked against it.
    if (record)
        TextFormat(line, sizeof line, CLI_BACKUP_RECORDED, args->operands[0], (int)record->number,
                   (int)record->number);
    else
        TextFormat(line, sizeof line, CLI_NOT_A_BACKUP, args->operands[0]);
    CliLineShown(PLAT_STDERR, line);
    return NULL;
}
